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
};

struct SlaveCounts {
  qint64 requests = 0;  // valid requests addressed to it, and CRC errors bearing its address
  qint64 replies = 0;
  qint64 crcErrors = 0;
  qint64 unanswered = 0;  // valid requests it did not answer
  qint64 fragments = 0;
  qint64 echoes = 0;
};

class BusCounters {
 public:
  // Latencies kept for the percentiles: the newest this many per slave.
  static constexpr std::size_t kLatencySamples = 4096;

  // The slaves being simulated: requests are put down to a slave by its address.
  void setTable(const SlaveTable& table) { table_ = table; }
  void record(const TrafficEvent& event);
  // From the last byte of `slave`'s request read to its reply written.
  void recordLatency(int slave, double microseconds);
  void reset();

  // slave 0: the total.
  const SlaveCounts& counts(int slave) const { return counts_[std::size_t(slave)]; }
  // The measured poll interval of a slave, in milliseconds; nothing before two polls.
  std::optional<Summary> interval(int slave) const;
  // Whether that interval differs from the configured one by more than 20%.
  bool intervalOff(int slave) const;
  int configuredIntervalMs(int slave) const { return table_[std::size_t(slave - 1)].intervalMs; }
  // Median and 99th percentile reply latency, in microseconds; nothing before a reply.
  std::optional<std::pair<double, double>> latency(int slave) const;

  // One line per slave that saw anything, and the total, as vantor-cli prints them.
  QString report() const;

 private:
  int slaveOfAddress(std::uint8_t address) const;

  SlaveTable table_{};
  std::array<SlaveCounts, kSlaveCount + 1> counts_{};
  struct Timing {
    QDateTime lastPoll;
    qint64 count = 0;
    double last = 0, min = 0, max = 0, sum = 0;
  };
  std::array<Timing, kSlaveCount> timing_{};
  std::array<std::vector<double>, kSlaveCount> latency_{};
  std::array<std::size_t, kSlaveCount> latencyNext_{};
};

}  // namespace vantor
