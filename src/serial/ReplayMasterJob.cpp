#include "serial/ReplayMasterJob.h"

#include "core/modbus/Crc16.h"
#include "core/modbus/RtuFrame.h"
#include "serial/ReplaySlavesJob.h"
#include "serial/SerialPort.h"

#include <QDateTime>

namespace vantor {

namespace {

// What a reply that came is, as polling as the module logs it.
EventKind replyKind(const QByteArray& reply) {
  if (!checkValueHolds(reply)) return EventKind::PollError;
  const bool exception = reply.size() == rtu::kExceptionLength &&
                         (std::uint8_t(reply[rtu::kFunctionCode]) & rtu::kExceptionBit);
  return exception ? EventKind::PollException : EventKind::PollReply;
}

}  // namespace

ReplayMasterJob::ReplayMasterJob(std::shared_ptr<const Recording> recording, MasterReplayPace pace,
                                 SlaveTable fields)
    : recording_(std::move(recording)), pace_(pace), fields_(fields) {}

void ReplayMasterJob::begin(qint64 nowNs) {
  const ReplayPace pace = replayPace(pace_.speed, line().settings());
  schedule_ = masterSchedule(*recording_, pace);
  done_ = schedule_.empty();
  if (done_) return;
  // Looping, the next round keeps the rhythm of the last two requests.
  const qint64 last = schedule_.back().count();
  const qint64 spacing = schedule_.size() > 1 ? last - schedule_[schedule_.size() - 2].count()
                                              : std::chrono::nanoseconds(pace_.timeout).count();
  roundNs_ = last + spacing;
  startNs_ = nowNs;
  gapNs_ = std::chrono::nanoseconds(frameGap(line().settings())).count();
}

qint64 ReplayMasterJob::scheduledAt(std::size_t index) const {
  return startNs_ + schedule_[index].count() + slipNs_;
}

std::optional<qint64> ReplayMasterJob::nextAt() const {
  if (done_) return std::nullopt;
  return std::max(scheduledAt(index_), freeAtNs_);
}

void ReplayMasterJob::sent(qint64 sentNs, const QString& error) {
  slipNs_ = std::max<qint64>(slipNs_, sentNs - (startNs_ + schedule_[index_].count()));
  const RecordedExchange& x = current();
  step_ = ReplayStep{};
  step_.time = QDateTime::currentDateTimeUtc();
  step_.request = x.request;
  step_.line = x.line;
  step_.sendError = error;
  const bool last = index_ + 1 == schedule_.size();
  const qint64 next = last ? sentNs : scheduledAt(index_ + 1);
  waitingUntil_ = std::max(sentNs + std::chrono::nanoseconds(pace_.timeout).count(), next);

  TrafficEvent e;
  e.time = step_.time;
  e.direction = Direction::Tx;
  e.bytes = error.isEmpty() ? x.request : QByteArray();
  e.kind = EventKind::Poll;
  e.slave = polledField(x.request, fields_);
  e.detail = QStringLiteral("as on line %1 of the recording").arg(x.line);
  if (!error.isEmpty()) e.detail += QStringLiteral(" (not sent: %1)").arg(error);
  line().post(std::move(e));
}

std::optional<qint64> ReplayMasterJob::waitingUntil() const {
  return waitingUntil_;
}

void ReplayMasterJob::replied(const QByteArray& reply, qint64 atNs) {
  const RecordedExchange& x = current();
  step_.reply = reply;
  if (!reply.isEmpty()) step_.delayMs = double(atNs - sentNs()) / 1e6;
  step_.comparison =
      compareReply(x, reply.isEmpty() ? std::nullopt : std::optional(reply), fields_);

  TrafficEvent e;
  e.time = QDateTime::currentDateTimeUtc();
  e.bytes = reply;
  e.kind = reply.isEmpty() ? EventKind::PollTimeout : replyKind(reply);
  e.slave = polledField(x.request, fields_);
  e.detail = step_.comparison.difference.isEmpty() ? QStringLiteral("as recorded")
                                                   : step_.comparison.difference;
  line().post(std::move(e));
  line().post(ServeEvent{ServeEvent::Type::Replayed, {}, {}, {}, std::move(step_), {}});

  waitingUntil_.reset();
  freeAtNs_ = std::max(atNs, sentNs()) + gapNs_;
  if (++index_ < schedule_.size()) return;
  if (!pace_.loop) {
    done_ = true;
    line().post(ServeEvent{ServeEvent::Type::Finished, {}, {}, {}, {}, {}});
    return;
  }
  index_ = 0;
  startNs_ += roundNs_;
}

}  // namespace vantor
