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
