#include "core/monitor/LogExport.h"

#include "core/io/ReplaceFile.h"
#include "core/modbus/HexText.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <array>

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

// Reading back.

constexpr int kFields = 6;
const std::array<QString, kFields> kFieldNames{QStringLiteral("time"),  QStringLiteral("direction"),
                                               QStringLiteral("bytes"), QStringLiteral("kind"),
                                               QStringLiteral("slave"), QStringLiteral("detail")};
constexpr QByteArrayView kByteOrderMark = "\xEF\xBB\xBF";

QString notAnExport(const QString& what) {
  return QStringLiteral("not an export of the bus monitor: ") + what;
}

int nibble(QChar c) {
  const char16_t u = c.unicode();
  if (u >= u'0' && u <= u'9') return u - u'0';
  if (u >= u'A' && u <= u'F') return u - u'A' + 10;
  if (u >= u'a' && u <= u'f') return u - u'a' + 10;
  return -1;
}

// Bytes as hexText() writes them (lower-case digits read too); nothing for anything else.
std::optional<QByteArray> hexBytes(QStringView text) {
  if (!text.isEmpty() && (text.size() + 1) % 3 != 0) return std::nullopt;
  QByteArray bytes;
  for (qsizetype i = 0; i < text.size(); i += 3) {
    const int hi = nibble(text[i]);
    const int lo = nibble(text[i + 1]);
    if (hi < 0 || lo < 0 || (i + 2 < text.size() && text[i + 2] != u' ')) return std::nullopt;
    bytes += char(hi << 4 | lo);
  }
  return bytes;
}

// The six fields' texts into `record`; what is wrong with them, or nothing.
QString takeFields(const std::array<QString, kFields>& f, LogRecord& record) {
  // Exactly what isoTime() writes: the offset is what places the moment.
  static const QRegularExpression timeForm(
      QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d$)"));
  if (timeForm.match(f[0]).hasMatch()) record.time = QDateTime::fromString(f[0], Qt::ISODateWithMs);
  // Qt reads +00:00 as UTC, which isoTime() would give in local time: keep it as written.
  if (record.time.timeSpec() == Qt::UTC) record.time = record.time.toOffsetFromUtc(0);
  if (!record.time.isValid())
    return QStringLiteral(
               "the time \"%1\" is not a local time with milliseconds and offset, "
               "such as 2026-12-06T23:14:11.123+01:00")
        .arg(f[0]);
  if (f[1] != QLatin1String("rx") && f[1] != QLatin1String("tx"))
    return QStringLiteral("the direction \"%1\" is neither rx nor tx").arg(f[1]);
  record.direction = f[1] == QLatin1String("rx") ? Direction::Rx : Direction::Tx;
  const auto bytes = hexBytes(f[2]);
  if (!bytes)
    return QStringLiteral("the bytes \"%1\" are not hexadecimal pairs separated by blanks")
        .arg(f[2]);
  record.bytes = *bytes;
  if (f[3].isEmpty()) return QStringLiteral("the kind is empty");
  record.kind = f[3];
  bool number = true;
  record.slave = f[4].isEmpty() ? 0 : f[4].toInt(&number);
  if (!number || record.slave < 0)
    return QStringLiteral("the slave \"%1\" is not a number").arg(f[4]);
  record.detail = f[5];
  return {};
}

enum class CsvEnd { LineEnd, FileEnd, StrayQuote };

// The fields of the CSV record at `pos`, unquoted as RFC 4180 quotes them; `pos` and `line`
// move past it (a quoted field may hold line ends).
CsvEnd csvRecord(QByteArrayView text, qsizetype& pos, qsizetype& line, QList<QByteArray>& fields) {
  fields.clear();
  QByteArray field;
  bool inQuotes = false;
  bool closed = false;  // the field's closing quote was read
  while (pos < text.size()) {
    const char c = text[pos++];
    if (inQuotes) {
      if (c == '"' && pos < text.size() && text[pos] == '"') {
        field += '"';
        ++pos;
      } else if (c == '"') {
        inQuotes = false;
        closed = true;
      } else {
        if (c == '\n') ++line;
        field += c;
      }
    } else if (c == ',') {
      fields << field;
      field.clear();
      closed = false;
    } else if (c == '\n' || (c == '\r' && pos < text.size() && text[pos] == '\n')) {
      if (c == '\r') ++pos;
      ++line;
      fields << field;
      return CsvEnd::LineEnd;
    } else if (closed) {
      return CsvEnd::StrayQuote;
    } else if (c == '"' && field.isEmpty()) {
      inQuotes = true;
    } else {
      field += c;
    }
  }
  fields << field;
  return CsvEnd::FileEnd;
}

LogReading readCsv(QByteArrayView text) {
  LogReading reading;
  qsizetype pos = text.startsWith(kByteOrderMark) ? kByteOrderMark.size() : 0;
  qsizetype line = 1;
  bool header = true;
  QList<QByteArray> fields;
  while (pos < text.size()) {
    const qsizetype start = line;
    const CsvEnd end = csvRecord(text, pos, line, fields);
    const auto fail = [&](const QString& what) {
      reading.faultLine = start;
      reading.fault = what;
      return reading;
    };
    if (end == CsvEnd::StrayQuote)
      return fail(QStringLiteral("a field goes on after its closing quote"));
    if (fields.size() == 1 && fields[0].isEmpty()) continue;  // a blank line
    if (header) {
      if (fields.size() != kFields ||
          !std::equal(fields.begin(), fields.end(), kFieldNames.begin(),
                      [](const QByteArray& a, const QString& b) { return a == b.toLatin1(); }))
        return fail(
            notAnExport(QStringLiteral("the first line is not \"%1\"")
                            .arg(QStringList(kFieldNames.begin(), kFieldNames.end()).join(u','))));
      header = false;
      continue;
    }
    if (end == CsvEnd::FileEnd) return fail(QStringLiteral("the line is cut off"));
    if (fields.size() != kFields)
      return fail(
          QStringLiteral("%1 fields, where an export writes %2").arg(fields.size()).arg(kFields));
    std::array<QString, kFields> f;
    for (int i = 0; i < kFields; ++i) f[i] = QString::fromUtf8(fields[i]);
    LogRecord record;
    record.line = start;
    if (const QString what = takeFields(f, record); !what.isEmpty()) return fail(what);
    reading.records.push_back(std::move(record));
  }
  return reading;
}

// What is wrong with one JSON Lines object, or nothing with its fields in `record`.
QString takeObject(const QJsonObject& object, LogRecord& record) {
  std::array<QString, kFields> f;
  for (int i = 0; i < kFields; ++i) {
    const QString& key = kFieldNames[i];
    if (!object.contains(key)) return notAnExport(QStringLiteral("it has no key \"%1\"").arg(key));
    const QJsonValue value = object[key];
    if (key == QLatin1String("slave") && (value.isNull() || value.isDouble()))
      f[i] = value.isNull() ? QString() : QString::number(value.toDouble());
    else if (value.isString())
      f[i] = value.toString();
    else
      return QStringLiteral("key \"%1\" holds %2")
          .arg(key, key == QLatin1String("slave") ? QStringLiteral("neither a number nor null")
                                                  : QStringLiteral("no text"));
  }
  return takeFields(f, record);
}

LogReading readJsonLines(QByteArrayView text) {
  LogReading reading;
  qsizetype pos = text.startsWith(kByteOrderMark) ? kByteOrderMark.size() : 0;
  for (qsizetype line = 1; pos < text.size(); ++line) {
    qsizetype end = text.indexOf('\n', pos);
    if (end < 0) end = text.size();
    QByteArrayView row = text.sliced(pos, end - pos);
    pos = end + 1;
    if (row.endsWith('\r')) row.chop(1);
    if (row.trimmed().isEmpty()) continue;
    const auto fail = [&](const QString& what) {
      reading.faultLine = line;
      reading.fault = what;
      return reading;
    };
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(row.toByteArray(), &error);
    // The writer ends every line: an object begun on a last line without its end was cut
    // short there, wherever the parser noticed.
    const bool begunAtTheEnd = end == text.size() && row.startsWith('{');
    if (error.error != QJsonParseError::NoError && (begunAtTheEnd || error.offset >= row.size()))
      return fail(QStringLiteral("the line is cut off"));
    if (error.error != QJsonParseError::NoError || !document.isObject())
      return fail(notAnExport(QStringLiteral("the line is not a JSON object")));
    LogRecord record;
    record.line = line;
    if (const QString what = takeObject(document.object(), record); !what.isEmpty())
      return fail(what);
    reading.records.push_back(std::move(record));
  }
  return reading;
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

LogReading readLog(QByteArrayView content, LogFormat format) {
  return format == LogFormat::Csv ? readCsv(content) : readJsonLines(content);
}

}  // namespace vantor
