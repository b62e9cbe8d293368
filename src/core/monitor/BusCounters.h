#pragma once

// What the bus monitor counts, per simulated slave and in total, and how the module's polls
// are timed against the interval it was configured with.

#include "core/monitor/TrafficEvent.h"
#include "core/simulator/SlaveTable.h"

#include <QDateTime>
#include <QString>

#include <array>
#include <optional>
#include <vector>

namespace vantor {

struct Summary {
  double last = 0;
  double min = 0;
  double mean = 0;
  double max = 0;
  double median = 0;
};

struct SlaveCounts {
  qint64 requests = 0;  // valid requests addressed to it, and CRC errors bearing its address
  qint64 replies = 0;
  qint64 crcErrors = 0;
  qint64 unanswered = 0;  // valid requests it did not answer
  qint64 fragments = 0;
  qint64 echoes = 0;
  qint64 exceptions = 0;  // exception replies it sent; these are not counted as replies
};

// A reply latency as people read it: microseconds up to 10 ms ("26 us"), milliseconds above
// ("200.1 ms"), so that a delayed reply does not read as a six-digit count. `micro` is the
// unit's sign: "us" for a terminal, "µs" for the window.
QString latencyText(double microseconds, const QString& micro = QStringLiteral("us"));

class BusCounters {
 public:
  // Latencies kept for the percentiles: the newest this many per slave.
  static constexpr std::size_t kLatencySamples = 4096;
  // Poll intervals the timing is measured over: the newest this many per slave.
  static constexpr std::size_t kIntervalSamples = 100;
  // A gap between two polls of a slave longer than this many configured intervals is a pause
  // of the module (or of the line), not an interval.
  static constexpr int kPauseIntervals = 5;

  // The slaves being simulated: requests are put down to a slave by its address.
  void setTable(const SlaveTable& table) { table_ = table; }
  void record(const TrafficEvent& event);
  // From the last byte of `slave`'s request read to its reply written.
  void recordLatency(int slave, double microseconds);
  void reset();

  // slave 0: the total.
  const SlaveCounts& counts(int slave) const { return counts_[std::size_t(slave)]; }
  // The measured poll interval of a slave over its newest intervals, in milliseconds; nothing
  // before two polls.
  std::optional<Summary> interval(int slave) const;
  // Whether the median of those intervals differs from the configured one by more than 20%.
  bool intervalOff(int slave) const;
  // The gaps between two polls of a slave that were pauses rather than intervals.
  qint64 pauses(int slave) const { return timing_[std::size_t(slave - 1)].pauses; }
  int configuredIntervalMs(int slave) const { return table_[std::size_t(slave - 1)].intervalMs; }
  // Median and 99th percentile reply latency, in microseconds; nothing before a reply.
  std::optional<std::pair<double, double>> latency(int slave) const;

  // One line per slave that saw anything, and the total, as vantor-cli prints them.
  QString report() const;

 private:
  int slaveOfAddress(std::uint8_t address) const;
  void timePoll(int slave, const QDateTime& time);
  // Adds `sample` to a ring of at most `most`, the oldest overwritten first (at `next`).
  static void keepNewest(std::vector<double>& samples, std::size_t& next, std::size_t most,
                         double sample);

  SlaveTable table_{};
  std::array<SlaveCounts, kSlaveCount + 1> counts_{};
  struct Timing {
    QDateTime lastPoll;
    std::vector<double> recent;  // the newest intervals, oldest overwritten first
    std::size_t next = 0;
    double last = 0;
    qint64 pauses = 0;
  };
  std::array<Timing, kSlaveCount> timing_{};
  std::array<std::vector<double>, kSlaveCount> latency_{};
  std::array<std::size_t, kSlaveCount> latencyNext_{};
};

}  // namespace vantor
