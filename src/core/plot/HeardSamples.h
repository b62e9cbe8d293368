#pragma once

// While listening: what the plots are given of the polls heard. A poll a slave of the saved
// configuration makes is its field's ("slave 3 (field 2)"), read through its type and decimal
// places; any other poll is a series of its own, its first register's (or two registers')
// value. A poll the next request followed without a reply went unanswered, as did one answered
// with an exception.

#include "core/listen/HeardFrames.h"
#include "core/monitor/TrafficEvent.h"
#include "core/plot/PlotSample.h"
#include "core/simulator/SlaveTable.h"

#include <optional>
#include <vector>

namespace vantor {

class HeardSamples {
 public:
  explicit HeardSamples(const SlaveTable& configured = {}) : configured_(configured) {}

  // The samples `event` gives, appended to `out`; nothing for what is no poll or its reply.
  void take(const TrafficEvent& event, std::vector<PlotSample>& out);

 private:
  struct Outstanding {
    ReadRequest poll;
    PlotSample sample;  // its series and time
  };
  PlotSample pollSample(const ReadRequest& poll, const QDateTime& time) const;
  PlotSample replied(const TrafficEvent& event) const;

  SlaveTable configured_;
  std::optional<Outstanding> outstanding_;  // the last poll, while no reply followed it
};

}  // namespace vantor
