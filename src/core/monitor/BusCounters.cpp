#include "core/monitor/BusCounters.h"

#include <algorithm>
#include <cmath>

namespace vantor {

QString latencyText(double microseconds, const QString& micro) {
  if (microseconds < 10000) return QStringLiteral("%1 %2").arg(microseconds, 0, 'f', 0).arg(micro);
  return QStringLiteral("%1 ms").arg(microseconds / 1000, 0, 'f', 1);
}

int BusCounters::slaveOfAddress(std::uint8_t address) const {
  for (int i = 0; i < kSlaveCount; ++i)
    if (table_[std::size_t(i)].enabled && table_[std::size_t(i)].address == address) return i + 1;
  return 0;
}

void BusCounters::record(const TrafficEvent& e) {
  int slave = e.about;
  // A poll answered for no slave (every poll answered) counts in the total alone, whatever
  // its address.
  if (slave == 0 && e.direction == Direction::Rx && !e.bytes.isEmpty() &&
      e.kind != EventKind::Fragment && e.kind != EventKind::Echo && e.kind != EventKind::Answered)
    slave = slaveOfAddress(std::uint8_t(e.bytes.at(0)));
  const auto count = [&](qint64 SlaveCounts::*field) {
    ++(counts_[0].*field);
    if (slave > 0) ++(counts_[std::size_t(slave)].*field);
  };
  switch (e.kind) {
    case EventKind::Answered:
    case EventKind::Unanswered:
    case EventKind::Request:
    case EventKind::Poll:
      count(&SlaveCounts::requests);
      if (e.kind == EventKind::Unanswered) count(&SlaveCounts::unanswered);
      break;
    // A poll of ours that got nothing it could use.
    case EventKind::PollTimeout:
    case EventKind::PollError:
      if (e.about > 0) count(&SlaveCounts::unanswered);
      break;
    case EventKind::CrcError:
      count(&SlaveCounts::requests);
      count(&SlaveCounts::crcErrors);
      break;
    case EventKind::Fragment:
      count(&SlaveCounts::fragments);
      break;
    case EventKind::Echo:
      count(&SlaveCounts::echoes);
      break;
    case EventKind::Reply:
    case EventKind::Response:
    case EventKind::Exception:
    case EventKind::PollReply:
    case EventKind::PollException:
      count(isException(e) ? &SlaveCounts::exceptions : &SlaveCounts::replies);
      break;
    case EventKind::ConfigFrame:
      break;
  }
  if (slave > 0 && (e.kind == EventKind::Answered || e.kind == EventKind::Unanswered ||
                    e.kind == EventKind::Poll))
    timePoll(slave, e.time);
}

// The module's rhythm: the time between valid polls of the same slave. A gap of many
// configured intervals is a pause (the master stopped), not an interval.
void BusCounters::timePoll(int slave, const QDateTime& time) {
  Timing& t = timing_[std::size_t(slave - 1)];
  if (t.lastPoll.isValid()) {
    const double ms = double(t.lastPoll.msecsTo(time));
    const int configured = configuredIntervalMs(slave);
    if (configured > 0 && ms > double(kPauseIntervals) * configured) {
      ++t.pauses;
    } else {
      t.last = ms;
      keepNewest(t.recent, t.next, kIntervalSamples, ms);
    }
  }
  t.lastPoll = time;
}

void BusCounters::keepNewest(std::vector<double>& samples, std::size_t& next, std::size_t most,
                             double sample) {
  if (samples.size() < most) {
    samples.push_back(sample);
  } else {
    samples[next] = sample;
    next = (next + 1) % most;
  }
}

void BusCounters::recordLatency(int slave, double microseconds) {
  if (slave < 1 || slave > kSlaveCount) return;
  keepNewest(latency_[std::size_t(slave - 1)], latencyNext_[std::size_t(slave - 1)],
             kLatencySamples, microseconds);
}

void BusCounters::reset() {
  counts_ = {};
  timing_ = {};
  for (auto& samples : latency_) samples.clear();
  latencyNext_ = {};
}

std::optional<Summary> BusCounters::interval(int slave) const {
  const Timing& t = timing_[std::size_t(slave - 1)];
  if (t.recent.empty()) return std::nullopt;
  std::vector<double> sorted = t.recent;
  std::sort(sorted.begin(), sorted.end());
  const std::size_t n = sorted.size();
  double sum = 0;
  for (const double ms : sorted) sum += ms;
  const double median = n % 2 == 1 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
  return Summary{t.last, sorted.front(), sum / double(n), sorted.back(), median};
}

bool BusCounters::intervalOff(int slave) const {
  const auto measured = interval(slave);
  const int configured = configuredIntervalMs(slave);
  return measured && configured > 0 && std::abs(measured->median - configured) > 0.2 * configured;
}

std::optional<std::pair<double, double>> BusCounters::latency(int slave) const {
  std::vector<double> samples = latency_[std::size_t(slave - 1)];
  if (samples.empty()) return std::nullopt;
  const auto at = [&](std::size_t percent) {
    const std::size_t k = std::min(samples.size() - 1, samples.size() * percent / 100);
    std::nth_element(samples.begin(), samples.begin() + std::ptrdiff_t(k), samples.end());
    return samples[k];
  };
  const double median = at(50);
  return std::pair{median, at(99)};
}

QString BusCounters::report() const {
  QStringList lines;
  const auto line = [&](const QString& who, const SlaveCounts& c, const QString& more) {
    lines << QStringLiteral(
                 "%1: %2 requests, %3 replies, %4 CRC errors, %5 unanswered, "
                 "%6 fragments, %7 exceptions%8")
                 .arg(who)
                 .arg(c.requests)
                 .arg(c.replies)
                 .arg(c.crcErrors)
                 .arg(c.unanswered)
                 .arg(c.fragments)
                 .arg(c.exceptions)
                 .arg(more);
  };
  for (int s = 1; s <= kSlaveCount; ++s) {
    const SlaveCounts& c = counts(s);
    if (c.requests == 0 && c.replies == 0 && c.exceptions == 0) continue;
    QString more;
    if (const auto i = interval(s))
      more += QStringLiteral("; poll interval %1 ms mean (min %2, max %3; configured %4)%5")
                  .arg(i->mean, 0, 'f', 1)
                  .arg(i->min, 0, 'f', 0)
                  .arg(i->max, 0, 'f', 0)
                  .arg(configuredIntervalMs(s))
                  .arg(intervalOff(s) ? QStringLiteral(", more than 20% off") : QString()) +
              QStringLiteral("; median %1 ms").arg(i->median, 0, 'f', 0);
    if (interval(s) || pauses(s) > 0) more += QStringLiteral("; %1 pauses").arg(pauses(s));
    if (const auto l = latency(s))
      more += QStringLiteral("; reply latency %1 median, %2 p99")
                  .arg(latencyText(l->first), latencyText(l->second));
    line(table_[std::size_t(s - 1)].enabled ? slaveName(table_[std::size_t(s - 1)].address, s)
                                            : QStringLiteral("field %1").arg(s),
         c, more);
  }
  line(QStringLiteral("total"), counts(0), {});
  return lines.join(u'\n');
}

}  // namespace vantor
