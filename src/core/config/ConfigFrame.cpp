#include "core/config/ConfigFrame.h"

#include <algorithm>

#include "core/Logging.h"

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

void putRow(std::span<std::uint8_t> out, QStringView text) {
  const QString row = fitRow(text, static_cast<int>(out.size()));
  std::fill(out.begin(), out.end(), kRowPadding);
  for (qsizetype i = 0; i < row.size(); ++i) {
    const char16_t c = row[i].unicode();
    out[static_cast<std::size_t>(i)] = c == kBlankMark ? kRowPadding : static_cast<std::uint8_t>(c);
  }
}

CheckBytes checkBytes(std::span<const std::uint8_t> covered) {
  std::uint8_t sum = 0;
  for (const std::uint8_t b : covered) sum = static_cast<std::uint8_t>(sum + b);
  qCDebug(lcConfig) << covered.size() << "bytes encoded, sum" << Qt::hex << sum;
  return {sum, static_cast<std::uint8_t>(256 - sum)};
}

QString refusalMessage(const QStringList& captions) {
  qCDebug(lcConfig) << "frame refused, no choice in:" << captions;
  return QStringLiteral("Nothing was sent. Choose an entry in each of these lists first: %1.")
      .arg(captions.join(QStringLiteral(", ")));
}

}  // namespace vantor
