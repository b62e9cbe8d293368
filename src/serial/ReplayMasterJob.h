#pragma once

#include "core/replay/MasterReplay.h"
#include "serial/MasterJob.h"

#include <chrono>
#include <memory>
#include <vector>

namespace vantor {

// How a replay as the master runs.
struct MasterReplayPace {
  double speed = 1.0;  // above 0: at 2, the recorded spacing lasts half as long
  bool loop = false;   // after the last request, start over (until stopped)
  // A reply is waited for until the next request is due, and at least this long.
  std::chrono::milliseconds timeout{500};
};

// Polls as a recording's master did: its requests in order, each at its recorded time from the
// first (masterSchedule), each reply compared with the recorded one (compareReply). A request
// goes at its time, or, when the wait for the reply before it ran over, as soon as the line is
// free, and the ones after keep their recorded spacing from it. Reports each request (kind
// poll) and what came of it (poll-reply, poll-exception, poll-error or poll-timeout), a
// ReplayStep per request, and Finished once the last reply is in (without loop).
class ReplayMasterJob : public MasterJob {
 public:
  // `fields`: a saved configuration's slaves, to name the field each request polls and read the
  // values of replies that differ.
  ReplayMasterJob(std::shared_ptr<const Recording> recording, MasterReplayPace pace,
                  SlaveTable fields);

 protected:
  void begin(qint64 nowNs) override;
  std::optional<qint64> nextAt() const override;
  QByteArray request() const override { return current().request; }
  void sent(qint64 sentNs, const QString& error) override;
  std::optional<qint64> waitingUntil() const override;
  void replied(const QByteArray& reply, qint64 atNs) override;
  bool finished() const override { return done_; }

 private:
  const RecordedExchange& current() const { return recording_->exchanges[index_]; }
  qint64 scheduledAt(std::size_t index) const;

  std::shared_ptr<const Recording> recording_;
  MasterReplayPace pace_;
  SlaveTable fields_;
  std::vector<std::chrono::nanoseconds> schedule_;
  qint64 roundNs_ = 0;   // from one round's first request to the next round's, looping
  qint64 startNs_ = 0;   // this round's first request is due
  qint64 slipNs_ = 0;    // how much later than recorded the requests go, after a long wait
  qint64 freeAtNs_ = 0;  // the line is free for the next request: the last wait's end and a gap
  qint64 gapNs_ = 0;
  std::size_t index_ = 0;  // the request that goes next, or waits
  std::optional<qint64> waitingUntil_;
  ReplayStep step_;  // of the request that waits
  bool done_ = false;
};

}  // namespace vantor
