#pragma once

#include "core/poll/ModulePolls.h"
#include "core/poll/PollCadence.h"
#include "serial/MasterJob.h"

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
// on the thread's own clock (PollCadence), judges what comes back (judgeReply) and reports
// each request, each reply or timeout and one PollResult per poll.
class PollJob : public MasterJob {
 public:
  PollJob(std::shared_ptr<const ModulePolls> polls, PollPace pace);

 protected:
  void begin(qint64 nowNs) override;
  std::optional<qint64> nextAt() const override;
  QByteArray request() const override { return waitedFor().request; }
  void sent(qint64 sentNs, const QString& error) override;
  std::optional<qint64> waitingUntil() const override;
  void replied(const QByteArray& reply, qint64 atNs) override;

 private:
  void end(PollResult result, qint64 atNs);
  const PolledField& waitedFor() const;

  std::shared_ptr<const ModulePolls> polls_;
  PollPace pace_;
  std::optional<PollCadence> cadence_;
};

}  // namespace vantor
