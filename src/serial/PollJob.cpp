#include "serial/PollJob.h"

#include "serial/SerialPort.h"

#include <QDateTime>

namespace vantor {

namespace {

constexpr qint64 kNsPerMs = 1'000'000;
// A timer can fire about this late: the last stretch before a request is due is waited for by
// watching the clock, so that the request goes at the frame gap's end, not a wake-up later.
constexpr qint64 kWatchNs = 200'000;

}  // namespace

PollJob::PollJob(std::shared_ptr<const ModulePolls> polls, PollPace pace)
    : polls_(std::move(polls)), pace_(pace) {}

void PollJob::run(JobLine& line) {
  line_ = &line;
  const std::chrono::nanoseconds gap = frameGap(line.settings());
  cutter_.emplace(replyFit, gap);
  cadence_.emplace(int(polls_->fields.size()), CadenceTiming{pace_.interval, pace_.timeout, gap});
  cadence_->begin(monotonicNs());
  while (!line.stopping()) {
    const JobLine::Turn turn = line.wait(due());
    if (!turn.bytes.isEmpty()) {
      lastReadNs_ = turn.readNs;
      QByteArray bytes = turn.bytes;
      const QByteArray echo = echo_.take(bytes, turn.readNs / kNsPerMs);
      if (!echo.isEmpty()) {
        TrafficEvent e;
        e.time = QDateTime::currentDateTimeUtc();
        e.bytes = echo;
        e.kind = EventKind::Echo;
        line.post(std::move(e));
      }
      take(cutter_->read(bytes, turn.readNs));
    }
    if (turn.lost) return line.lose();
    if (!turn.input) {
      take(cutter_->read(echo_.release(turn.readNs / kNsPerMs), turn.readNs));
      take(cutter_->idle(turn.readNs));
    }
    if (cadence_->waiting() && turn.readNs >= cadence_->timeoutAt()) {
      // The module waits no longer: what came meanwhile is all the reply there is.
      const std::vector<CutPart> parts = cutter_->flush();
      if (parts.empty())
        end(timedOut(waitedFor(), pace_.timeout), cadence_->timeoutAt());
      else
        take(parts);
    }
    if (sending() && monotonicNs() >= cadence_->nextAt() - kWatchNs) {
      while (monotonicNs() < cadence_->nextAt()) {
      }
      send();
    }
    line.publish();
  }
  line.drain();
}

std::optional<qint64> PollJob::due() const {
  std::optional<qint64> due = cutter_->deadline();
  const auto dueAt = [&due](qint64 ns) { due = due ? std::min(*due, ns) : ns; };
  if (const auto held = echo_.deadline()) dueAt(*held * kNsPerMs);
  if (cadence_->waiting())
    dueAt(cadence_->timeoutAt());
  else if (sending())
    dueAt(cadence_->nextAt() - kWatchNs);
  return due;
}

bool PollJob::sending() const {
  if (polls_->fields.empty() || cadence_->waiting()) return false;
  return !(pace_.cycles && cadence_->startsCycle() && cadence_->cycles() >= *pace_.cycles);
}

const PolledField& PollJob::waitedFor() const {
  return polls_->fields[std::size_t(cadence_->nextField())];
}

void PollJob::send() {
  // Bytes still waiting to be cut are nothing this request could be answered with.
  take(cutter_->flush());
  const PolledField& poll = waitedFor();
  QString error;
  line_->write(poll.request, &error);
  sentNs_ = monotonicNs();
  const QDateTime time = QDateTime::currentDateTimeUtc();
  qCDebug(lcSerial) << "out:" << poll.request.toHex(' ') << qPrintable(error);
  cadence_->sent(sentNs_);
  echo_.expect(poll.request, sentNs_ / kNsPerMs);
  TrafficEvent sent = requestEvent(poll, time);
  if (!error.isEmpty()) {
    // The poll then times out, unless the line is gone and the next wait says so.
    sent.detail += QStringLiteral(" (not sent: %1)").arg(error);
    sent.bytes.clear();
  }
  line_->post(std::move(sent));
}

// Parts cut from what came back, in order: the first frame after the request is its reply;
// bytes that are no frame are the reply only when no frame follows them. A reply ends where
// its last byte was read, however long the cutter held it.
void PollJob::take(const std::vector<CutPart>& parts) {
  const QDateTime time = QDateTime::currentDateTimeUtc();
  for (auto part = parts.begin(); part != parts.end(); ++part) {
    if (!cadence_->waiting()) {
      line_->post(strayEvent(part->bytes, time, QStringLiteral("no poll was waiting for it")));
      continue;
    }
    const bool frameFollows =
        std::any_of(part + 1, parts.end(), [](const CutPart& p) { return p.frame; });
    if (!part->frame && frameFollows) {
      line_->post(strayEvent(part->bytes, time, QStringLiteral("no frame, before the reply")));
      continue;
    }
    end(judgeReply(waitedFor(), part->bytes), lastReadNs_);
  }
}

void PollJob::end(PollResult result, qint64 atNs) {
  const PolledField& poll = waitedFor();
  result.cycle = cadence_->cycles() - 1;
  result.time = QDateTime::currentDateTimeUtc();
  if (result.outcome != PollOutcome::Timeout) result.responseMs = double(atNs - sentNs_) / 1e6;
  result.late = cadence_->ended(atNs);
  line_->post(resultEvent(poll, result));
  ServeEvent polled;
  polled.type = ServeEvent::Type::Polled;
  polled.poll = std::move(result);
  line_->post(std::move(polled));
}

}  // namespace vantor
