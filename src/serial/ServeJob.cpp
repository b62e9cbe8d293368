#include "serial/ServeJob.h"

#include "serial/SerialPort.h"

namespace vantor {

namespace {

TrafficEvent received(EventKind kind, const QByteArray& bytes, const QDateTime& time) {
  TrafficEvent e;
  e.time = time;
  e.direction = Direction::Rx;
  e.bytes = bytes;
  e.kind = kind;
  return e;
}

}  // namespace

ServePlanSlot::ServePlanSlot(std::shared_ptr<const ServePlan> plan)
    : plan_(plan ? std::move(plan) : std::make_shared<const ServePlan>()) {}

void ServePlanSlot::set(std::shared_ptr<const ServePlan> plan) {
  {
    const std::lock_guard lock(mutex_);
    plan_ = std::move(plan);
  }
  ++version_;
}

std::shared_ptr<const ServePlan> ServePlanSlot::takeNewer(quint64& seen) {
  if (version_.load() == seen) return nullptr;
  const std::lock_guard lock(mutex_);
  seen = version_.load();
  return plan_;
}

void ServeJob::run(JobLine& line) {
  line_ = &line;
  cutter_.emplace(frameGap(line.settings()));
  while (!line.stopping()) {
    takePlan();
    std::optional<qint64> due = cutter_->deadline();
    const auto dueAt = [&due](qint64 ns) { due = due ? std::min(*due, ns) : ns; };
    if (!delayed_.empty()) dueAt(delayed_.begin()->first);
    if (const auto held = echo_.deadline()) dueAt(*held * 1'000'000);

    const JobLine::Turn turn = line.wait(due);
    if (!turn.bytes.isEmpty()) take(turn.bytes, turn.readNs);
    if (turn.lost) return line.lose();
    if (!turn.input) {
      // Nothing came up to readNs: what waits may be due. (A thread that is slow to come
      // back here must not take its own delay for silence on the line.)
      const QDateTime now = QDateTime::currentDateTimeUtc();
      const QByteArray held = echo_.release(turn.readNs / 1'000'000);
      for (const CutPiece& piece : cutter_->read(held, turn.readNs)) judge(piece, turn.readNs, now);
      for (const CutPiece& piece : cutter_->idle(turn.readNs)) judge(piece, turn.readNs, now);
    }
    while (!delayed_.empty() && delayed_.begin()->first <= monotonicNs()) {
      const Due due = delayed_.begin()->second;
      delayed_.erase(delayed_.begin());
      send(due.decision, due.readNs, QDateTime::currentDateTimeUtc(), false);
    }
    line.publish();
  }
  delayed_.clear();  // a reply not yet due is never written: the poll it answers is gone
  line.drain();
}

void ServeJob::takePlan() {
  std::shared_ptr<const ServePlan> plan = plan_->takeNewer(planVersion_);
  if (!plan) return;
  if (plan->dropEcho != echo_.enabled()) echo_.setEnabled(plan->dropEcho);
  state_.use(std::move(plan));
}

void ServeJob::take(QByteArray bytes, qint64 readNs) {
  takePlan();  // a change applies from the next poll
  const QDateTime time = QDateTime::currentDateTimeUtc();
  const QByteArray echo = echo_.take(bytes, readNs / 1'000'000);
  if (!echo.isEmpty()) line_->post(received(EventKind::Echo, echo, time));
  if (bytes.isEmpty()) return;
  for (const CutPiece& piece : cutter_->read(bytes, readNs)) judge(piece, readNs, time);
}

void ServeJob::judge(const CutPiece& piece, qint64 readNs, const QDateTime& time) {
  if (!piece.request) {
    qCDebug(lcSerial) << "dropped:" << piece.bytes.toHex(' ');
    line_->post(received(EventKind::Fragment, piece.bytes, time));
    return;
  }
  Decision decision = state_.judge(piece.bytes);
  if (decision.delayMs <= 0 || decision.response.reply.isEmpty())
    return send(decision, readNs, time, true);

  // A delayed reply waits on this thread's clock; requests that come meanwhile are judged
  // as usual, and another slave's reply is not held up.
  Response& r = decision.response;
  const QString delayed = QStringLiteral("reply delayed by %1 ms").arg(decision.delayMs);
  r.note = r.note.isEmpty() ? delayed : r.note + QStringLiteral(", ") + delayed;
  for (TrafficEvent& event : eventsOf(r, time))
    if (event.direction == Direction::Rx) line_->post(std::move(event));
  delayed_.emplace(readNs + qint64(decision.delayMs) * 1'000'000, Due{decision, readNs, time});
}

// Writes the reply before anything is reported: the module is waiting for it.
void ServeJob::send(const Decision& decision, qint64 readNs, const QDateTime& time,
                    bool logRequest) {
  const Response& r = decision.response;
  WriteResult written{0, r.reply.size(), {}};
  written.written = line_->write(r.reply, &written.error);
  const qint64 writtenNs = monotonicNs();
  if (!r.reply.isEmpty())
    qCDebug(lcSerial) << "out:" << r.reply.toHex(' ') << qPrintable(written.error);
  const QByteArray sent = r.reply.first(written.written);
  if (!sent.isEmpty()) echo_.expect(sent, writtenNs / 1'000'000);

  ServeEvent exchange;
  exchange.type = ServeEvent::Type::Exchange;
  Exchange& x = exchange.exchange;
  x.time = time;
  x.request = r.request;
  x.verdict = r.verdict;
  x.slave = r.slave;
  x.sent = sent;
  x.note = r.note;
  x.reason = reasonText(r);
  x.altered = r.altered;
  x.sendError = written.message();
  x.latencyUs = sent.isEmpty() ? -1 : double(writtenNs - readNs) / 1000.0;
  x.value = decision.value;
  line_->post(std::move(exchange));
  for (TrafficEvent& event : eventsOf(r, time)) {
    if (event.direction == Direction::Rx && !logRequest) continue;
    if (event.direction == Direction::Tx) {
      event.bytes = sent;
      if (!written.ok()) event.detail = written.message();
    }
    line_->post(std::move(event));
  }
}

}  // namespace vantor
