#pragma once

// What one poll came to, judged as the module judges a reply:
//
//   check value   the CRC over every byte before it holds
//   address       the polled slave's
//   function      the poll's; with its high bit set and 5 bytes in all, an exception reply
//                 whose third byte is the exception code
//   byte count    twice the registers asked for, and that many register bytes follow
//   value         the registers, high register first, read by the field's data type and
//                 decimal places as the display shows them
//
// A reply is what the frame cutter cuts from the bytes that come after the request (by
// replyFit below); nothing that comes within the timeout is a timeout.

#include "core/modbus/FrameCutter.h"
#include "core/monitor/TrafficEvent.h"
#include "core/poll/ModulePolls.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>

#include <chrono>
#include <cstdint>
#include <optional>

namespace vantor {

enum class PollOutcome {
  Value,            // a reply that holds the registers asked for
  Exception,        // an exception reply
  CheckValueError,  // bytes whose check value does not hold
  WrongReply,       // a frame that is no reply to the poll: address, function or byte count
  Timeout,          // nothing within the timeout
};

struct PollResult {
  int field = 0;     // 1..4
  qint64 cycle = 0;  // counted from 0
  QDateTime time;    // judged, UTC
  QByteArray request;
  QByteArray reply;  // empty for a timeout
  PollOutcome outcome = PollOutcome::Timeout;
  std::optional<std::uint32_t> raw;  // Value: the registers, high register first
  int exceptionCode = 0;             // Exception
  // What came back in words: "0x04D2 = 123.4", "exception 02 (illegal data address)", "check
  // value 12 34, expected 84 0A", "from slave 4, not 3", "no reply within 500 ms".
  QString text;
  // From the request handed to the line to the reply's last byte read; -1 for a timeout.
  double responseMs = -1;
  // The line was free for the next request only after the cycle's interval had run out.
  bool late = false;

  bool failed() const { return outcome != PollOutcome::Value; }
};

// The frame cutter's rule for what a master waits for: a response (any address, function 03
// or 04, a byte count, the registers, a check value that holds) or an exception reply (5
// bytes, the function's high bit set, a check value that holds).
FrameFit replyFit(QByteArrayView bytes, qsizetype offset);

// `reply` (a frame, or bytes that are none) judged as the reply to `poll`: outcome, raw value,
// exception code and text; the caller fills in the rest.
PollResult judgeReply(const PolledField& poll, QByteArrayView reply);
// No reply came within `timeout`.
PollResult timedOut(const PolledField& poll, std::chrono::milliseconds timeout);

// The row of the bus monitor and the export for the request of `poll` sent at `time`, and
// for what came of one.
TrafficEvent requestEvent(const PolledField& poll, const QDateTime& time);
TrafficEvent resultEvent(const PolledField& poll, const PollResult& result);
// Bytes that are no reply to a poll: they came while no request waited for one (a reply
// after its timeout), or before the frame that was the reply. `why` says which.
TrafficEvent strayEvent(const QByteArray& bytes, const QDateTime& time, const QString& why);

// The poll as one line shows it: "field 2  slave 3 04 0x0020".
QString pollText(const PolledField& poll);

}  // namespace vantor
