#include "platform/LineSettings.h"

#include <QStringList>

namespace vantor {

std::optional<LineSettings> parseLineSettings(const QString& text) {
  const QStringList parts = text.split(QLatin1Char(','));
  if (parts.size() != 4) return std::nullopt;

  LineSettings s;
  if (parts[0] == u"9600") {
    s.baud = 9600;
  } else if (parts[0] == u"19200") {
    s.baud = 19200;
  } else if (parts[0] == u"38400") {
    s.baud = 38400;
  } else {
    return std::nullopt;
  }

  const QString format = parts.mid(1).join(QLatin1Char(','));
  if (format == u"n,8,1") {
    s.parity = 'n';
    s.stopBits = 1;
  } else if (format == u"n,8,2") {
    s.parity = 'n';
    s.stopBits = 2;
  } else if (format == u"e,8,1") {
    s.parity = 'e';
    s.stopBits = 1;
  } else {
    return std::nullopt;
  }
  return s;
}

}  // namespace vantor
