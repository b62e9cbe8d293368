#pragma once

#include "core/replay/SlaveReplay.h"
#include "serial/AnswerJob.h"

#include <memory>
#include <optional>

namespace vantor {

// Answers as a recording's slaves did (SlaveReplay): each request cut from the line gets the
// reply bytes its recorded occurrence got, as recorded, that occurrence's delay after it was
// read, timed on the thread's clock; or nothing, where the recording has nothing or never heard
// the request. Reports each request and reply as serving does (answered, unanswered, crc-error,
// reply), and one ReplayStep per request once its reply is written or none is to go.
class ReplaySlavesJob : public AnswerJob {
 public:
  ReplaySlavesJob(std::shared_ptr<const Recording> recording, double speed, bool loop);

 protected:
  void refresh() override;
  void answer(const QByteArray& request, qint64 readNs, const QDateTime& time) override;

 private:
  void send(ReplayStep step, qint64 readNs);

  std::shared_ptr<const Recording> recording_;
  double speed_;
  bool loop_;
  std::optional<SlaveReplay> replay_;
};

// The pace of a replay at `speed` on a line at `settings`.
ReplayPace replayPace(double speed, const LineSettings& settings);

}  // namespace vantor
