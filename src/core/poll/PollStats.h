#pragma once

// What polling as the module came to, per field: counts by outcome, late polls, the last
// result and the response times; and the display drawn from the last values.

#include "core/display/DisplayPreview.h"
#include "core/poll/ModulePolls.h"
#include "core/poll/PollResult.h"

#include <QString>

#include <array>
#include <optional>
#include <vector>

namespace vantor {

struct FieldPollStats {
  qint64 polls = 0;
  qint64 replies = 0;  // with a value
  qint64 timeouts = 0;
  qint64 exceptions = 0;
  qint64 checkValueErrors = 0;
  qint64 wrongReplies = 0;
  qint64 late = 0;
  std::optional<PollResult> last;
  std::optional<std::uint32_t> lastValue;  // of the last reply with one
  double maxMs = -1;                       // the slowest response ever; -1 before one
};

class PollStats {
 public:
  // Response times kept for the percentiles: the newest this many per field.
  static constexpr std::size_t kSamples = 4096;

  void take(const PollResult& result);
  void reset() { *this = PollStats(); }

  // Field 1..4.
  const FieldPollStats& field(int field) const { return fields_[std::size_t(field - 1)]; }
  // The `percent` percentile of the field's newest response times, in ms; nothing before one.
  std::optional<double> responseMs(int field, int percent) const;

  // What the field's last poll gives the display: its value, or why there is none.
  FieldReading reading(int field) const;
  // The display as the module would show it from the values polled last.
  DisplayPreview display(const ModulePolls& polls) const;

  // One line per field of `polls` for a terminal:
  // "field 1  slave 7 03 0x0000: 10 polls, 9 replies, 1 timeouts, ..., 0 late; last value
  // 12.5 (last poll: no reply within 500 ms); response p50 8.1 ms, p99 9.0 ms, max 9.3 ms".
  QString summary(const ModulePolls& polls) const;

 private:
  std::array<FieldPollStats, kFieldCount> fields_{};
  std::array<std::vector<double>, kFieldCount> samples_{};
  std::array<std::size_t, kFieldCount> next_{};
};

}  // namespace vantor
