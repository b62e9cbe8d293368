#include "core/monitor/LogExport.h"

#include "core/io/ReplaceFile.h"
#include "core/modbus/HexText.h"

#include <QRegularExpression>

namespace vantor {

namespace {

QByteArray csvField(const QString& text) {
  QByteArray field = text.toUtf8();
  if (!field.contains(',') && !field.contains('"') && !field.contains('\n') &&
      !field.contains('\r'))
    return field;
  return '"' + field.replace('"', "\"\"") + '"';
}

QByteArray jsonString(const QString& text) {
  QByteArray out = "\"";
  for (const char c : text.toUtf8()) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20)
          out += QByteArray("\\u00") +
                 QByteArray::number(static_cast<unsigned char>(c), 16).rightJustified(2, '0');
        else
          out += c;
    }
  }
  return out + '"';
}

QString directionName(Direction d) {
  return d == Direction::Rx ? QStringLiteral("rx") : QStringLiteral("tx");
}

}  // namespace

std::optional<LogFormat> logFormatOf(const QString& path) {
  const QString lower = path.toLower();
  if (lower.endsWith(QLatin1String(".csv"))) return LogFormat::Csv;
  if (lower.endsWith(QLatin1String(".jsonl")) || lower.endsWith(QLatin1String(".ndjson")))
    return LogFormat::JsonLines;
  return std::nullopt;
}

QString filterSuffix(const QString& nameFilter) {
  static const QRegularExpression pattern(QStringLiteral(R"(\*(\.[^\s;()*]+))"));
  return pattern.match(nameFilter).captured(1);
}

QString exportPath(const QString& typed, const QString& nameFilter) {
  if (typed.isEmpty() || logFormatOf(typed)) return typed;
  QString path = typed;
  while (path.endsWith(u'.')) path.chop(1);  // "mylog." means "mylog"
  return path + filterSuffix(nameFilter);
}

QString suggestedExportName(const QDateTime& now, const QString& nameFilter) {
  return now.toString(QStringLiteral("'vantor-log-'yyyyMMdd-HHmmss")) + filterSuffix(nameFilter);
}

QByteArray logHeader(LogFormat format) {
  return format == LogFormat::Csv ? QByteArray("time,direction,bytes,kind,slave,detail\r\n")
                                  : QByteArray();
}

QByteArray logRecord(LogFormat format, const TrafficEvent& e) {
  const QString slave = e.slave > 0 ? QString::number(e.slave) : QString();
  if (format == LogFormat::Csv) {
    return csvField(isoTime(e.time)) + ',' + csvField(directionName(e.direction)) + ',' +
           csvField(hexText(e.bytes)) + ',' + csvField(kindName(e.kind)) + ',' + csvField(slave) +
           ',' + csvField(e.detail) + "\r\n";
  }
  return "{\"time\":" + jsonString(isoTime(e.time)) +
         ",\"direction\":" + jsonString(directionName(e.direction)) +
         ",\"bytes\":" + jsonString(hexText(e.bytes)) +
         ",\"kind\":" + jsonString(kindName(e.kind)) +
         ",\"slave\":" + (slave.isEmpty() ? QByteArray("null") : slave.toLatin1()) +
         ",\"detail\":" + jsonString(e.detail) + "}\n";
}

QByteArray logBytes(LogFormat format, std::span<const TrafficEvent> events) {
  QByteArray bytes = logHeader(format);
  for (const TrafficEvent& e : events) bytes += logRecord(format, e);
  return bytes;
}

bool exportLog(std::span<const TrafficEvent> events, const QString& path, QString* error) {
  const auto format = logFormatOf(path);
  if (!format) {
    if (error)
      *error = QStringLiteral("Nothing was exported to %1: name a file ending in .csv or .jsonl.")
                   .arg(path);
    return false;
  }
  QString reason;
  if (replaceFile(path, logBytes(*format, events), &reason)) return true;
  if (error) *error = QStringLiteral("The log was not exported to %1: %2").arg(path, reason);
  return false;
}

}  // namespace vantor
