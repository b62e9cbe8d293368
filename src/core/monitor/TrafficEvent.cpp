#include "core/monitor/TrafficEvent.h"

#include "core/modbus/HexText.h"
#include "core/modbus/RtuFrame.h"

#include <cstdlib>

namespace vantor {

QString kindName(EventKind kind) {
  switch (kind) {
    case EventKind::Answered:
      return QStringLiteral("answered");
    case EventKind::Unanswered:
      return QStringLiteral("unanswered");
    case EventKind::CrcError:
      return QStringLiteral("crc-error");
    case EventKind::Fragment:
      return QStringLiteral("fragment");
    case EventKind::Echo:
      return QStringLiteral("echo");
    case EventKind::Reply:
      return QStringLiteral("reply");
    case EventKind::Request:
      return QStringLiteral("request");
    case EventKind::Response:
      return QStringLiteral("response");
    case EventKind::Exception:
      return QStringLiteral("exception");
    case EventKind::ConfigFrame:
      return QStringLiteral("config-frame");
    case EventKind::Poll:
      return QStringLiteral("poll");
    case EventKind::PollReply:
      return QStringLiteral("poll-reply");
    case EventKind::PollException:
      return QStringLiteral("poll-exception");
    case EventKind::PollError:
      return QStringLiteral("poll-error");
    case EventKind::PollTimeout:
      return QStringLiteral("poll-timeout");
  }
  return {};
}

QString kindCaption(EventKind kind) {
  if (kind == EventKind::CrcError) return QStringLiteral("CRC error");
  if (kind == EventKind::ConfigFrame) return QStringLiteral("configuration frame");
  return kindName(kind).replace(u'-', u' ');
}

bool isRequestKind(EventKind kind) {
  return kind == EventKind::Answered || kind == EventKind::Unanswered ||
         kind == EventKind::CrcError || kind == EventKind::Request || kind == EventKind::Poll;
}

bool isException(const TrafficEvent& e) {
  if (e.kind == EventKind::Exception || e.kind == EventKind::PollException) return true;
  return e.direction == Direction::Tx && e.bytes.size() >= 2 &&
         (std::uint8_t(e.bytes[rtu::kFunctionCode]) & rtu::kExceptionBit);
}

namespace {

TrafficEvent replyEvent(const Response& r, const QDateTime& time) {
  TrafficEvent reply;
  reply.time = time;
  reply.direction = Direction::Tx;
  reply.bytes = r.reply;
  reply.kind = EventKind::Reply;
  reply.slave = reply.about = r.slave;
  reply.address = r.configured.address;
  reply.detail = r.note;
  return reply;
}

}  // namespace

std::vector<TrafficEvent> eventsOf(const Response& r, const QDateTime& time) {
  TrafficEvent request;
  request.time = time;
  request.direction = Direction::Rx;
  request.bytes = r.request;
  switch (r.verdict) {
    case Verdict::Fragment:
      request.kind = EventKind::Fragment;
      break;
    case Verdict::CrcError:
      request.kind = EventKind::CrcError;
      request.detail = QStringLiteral("expected check value %1")
                           .arg(hexText(QByteArray(1, char(r.expected.lo)) + char(r.expected.hi)));
      break;
    case Verdict::Answered:
      request.kind = r.reply.isEmpty() ? EventKind::Unanswered : EventKind::Answered;
      // A slave silenced by a fault concerned the poll but answered nothing.
      request.slave = r.reply.isEmpty() ? 0 : r.slave;
      request.about = r.slave;
      request.address = r.configured.address;
      request.detail = r.note;
      break;
    case Verdict::AnsweredAll:
      // Answered for no slave: `slave` and `about` stay 0, the detail says why it was.
      request.kind = EventKind::Answered;
      request.detail = r.note;
      break;
    default:
      request.kind = EventKind::Unanswered;
      request.about = r.slave;
      request.address = r.configured.address;
      request.detail = reasonText(r);
      break;
  }
  std::vector<TrafficEvent> events{request};
  if (!r.reply.isEmpty()) events.push_back(replyEvent(r, time));
  return events;
}

QString describe(const TrafficEvent& e) {
  const QString detail = e.detail.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(e.detail);
  switch (e.kind) {
    case EventKind::Answered:
      if (e.slave == 0) return QStringLiteral("CRC Validated, answered%1").arg(detail);
      return QStringLiteral("CRC Validated, answered by %1%2")
          .arg(slaveName(e.address, e.slave), detail);
    case EventKind::Unanswered:
      return QStringLiteral("CRC Validated, unanswered: %1").arg(e.detail);
    case EventKind::CrcError:
      return QStringLiteral("CRC Error%1").arg(detail);
    case EventKind::Fragment:
      return QStringLiteral("fragment dropped after silence");
    case EventKind::Echo:
      return QStringLiteral("echo of our own reply, dropped");
    case EventKind::Reply:
      if (e.slave == 0) return QStringLiteral("reply%1").arg(detail);
      return QStringLiteral("reply of slave %1%2").arg(e.address).arg(detail);
    case EventKind::Request:
      return QStringLiteral("request: %1").arg(e.detail);
    case EventKind::Response:
      return QStringLiteral("response: %1").arg(e.detail);
    case EventKind::Exception:
      return QStringLiteral("exception reply: %1").arg(e.detail);
    case EventKind::ConfigFrame:
      return QStringLiteral("configuration frame: %1").arg(e.detail);
    case EventKind::Poll:
      return QStringLiteral("poll: %1").arg(e.detail);
    case EventKind::PollReply:
      return QStringLiteral("poll reply: %1").arg(e.detail);
    case EventKind::PollException:
      return QStringLiteral("poll exception: %1").arg(e.detail);
    case EventKind::PollError:
      return QStringLiteral("poll error: %1").arg(e.detail);
    case EventKind::PollTimeout:
      return QStringLiteral("poll timeout: %1").arg(e.detail);
  }
  return {};
}

QString isoTime(const QDateTime& utcOrOffset) {
  const QDateTime time =
      utcOrOffset.timeSpec() == Qt::UTC ? utcOrOffset.toLocalTime() : utcOrOffset;
  // Written by hand: Qt writes "Z" rather than "+00:00" for a zero offset, and nothing at all
  // for a time in local time.
  const int offset = time.offsetFromUtc();
  const int minutes = std::abs(offset) / 60;
  return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) +
         QStringLiteral("%1%2:%3")
             .arg(QChar(offset < 0 ? u'-' : u'+'))
             .arg(minutes / 60, 2, 10, QLatin1Char('0'))
             .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace vantor
