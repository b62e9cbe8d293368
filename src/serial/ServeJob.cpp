#include "serial/ServeJob.h"

namespace vantor {

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

void ServeJob::refresh() {
  std::shared_ptr<const ServePlan> plan = plan_->takeNewer(planVersion_);
  if (!plan) return;
  if (plan->dropEcho != echo().enabled()) echo().setEnabled(plan->dropEcho);
  state_.use(std::move(plan));
}

void ServeJob::answer(const QByteArray& request, qint64 readNs, const QDateTime& time) {
  Decision decision = state_.judge(request);
  if (decision.delayMs <= 0 || decision.response.reply.isEmpty())
    return send(decision, readNs, time, true);

  // A delayed reply waits on this thread's clock; requests that come meanwhile are judged
  // as usual, and another slave's reply is not held up.
  Response& r = decision.response;
  const QString delayed = QStringLiteral("reply delayed by %1 ms").arg(decision.delayMs);
  r.note = r.note.isEmpty() ? delayed : r.note + QStringLiteral(", ") + delayed;
  for (TrafficEvent& event : eventsOf(r, time))
    if (event.direction == Direction::Rx) line().post(std::move(event));
  later(readNs + qint64(decision.delayMs) * 1'000'000, [this, decision, readNs] {
    send(decision, readNs, QDateTime::currentDateTimeUtc(), false);
  });
}

// Writes the reply before anything is reported: the module is waiting for it.
void ServeJob::send(const Decision& decision, qint64 readNs, const QDateTime& time,
                    bool logRequest) {
  const Response& r = decision.response;
  const Written w = write(r.reply);
  const QByteArray& sent = w.sent;
  const WriteResult& written = w.result;
  const qint64 writtenNs = w.atNs;

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
  line().post(std::move(exchange));
  for (TrafficEvent& event : eventsOf(r, time)) {
    if (event.direction == Direction::Rx && !logRequest) continue;
    if (event.direction == Direction::Tx) {
      event.bytes = sent;
      if (!written.ok()) event.detail = written.message();
    }
    line().post(std::move(event));
  }
}

}  // namespace vantor
