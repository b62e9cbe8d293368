#pragma once

// One thing that happened on the line, as the bus monitor logs and exports it.

#include "core/simulator/Responder.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <vector>

namespace vantor {

enum class Direction { Rx, Tx };

// What an event was. While serving, everything received is one of the first five and
// everything sent a reply. While listening, nothing is sent, and what is heard is a request, a
// response, an exception reply, a configuration frame, a CRC error or a fragment. While polling
// as the module, what is sent is a poll, and what comes of it a poll reply with a value, a
// poll exception, a poll error (a check value that does not hold, or a frame that is no reply
// to the poll; also bytes no poll waited for) or a poll timeout, a row without bytes; an echo
// of the poll is an echo.
enum class EventKind {
  Answered,
  Unanswered,
  CrcError,
  Fragment,
  Echo,
  Reply,
  Request,
  Response,
  Exception,
  ConfigFrame,
  Poll,
  PollReply,
  PollException,
  PollError,
  PollTimeout,
};
inline constexpr int kEventKindCount = 15;

struct TrafficEvent {
  // To the millisecond; taken in UTC, which costs no look-up of the time zone while a reply is
  // due, and shown in local time.
  QDateTime time;
  // Milliseconds since the request before this one; -1 for anything but a request, and for
  // the first request.
  qint64 sincePreviousRequestMs = -1;
  Direction direction = Direction::Rx;
  QByteArray bytes;
  EventKind kind = EventKind::Answered;
  // 1..4: the simulated slave that answered, or whose reply it is, or the field polled as the
  // module; 0 none (also for a poll answered because every poll is).
  int slave = 0;
  // The simulated slave a request concerned: the one that answered, or the one whose
  // configuration an unanswered poll missed; 0 none. For filtering and counting.
  int about = 0;
  // The Modbus address that simulated slave answers at; 0 with none.
  int address = 0;
  QString detail;  // the reason of an unanswered request, the expected check value, ...
};

// "answered", "unanswered", "crc-error", "fragment", "echo", "reply", "request", "response",
// "exception", "config-frame", "poll", "poll-reply", "poll-exception", "poll-error",
// "poll-timeout": as exported.
QString kindName(EventKind kind);
// The same, as a filter list shows it: "answered", "unanswered", "CRC error", ...
QString kindCaption(EventKind kind);

// Whether an event of this kind is a master's request, or what was taken for one (the time
// between requests is the master's rhythm).
bool isRequestKind(EventKind kind);

// Whether an event is an exception reply: sent, or heard, with the high bit of its function
// code set.
bool isException(const TrafficEvent& event);

// The events a judged request makes: the request, and the reply when one was sent.
std::vector<TrafficEvent> eventsOf(const Response& response, const QDateTime& time);

// What the log shows for an event in words, e.g. "CRC Validated, answered by slave 1",
// "CRC Validated, answered (answer every poll)" or "CRC Error (expected check value 84 0A)".
QString describe(const TrafficEvent& event);

// ISO 8601 local time with milliseconds and offset, e.g. "2026-12-06T23:14:11.123+01:00"; a
// time in UTC is given in local time, one with an offset of its own keeps it.
QString isoTime(const QDateTime& time);

}  // namespace vantor
