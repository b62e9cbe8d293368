#pragma once

// A recorded line as replaying takes it: the requests a master sent, in order, each with the
// reply that went with it. A recording is an export of the bus monitor (LogExport.h) written
// while serving, listening or polling as the module, or a mix of them (the window's log keeps
// what one session after another did).
//
// Which records are requests and which reply goes with which:
//
//   written by   request                          its reply
//   serving      rx answered, unanswered,         tx reply: to the oldest answered request still
//                crc-error                        waiting, of those whose address and function
//                                                 it echoes if any (a delayed reply can come
//                                                 after later requests); none to the others
//   listening    rx request                       the rx response, exception or crc-error that
//                                                 follows before the next request
//   polling      tx of any kind but reply         the rx record that follows before the next
//                                                 request and names the same field (slave):
//                                                 with bytes, the reply; without, none came
//
// An rx crc-error that is no listened reply is a request nobody could answer. Fragments,
// echoes, configuration frames and bytes that name no field are passed over.

#include "core/monitor/LogExport.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>

#include <chrono>
#include <optional>
#include <vector>

namespace vantor {

// One request of a recording and what came of it.
struct RecordedExchange {
  qsizetype line = 0;  // the request's line in the file
  QDateTime time;      // the request's
  QByteArray request;
  std::optional<QByteArray> reply;  // nothing: no reply was recorded
  qsizetype replyLine = 0;
  qint64 delayMs = 0;  // from the request's time to the reply's
  // Bytes of the exchange that went over the line within that delay: a heard frame is stamped
  // as its last byte is read, a poll as it is handed to the line, a served reply as it is.
  qsizetype bytesInDelay = 0;
};

struct Recording {
  QString path;
  std::vector<RecordedExchange> exchanges;  // in the order the requests came
};

struct RecordingRead {
  std::optional<Recording> recording;
  // Why it cannot be replayed, naming the file and, for a fault in it, the line: "site.jsonl,
  // line 7: the bytes \"01 0G\" are not hexadecimal pairs separated by blanks"; empty with a
  // recording.
  QString refusal;
};

// How a recording is played back.
struct ReplayPace {
  double speed = 1.0;  // above 0: at 2, delays and spacing last half as long as recorded
  // One character's time on the bench's line. A delay that held the exchange's own bytes on the
  // line loses their time, so that the reply begins when the site's began.
  std::chrono::nanoseconds characterTime{0};

  // A recorded span as played, `bytesOnLine` of it the time of bytes on the line: never less
  // than nothing.
  std::chrono::nanoseconds played(qint64 recordedMs, qsizetype bytesOnLine = 0) const;
};

// The recording at `path`, in the format its extension names.
RecordingRead readRecording(const QString& path);
// The same from a file's content; `path` only names it.
RecordingRead readRecording(QByteArrayView content, LogFormat format, const QString& path);

// The exchanges of records read in order.
std::vector<RecordedExchange> pairExchanges(const std::vector<LogRecord>& records);

}  // namespace vantor
