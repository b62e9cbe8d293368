#pragma once

// The bus monitor's export formats, chosen by the file's extension. One record per event,
// fields in this order: time, direction, bytes, kind, slave, detail.
//   CSV (.csv): a header line with those six names, then one line per event, quoted as
//     RFC 4180 requires, lines ending in CR LF.
//   JSON Lines (.jsonl, .ndjson): one object per line with those six keys; slave a number or
//     null.

#include "core/monitor/TrafficEvent.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <span>
#include <vector>

namespace vantor {

enum class LogFormat { Csv, JsonLines };

// The format a file name asks for; nothing for an extension that names none.
std::optional<LogFormat> logFormatOf(const QString& path);

// The suffix a file dialog's name filter gives a bare file name: ".csv" for "CSV (*.csv)", the
// first for a filter with several; empty for a filter without one.
QString filterSuffix(const QString& nameFilter);
// The file an export writes when `typed` was given with `nameFilter` chosen: `typed` when its
// extension names a format, otherwise `typed` with the filter's suffix ("mylog" and
// "CSV (*.csv)": "mylog.csv").
QString exportPath(const QString& typed, const QString& nameFilter);
// The name an export suggests at local time `now`: "vantor-log-20261207-142501" and the
// filter's suffix.
QString suggestedExportName(const QDateTime& now, const QString& nameFilter);

// The first line of a file (the CSV header; nothing for JSON Lines), and one event's line,
// each with its line end.
QByteArray logHeader(LogFormat format);
QByteArray logRecord(LogFormat format, const TrafficEvent& event);
// A whole file: the header, then every event's line. Rows copied from the log are this too.
QByteArray logBytes(LogFormat format, std::span<const TrafficEvent> events);

// Writes `events` to `path` in the format its extension names, in one replacement of the
// file: a failed export leaves no half-written file. False with a sentence naming the file in
// `error` on failure.
bool exportLog(std::span<const TrafficEvent> events, const QString& path, QString* error);

// One record of an export read back. The kind is kept as written: a file may hold kinds that
// a later version writes and this one does not know.
struct LogRecord {
  qsizetype line = 0;  // where the record begins in the file, counted from 1
  QDateTime time;      // with the offset it was written with
  Direction direction = Direction::Rx;
  QByteArray bytes;
  QString kind;
  int slave = 0;  // 0 for none
  QString detail;
};

struct LogReading {
  std::vector<LogRecord> records;  // every record before the first fault
  qsizetype faultLine = 0;         // the line of the first fault; 0 when there is none
  QString fault;                   // what is wrong there, in words
};

// The records of an export, read with the names and quoting it is written with. Lines may end
// in LF as well as CR LF, and blank lines are passed over; a CSV record without its line end
// at the end of the file, or a JSON object left open, is cut off.
LogReading readLog(QByteArrayView content, LogFormat format);

}  // namespace vantor
