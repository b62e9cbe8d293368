#include "core/config/ConfigFrame.h"

#include <algorithm>

#include "core/Logging.h"
#include "core/modbus/HexText.h"

namespace vantor {

QString printableRow(QStringView text) {
  QString row;
  row.reserve(text.size());
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) ++i;
    row += (c.unicode() >= 0x20 && c.unicode() <= 0x7E) ? c : QChar(kUnshowable);
  }
  return row;
}

QString fitRow(QStringView text, int width) {
  return printableRow(text).left(width);
}

QString shownRow(QStringView text, int width) {
  QString row = fitRow(text, width).leftJustified(width, QChar(kRowPadding));
  row.replace(QChar(kBlankMark), QChar(kRowPadding));
  return row;
}

void putRow(std::span<std::uint8_t> out, QStringView text) {
  const QString row = shownRow(text, static_cast<int>(out.size()));
  for (qsizetype i = 0; i < row.size(); ++i)
    out[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(row[i].unicode());
}

namespace {

// The check bytes of `covered`, said nowhere: a listener tries them at every offset of a line.
CheckBytes checkOf(std::span<const std::uint8_t> covered) {
  std::uint8_t sum = 0;
  for (const std::uint8_t b : covered) sum = static_cast<std::uint8_t>(sum + b);
  return {sum, static_cast<std::uint8_t>(256 - sum)};
}

// The check bytes a frame of `shape`'s length carries, and those its bytes want.
struct CarriedCheck {
  CheckBytes carried;
  CheckBytes wanted;
};
CarriedCheck carriedCheck(std::span<const std::uint8_t> frame, const FrameShape& shape) {
  return {{frame[std::size_t(shape.sum)], frame[std::size_t(shape.complement)]},
          checkOf(frame.first(std::size_t(shape.sum)))};
}

}  // namespace

CheckBytes checkBytes(std::span<const std::uint8_t> covered) {
  const CheckBytes check = checkOf(covered);
  qCDebug(lcConfig) << covered.size() << "bytes encoded, sum" << Qt::hex << check.sum;
  return check;
}

QString frameFault(std::span<const std::uint8_t> frame, const FrameShape& shape) {
  if (frame.size() != std::size_t(shape.size))
    return QStringLiteral("the frame is %1 bytes; a %2 module's frame is %3")
        .arg(frame.size())
        .arg(QLatin1String(shape.model))
        .arg(shape.size);
  if (const auto [have, want] = carriedCheck(frame, shape); have != want)
    return QStringLiteral(
               "the check bytes do not hold: bytes %1-%2 are %3 %4, the bytes before "
               "them want %5 %6")
        .arg(shape.sum)
        .arg(shape.complement)
        .arg(hexDigits(have.sum), hexDigits(have.complement), hexDigits(want.sum),
             hexDigits(want.complement));
  if (const std::uint8_t fill = frame[std::size_t(shape.fill)]; fill != 0)
    return QStringLiteral("byte %1, the fill byte, is %2; a frame always ends in 00")
        .arg(shape.fill)
        .arg(hexDigits(fill));
  return {};
}

bool fitsShape(std::span<const std::uint8_t> frame, const FrameShape& shape) {
  if (frame.size() != std::size_t(shape.size)) return false;
  const auto [have, want] = carriedCheck(frame, shape);
  return have == want && frame[std::size_t(shape.fill)] == 0;
}

std::span<const std::uint8_t> byteSpan(QByteArrayView bytes) {
  return {reinterpret_cast<const std::uint8_t*>(bytes.data()), std::size_t(bytes.size())};
}

QString refusalMessage(const QStringList& captions) {
  qCDebug(lcConfig) << "frame refused, no choice in:" << captions;
  return QStringLiteral("Nothing was sent. Choose an entry in each of these lists first: %1.")
      .arg(captions.join(QStringLiteral(", ")));
}

}  // namespace vantor
