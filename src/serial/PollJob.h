#pragma once

#include "core/modbus/FrameCutter.h"
#include "core/monitor/EchoFilter.h"
#include "core/poll/ModulePolls.h"
#include "core/poll/PollCadence.h"
#include "serial/PortJob.h"

#include <chrono>
#include <memory>
#include <optional>

namespace vantor {

// What polling as the module runs by: the interval between cycles, how long a reply is waited
// for, and how many cycles (none: until stopped). After the last cycle nothing more is sent,
// so that a count stops at exactly that many cycles on the line, however late the owner
// comes to close the port.
struct PollPace {
  std::chrono::milliseconds interval{1000};
  std::chrono::milliseconds timeout{500};
  std::optional<qint64> cycles;
};

// Polls the field devices as the configured module would: sends each active field's request
// on the thread's own clock (PollCadence), cuts what comes back with the frame cutter
// (replyFit), judges it (judgeReply) and reports each request, each reply or timeout and one
// PollResult per poll.
class PollJob : public PortJob {
 public:
  PollJob(std::shared_ptr<const ModulePolls> polls, PollPace pace);
  void run(JobLine& line) override;

 private:
  std::optional<qint64> due() const;
  bool sending() const;  // a request is to go: none waits, and the count is not reached
  void send();
  void take(const std::vector<CutPart>& parts);
  void end(PollResult result, qint64 atNs);
  const PolledField& waitedFor() const;

  std::shared_ptr<const ModulePolls> polls_;
  PollPace pace_;
  JobLine* line_ = nullptr;
  std::optional<FrameCutter> cutter_;
  std::optional<PollCadence> cadence_;
  EchoFilter echo_;
  qint64 sentNs_ = 0;      // the request that waits went to the line
  qint64 lastReadNs_ = 0;  // the last bytes were read: the end of whatever is cut from them
};

}  // namespace vantor
