#include "serial/PollJob.h"

#include "serial/SerialPort.h"

#include <QDateTime>

namespace vantor {

PollJob::PollJob(std::shared_ptr<const ModulePolls> polls, PollPace pace)
    : polls_(std::move(polls)), pace_(pace) {}

void PollJob::begin(qint64 nowNs) {
  const CadenceTiming timing{pace_.interval, pace_.timeout, frameGap(line().settings())};
  cadence_.emplace(int(polls_->fields.size()), timing);
  cadence_->begin(nowNs);
}

// A request is to go while none waits and the count is not reached.
std::optional<qint64> PollJob::nextAt() const {
  if (polls_->fields.empty()) return std::nullopt;
  if (pace_.cycles && cadence_->startsCycle() && cadence_->cycles() >= *pace_.cycles)
    return std::nullopt;
  return cadence_->nextAt();
}

std::optional<qint64> PollJob::waitingUntil() const {
  if (!cadence_->waiting()) return std::nullopt;
  return cadence_->timeoutAt();
}

const PolledField& PollJob::waitedFor() const {
  return polls_->fields[std::size_t(cadence_->nextField())];
}

void PollJob::sent(qint64 sentNs, const QString& error) {
  const PolledField& poll = waitedFor();
  cadence_->sent(sentNs);
  TrafficEvent sent = requestEvent(poll, QDateTime::currentDateTimeUtc());
  if (!error.isEmpty()) {
    // The poll then times out, unless the line is gone and the next wait says so.
    sent.detail += QStringLiteral(" (not sent: %1)").arg(error);
    sent.bytes.clear();
  }
  line().post(std::move(sent));
}

void PollJob::replied(const QByteArray& reply, qint64 atNs) {
  end(reply.isEmpty() ? timedOut(waitedFor(), pace_.timeout) : judgeReply(waitedFor(), reply),
      atNs);
}

void PollJob::end(PollResult result, qint64 atNs) {
  const PolledField& poll = waitedFor();
  result.cycle = cadence_->cycles() - 1;
  result.time = QDateTime::currentDateTimeUtc();
  if (result.outcome != PollOutcome::Timeout) result.responseMs = double(atNs - sentNs()) / 1e6;
  result.late = cadence_->ended(atNs);
  line().post(resultEvent(poll, result));
  ServeEvent polled;
  polled.type = ServeEvent::Type::Polled;
  polled.poll = std::move(result);
  line().post(std::move(polled));
}

}  // namespace vantor
