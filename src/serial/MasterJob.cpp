#include "serial/MasterJob.h"

#include "core/poll/PollResult.h"
#include "serial/SerialPort.h"

#include <QDateTime>

namespace vantor {

namespace {

constexpr qint64 kNsPerMs = 1'000'000;
// A timer can fire about this late: the last stretch before a request is due is waited for by
// watching the clock, so that the request goes at its time, not a wake-up later.
constexpr qint64 kWatchNs = 200'000;

}  // namespace

void MasterJob::run(JobLine& line) {
  line_ = &line;
  cutter_.emplace(replyFit, frameGap(line.settings()));
  begin(monotonicNs());
  while (!line.stopping() && !finished()) {
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
    if (const auto until = waitingUntil(); until && turn.readNs >= *until) {
      // The master waits no longer: what came meanwhile is all the reply there is.
      const std::vector<CutPart> parts = cutter_->flush();
      if (parts.empty())
        replied({}, *until);
      else
        take(parts);
    }
    const std::optional<qint64> next = waitingUntil() ? std::nullopt : nextAt();
    if (next && monotonicNs() >= *next - kWatchNs) {
      while (monotonicNs() < *next) {
      }
      send();
    }
    line.publish();
  }
  line.drain();
}

std::optional<qint64> MasterJob::due() const {
  std::optional<qint64> due = cutter_->deadline();
  const auto dueAt = [&due](qint64 ns) { due = due ? std::min(*due, ns) : ns; };
  if (const auto held = echo_.deadline()) dueAt(*held * kNsPerMs);
  if (const auto until = waitingUntil())
    dueAt(*until);
  else if (const auto next = nextAt())
    dueAt(*next - kWatchNs);
  return due;
}

void MasterJob::send() {
  // Bytes still waiting to be cut are nothing this request could be answered with.
  take(cutter_->flush());
  const QByteArray bytes = request();
  QString error;
  line_->write(bytes, &error);
  sentNs_ = monotonicNs();
  qCDebug(lcSerial) << "out:" << bytes.toHex(' ') << qPrintable(error);
  echo_.expect(bytes, sentNs_ / kNsPerMs);
  sent(sentNs_, error);
}

// Parts cut from what came back, in order: the first frame after the request is its reply;
// bytes that are no frame are the reply only when no frame follows them. A reply ends where
// its last byte was read, however long the cutter held it.
void MasterJob::take(const std::vector<CutPart>& parts) {
  const QDateTime time = QDateTime::currentDateTimeUtc();
  for (auto part = parts.begin(); part != parts.end(); ++part) {
    if (!waitingUntil()) {
      line_->post(strayEvent(part->bytes, time, QStringLiteral("no poll was waiting for it")));
      continue;
    }
    const bool frameFollows =
        std::any_of(part + 1, parts.end(), [](const CutPart& p) { return p.frame; });
    if (!part->frame && frameFollows) {
      line_->post(strayEvent(part->bytes, time, QStringLiteral("no frame, before the reply")));
      continue;
    }
    replied(part->bytes, lastReadNs_);
  }
}

}  // namespace vantor
