#include "core/poll/PollResult.h"

#include "core/modbus/Crc16.h"
#include "core/modbus/HexText.h"
#include "core/modbus/RtuFrame.h"
#include "core/simulator/TypedValue.h"

namespace vantor {

namespace {

std::uint8_t at(QByteArrayView bytes, qsizetype i) {
  return std::uint8_t(bytes[i]);
}

QString checkText(CheckValue check) {
  return hexText(QByteArray(1, char(check.lo)) + char(check.hi));
}

PollResult resultOf(PollOutcome outcome, QString text) {
  PollResult r;
  r.outcome = outcome;
  r.text = std::move(text);
  return r;
}

TrafficEvent pollEvent(const PolledField& poll, const QDateTime& time, Direction direction,
                       EventKind kind, QByteArray bytes, const QString& what) {
  TrafficEvent e;
  e.time = time;
  e.direction = direction;
  e.kind = kind;
  e.bytes = std::move(bytes);
  e.slave = e.about = poll.field;
  e.address = poll.slave.address;
  e.detail = QStringLiteral("field %1: %2").arg(poll.field).arg(what);
  return e;
}

}  // namespace

FrameFit replyFit(QByteArrayView bytes, qsizetype offset) {
  using Kind = FrameFit::Kind;
  const QByteArrayView from = bytes.sliced(offset);
  if (from.size() <= rtu::kFunctionCode) return {Kind::Prefix};
  const std::uint8_t function = at(from, rtu::kFunctionCode);
  qsizetype length = rtu::kExceptionLength;
  if (!(function & rtu::kExceptionBit)) {
    if (function != rtu::kReadHolding && function != rtu::kReadInput) return {};
    if (from.size() <= rtu::kByteCount) return {Kind::Prefix};
    const int byteCount = at(from, rtu::kByteCount);
    if (byteCount == 0 || byteCount % 2 != 0) return {};
    length = rtu::kReplyData + byteCount + 2;
  }
  if (from.size() < length) return {Kind::Prefix};
  if (!checkValueHolds(from.first(length))) return {};
  return {Kind::Frame, length};
}

PollResult judgeReply(const PolledField& poll, QByteArrayView reply) {
  const Slave& s = poll.slave;
  const int size = int(reply.size());
  const auto judged = [&]() -> PollResult {
    if (size < rtu::kExceptionLength)
      return resultOf(
          PollOutcome::WrongReply,
          QStringLiteral("%1 byte%2, too few for a reply").arg(size).arg(size == 1 ? "" : "s"));
    if (!checkValueHolds(reply))
      return resultOf(
          PollOutcome::CheckValueError,
          QStringLiteral("check value %1, expected %2")
              .arg(hexText(reply.last(2)), checkText(checkValue(reply.first(size - 2)))));
    if (at(reply, rtu::kSlaveAddress) != s.address)
      return resultOf(PollOutcome::WrongReply, QStringLiteral("from slave %1, not %2")
                                                   .arg(at(reply, rtu::kSlaveAddress))
                                                   .arg(s.address));
    const std::uint8_t function = at(reply, rtu::kFunctionCode);
    if (function == (s.functionCode | rtu::kExceptionBit) && size == rtu::kExceptionLength) {
      PollResult r = resultOf(PollOutcome::Exception, {});
      r.exceptionCode = at(reply, rtu::kByteCount);
      r.text = QStringLiteral("exception %1 (%2)")
                   .arg(hexDigits(unsigned(r.exceptionCode)),
                        QLatin1String(rtu::exceptionMeaning(r.exceptionCode)));
      return r;
    }
    if (function != s.functionCode)
      return resultOf(PollOutcome::WrongReply,
                      QStringLiteral("function %1, not %2")
                          .arg(hexDigits(function), hexDigits(s.functionCode)));
    const int expected = 2 * s.registerCount;
    if (at(reply, rtu::kByteCount) != expected || size != rtu::kReplyData + expected + 2)
      return resultOf(PollOutcome::WrongReply,
                      QStringLiteral("byte count %1 in %2 bytes, not %3 in %4")
                          .arg(at(reply, rtu::kByteCount))
                          .arg(size)
                          .arg(expected)
                          .arg(rtu::kReplyData + expected + 2));
    std::uint32_t raw = 0;
    for (int i = 0; i < expected; ++i) raw = raw << 8 | at(reply, rtu::kReplyData + i);
    PollResult r = resultOf(PollOutcome::Value, {});
    r.raw = raw;
    r.text = QStringLiteral("0x%1 = %2")
                 .arg(hexDigits(raw, 2 * expected), decodeTyped(raw, {s.dataType, s.decimals}));
    return r;
  };
  PollResult r = judged();
  r.field = poll.field;
  r.request = poll.request;
  r.reply = reply.toByteArray();
  return r;
}

PollResult timedOut(const PolledField& poll, std::chrono::milliseconds timeout) {
  PollResult r =
      resultOf(PollOutcome::Timeout, QStringLiteral("no reply within %1 ms").arg(timeout.count()));
  r.field = poll.field;
  r.request = poll.request;
  return r;
}

QString pollText(const PolledField& poll) {
  return QStringLiteral("field %1  slave %2 %3 0x%4")
      .arg(poll.field)
      .arg(poll.slave.address)
      .arg(hexDigits(poll.slave.functionCode), hexDigits(poll.slave.startRegister, 4));
}

TrafficEvent requestEvent(const PolledField& poll, const QDateTime& time) {
  const Slave& s = poll.slave;
  return pollEvent(poll, time, Direction::Tx, EventKind::Poll, poll.request,
                   QStringLiteral("slave %1 reads %2 %3 register%4 from 0x%5")
                       .arg(s.address)
                       .arg(s.registerCount)
                       .arg(s.functionCode == rtu::kReadHolding ? u"holding" : u"input")
                       .arg(s.registerCount == 1 ? u"" : u"s")
                       .arg(hexDigits(s.startRegister, 4)));
}

TrafficEvent resultEvent(const PolledField& poll, const PollResult& r) {
  EventKind kind = EventKind::PollError;
  QString what = r.text;
  switch (r.outcome) {
    case PollOutcome::Value:
      kind = EventKind::PollReply;
      break;
    case PollOutcome::Exception:
      kind = EventKind::PollException;
      break;
    case PollOutcome::Timeout:
      kind = EventKind::PollTimeout;
      break;
    case PollOutcome::CheckValueError:
    case PollOutcome::WrongReply:
      break;
  }
  if (r.responseMs >= 0) what += QStringLiteral(" in %1 ms").arg(r.responseMs, 0, 'f', 1);
  if (r.late) what += QStringLiteral(", late");
  return pollEvent(poll, r.time, Direction::Rx, kind, r.reply, what);
}

TrafficEvent strayEvent(const QByteArray& bytes, const QDateTime& time, const QString& why) {
  TrafficEvent e;
  e.time = time;
  e.direction = Direction::Rx;
  e.kind = EventKind::PollError;
  e.bytes = bytes;
  e.detail = why;
  return e;
}

}  // namespace vantor
