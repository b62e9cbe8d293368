#include "serial/ReplaySlavesJob.h"

#include "core/modbus/Crc16.h"

namespace vantor {

ReplayPace replayPace(double speed, const LineSettings& settings) {
  ReplayPace pace;
  pace.speed = speed;
  pace.characterTime =
      std::chrono::nanoseconds(qint64(settings.bitsPerCharacter()) * 1'000'000'000 / settings.baud);
  return pace;
}

ReplaySlavesJob::ReplaySlavesJob(std::shared_ptr<const Recording> recording, double speed,
                                 bool loop)
    : recording_(std::move(recording)), speed_(speed), loop_(loop) {}

void ReplaySlavesJob::refresh() {
  // The recorded delays lose the reply's time on the bench's line, known once it is open.
  if (!replay_) replay_.emplace(*recording_, replayPace(speed_, line().settings()), loop_);
}

void ReplaySlavesJob::answer(const QByteArray& request, qint64 readNs, const QDateTime& time) {
  const SlaveAnswer a = replay_->answer(request);
  ReplayStep step;
  step.time = time;
  step.request = request;
  step.line = a.line;
  step.occurrence = a.occurrence;
  step.occurrences = a.occurrences;
  step.reason = a.reason;

  TrafficEvent heard = receivedEvent(EventKind::Answered, request, time);
  if (a.reply) {
    heard.detail = QStringLiteral("as on line %1 of the recording (%2 of %3)")
                       .arg(a.line)
                       .arg(a.occurrence)
                       .arg(a.occurrences);
  } else {
    heard.kind = checkValueHolds(request) ? EventKind::Unanswered : EventKind::CrcError;
    heard.detail = a.reason;
  }
  line().post(std::move(heard));
  if (!a.reply) {
    line().post(ServeEvent{ServeEvent::Type::Replayed, {}, {}, {}, std::move(step), {}});
    return;
  }
  step.reply = *a.reply;
  if (a.delay.count() <= 0) return send(std::move(step), readNs);
  later(readNs + a.delay.count(), [this, step, readNs] { send(step, readNs); });
}

// Writes the reply before anything is reported: the module is waiting for it.
void ReplaySlavesJob::send(ReplayStep step, qint64 readNs) {
  const Written w = write(step.reply);
  step.reply = w.sent;
  step.sendError = w.result.message();
  if (!w.sent.isEmpty()) step.delayMs = double(w.atNs - readNs) / 1e6;
  TrafficEvent reply;
  reply.time = QDateTime::currentDateTimeUtc();
  reply.direction = Direction::Tx;
  reply.bytes = w.sent;
  reply.kind = EventKind::Reply;
  reply.detail = step.sendError;
  line().post(std::move(reply));
  line().post(ServeEvent{ServeEvent::Type::Replayed, {}, {}, {}, std::move(step), {}});
}

}  // namespace vantor
