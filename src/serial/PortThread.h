#pragma once

#include "core/modbus/LineSettings.h"
#include "core/poll/ModulePolls.h"
#include "core/simulator/Serving.h"
#include "serial/PollJob.h"
#include "serial/PortJob.h"
#include "serial/ReplayMasterJob.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <memory>
#include <optional>
#include <vector>

namespace vantor {

class ServePlanSlot;

// The line to open: the device, how to name it, and its settings.
struct ServeLine {
  int commPort = 0;  // names the port in messages ("Port 2 (/dev/ttyUSB0)")
  QString device;
  bool byPath = false;  // the device was named by path, not by a port number
  std::optional<LineSettings> settings;
};

struct OpenResult {
  bool ok = false;
  QString error;   // why it did not open: a sentence naming the port and the reason
  QString notice;  // a setting the device did not take; empty when it took them all
  QString deviceName;
};

// An open port's own thread, doing one job on the line from open to close: serving the
// simulated slaves, listening, or polling as the module. The thread reads the port, cuts
// frames by the times their bytes were read, keeps its own timers (frame gap, delays, the
// polling interval, timeouts) and writes, so that nothing the window (or a terminal, a log
// file) does can hold up a reply or a poll. What it works from arrives whole (a ServePlan, the
// ModulePolls); what happened comes back as events, delivered to the owner's thread in
// batches. One owner per port, as ever: the thread holds the device from opening to close().
class PortThread : public QObject {
  Q_OBJECT

 public:
  explicit PortThread(QObject* parent = nullptr);
  ~PortThread() override;

  // Opens `line` and serves `plan` from the first byte.
  OpenResult open(const ServeLine& line, std::shared_ptr<const ServePlan> plan);
  // Opens `line` to hear it, writing nothing.
  OpenResult listen(const ServeLine& line);
  // Opens `line` to listen only, at exactly its settings: a setting the device does not take
  // would have it heard at others, so then it closes again. Why it does not listen (the
  // failed open's sentence, or what the device did not take); empty when it listens.
  QString listenExactly(const ServeLine& line);
  // Opens `line` and polls as the module: `polls` every `pace.interval`, each reply waited
  // for up to `pace.timeout`, for `pace.cycles` cycles or until closed. Each poll comes back as a
  // Traffic event for the request sent (kind Poll), one for what came of it (PollReply,
  // PollException, PollError or PollTimeout), and a Polled event with its PollResult.
  OpenResult poll(const ServeLine& line, std::shared_ptr<const ModulePolls> polls, PollPace pace);
  // Opens `line` and answers as the slaves of `recording` did, each recorded delay played at
  // `speed` (SlaveReplay; `loop`: a request starts over after its last occurrence). Each
  // request comes back as a Traffic event (answered, unanswered or crc-error, the reason in its
  // detail), its reply as another (reply), and a Replayed event with its ReplayStep once the
  // reply is written or none is to go.
  OpenResult replaySlaves(const ServeLine& line, std::shared_ptr<const Recording> recording,
                          double speed, bool loop);
  // Opens `line` and polls as the master of `recording` did (ReplayMasterJob): each request
  // comes back as a Traffic event (poll), what came of it as another (poll-reply,
  // poll-exception, poll-error or poll-timeout, the difference in its detail), and a Replayed
  // event with its ReplayStep (the reply compared with the recorded one); then, without loop,
  // Finished. The port stays open until close().
  OpenResult replayMaster(const ServeLine& line, std::shared_ptr<const Recording> recording,
                          MasterReplayPace pace, const SlaveTable& fields);
  bool isOpen() const { return running_; }
  // Stops the job: delayed replies not yet sent are dropped and a poll waiting for its reply is
  // given up (nothing is written after this), what was written drains, and the device is
  // released. The events that happened before are delivered first.
  void close();
  // Serving: the plan for the polls to come.
  void setPlan(std::shared_ptr<const ServePlan> plan);

  // Events come at most this often (the first after a quiet spell at once): a person reads a
  // few updates a second, and a flood of polls costs the owner one wake-up per batch.
  void setBatchInterval(std::chrono::milliseconds interval) { interval_ = interval; }

 signals:
  void events(const std::vector<vantor::ServeEvent>& batch);

 private:
  OpenResult start(const ServeLine& line, std::unique_ptr<PortJob> job);
  bool stopThread();  // false when nothing was running
  struct Shared;
  class Thread;

  void deliverSoon();
  void deliver();

  std::shared_ptr<Shared> shared_;
  std::unique_ptr<Thread> thread_;
  std::shared_ptr<ServePlanSlot> plan_;  // while serving
  bool running_ = false;
  bool delivering_ = false;
  std::chrono::milliseconds interval_{100};
  QElapsedTimer sinceDelivery_;
  QTimer batch_;
};

}  // namespace vantor
