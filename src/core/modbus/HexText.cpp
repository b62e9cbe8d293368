#include "core/modbus/HexText.h"

#include <QByteArray>

namespace vantor {

QString hexText(QByteArrayView bytes) {
  return QString::fromLatin1(bytes.toByteArray().toHex(' ').toUpper());
}

QString byteDisplay(QByteArrayView bytes) {
  return bytes.isEmpty() ? QString() : hexText(bytes) + u' ';
}

QString hexDigits(unsigned value, int digits) {
  return QString::number(value, 16).toUpper().rightJustified(digits, u'0');
}

}  // namespace vantor
