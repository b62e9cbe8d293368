#pragma once

// Bytes as this line's people read them: two upper-case hexadecimal digits a byte.

#include <QByteArrayView>
#include <QString>

namespace vantor {

// "01 03 00 0A": one blank between bytes.
QString hexText(QByteArrayView bytes);
// "01 03 00 0A ": every byte followed by one blank, as the byte displays show a frame.
QString byteDisplay(QByteArrayView bytes);
// `value` in `digits` upper-case hexadecimal digits: "0A", "000A".
QString hexDigits(unsigned value, int digits = 2);

}  // namespace vantor
