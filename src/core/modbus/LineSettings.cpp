#include "core/modbus/LineSettings.h"

#include <QStringList>

#include <cmath>

namespace vantor {

namespace {

constexpr std::array<QStringView, 3> kBaudStarts{u"9600,", u"19200", u"38400"};
constexpr std::array<QStringView, 3> kFormatEnds{u"n,8,1", u"n,8,2", u"e,8,1"};

template <std::size_t N>
std::optional<int> matchIn(const std::array<QStringView, N>& patterns, QStringView part) {
  for (std::size_t i = 0; i < N; ++i)
    if (part == patterns[i]) return static_cast<int>(i);
  return std::nullopt;
}

}  // namespace

LineChoice parseLineChoice(QStringView text) {
  // What a save with a baud rate and no data format leaves: the baud rate alone.
  if (text == u"9600") return {0, std::nullopt};
  if (text.size() < 5) return {};
  return {matchIn(kBaudStarts, text.first(5)), matchIn(kFormatEnds, text.last(5))};
}

std::optional<LineSettings> lineSettingsOf(const LineChoice& choice) {
  if (!choice.baud || !choice.format) return std::nullopt;
  const DataFormat& format = kDataFormats.at(static_cast<std::size_t>(*choice.format));
  return LineSettings{kBaudRates.at(static_cast<std::size_t>(*choice.baud)), format.parity, 8,
                      format.stopBits};
}

QString formatLineSettings(const LineSettings& line) {
  return QStringLiteral("%1,%2,%3,%4")
      .arg(line.baud)
      .arg(QChar(line.parity == Parity::Even ? u'e' : u'n'))
      .arg(line.dataBits)
      .arg(line.stopBits);
}

QString dataFormatSuffix(std::optional<int> format) {
  if (!format || *format < 0 || *format >= int(kFormatEnds.size())) return {};
  return u',' + kFormatEnds[static_cast<std::size_t>(*format)].toString();
}

QString formatLineChoice(const LineChoice& choice) {
  const bool baud = choice.baud && *choice.baud >= 0 && *choice.baud < int(kBaudRates.size());
  return (baud ? QString::number(kBaudRates[static_cast<std::size_t>(*choice.baud)]) : QString()) +
         dataFormatSuffix(choice.format);
}

std::optional<LineSettings> parseLineSettings(QStringView text) {
  const auto line = lineSettingsOf(parseLineChoice(text));
  if (!line || formatLineSettings(*line) != text) return std::nullopt;
  return line;
}

QString lineSettingsDifference(const LineSettings& asked, const LineSettings& actual) {
  QStringList parts;
  const auto differ = [&](const char* name, const QString& got, const QString& wanted) {
    if (got != wanted)
      parts << QStringLiteral("%1 %2 instead of %3").arg(QLatin1String(name), got, wanted);
  };
  const auto parity = [](Parity p) {
    return p == Parity::Even ? QStringLiteral("even") : QStringLiteral("none");
  };
  differ("baud rate", QString::number(actual.baud), QString::number(asked.baud));
  differ("parity", parity(actual.parity), parity(asked.parity));
  differ("data bits", QString::number(actual.dataBits), QString::number(asked.dataBits));
  differ("stop bits", QString::number(actual.stopBits), QString::number(asked.stopBits));
  return parts.join(QStringLiteral(", "));
}

std::chrono::microseconds frameGap(const LineSettings& line) {
  if (line.baud > 19200) return std::chrono::microseconds(1750);
  return std::chrono::microseconds(
      static_cast<qint64>(std::ceil(3.5e6 * line.bitsPerCharacter() / line.baud)));
}

}  // namespace vantor
