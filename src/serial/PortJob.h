#pragma once

// What a port's thread does with its line, one job at a time (serve, listen, poll), and what
// every job shares: the line reader and writer over the open device, the monotonic clock the
// frame cutter cuts by, and the events that go to the owner in batches. A job decides nothing
// of its own: it hands what it reads to the core's pure functions and writes what they say.

#include "core/modbus/LineSettings.h"
#include "core/monitor/TrafficEvent.h"
#include "core/poll/PollResult.h"
#include "core/replay/MasterReplay.h"
#include "core/simulator/Serving.h"
#include "serial/LineIo.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <functional>
#include <optional>
#include <vector>

namespace vantor {

// Replaying a recording: one request and what came of it.
struct ReplayStep {
  QDateTime time;  // the request read (as the slaves) or sent (as the master), UTC
  QByteArray request;
  qsizetype line = 0;  // the recorded request's line in the recording; 0: never heard
  // As the slaves, the reply written; as the master, what came back. Empty: nothing.
  QByteArray reply;
  // As the slaves: the recorded occurrence that answered (from 1; 0 for a request the
  // recording never heard), of how many the recording holds; why nothing was sent; why not
  // all of the reply left.
  int occurrence = 0;
  int occurrences = 0;
  QString reason;
  QString sendError;
  // As the slaves, from the request read to the reply written; as the master, from the
  // request sent to the reply's last byte read. -1 without a reply.
  double delayMs = -1;
  ReplyComparison comparison;  // as the master: the reply against the recorded one
};

// Something a port's thread did, in the order it happened.
struct ServeEvent {
  enum class Type {
    Traffic,   // a row of the bus monitor's log
    Exchange,  // serving: a judged request and what went out for it
    Polled,    // polling as the module: what one poll came to
    Replayed,  // replaying a recording: what one request came to
    Finished,  // the job did all it had to (a replay as the master); the port stays open
    Closed,    // the port was lost and is closed; the last event of a connection
  };
  Type type = Type::Traffic;
  TrafficEvent traffic;
  Exchange exchange;
  PollResult poll;
  ReplayStep replay;
  QString reason;  // Closed: what happened to the device
};

// Now on the monotonic clock every job times the line by, in nanoseconds.
qint64 monotonicNs();

// The open line as a job sees it.
class JobLine {
 public:
  using Publish = std::function<void(std::vector<ServeEvent>& events)>;

  JobLine(LineIo& io, qintptr handle, const LineSettings& settings, const std::atomic<bool>& stop,
          QString describe, Publish publish);

  const LineSettings& settings() const { return settings_; }
  bool stopping() const { return stop_; }

  // What one wait came to.
  struct Turn {
    qint64 readNs = 0;   // when the thread woke, before anything else: the bytes' time
    QByteArray bytes;    // read this turn
    bool input = false;  // bytes came (none of them may be left once a job took its share)
    bool lost = false;   // the device went away; report it with lose() once the bytes are in
  };
  // Waits until bytes come, the device goes, a stop, or `dueNs` (none: no limit), and reads
  // what came. What the driver had no room for goes out meanwhile.
  Turn wait(std::optional<qint64> dueNs);

  // Hands `bytes` to the line behind whatever still waits to go: how many were taken (those
  // the driver had no room for go out as soon as it has), 0 with `error` when the line failed.
  qsizetype write(const QByteArray& bytes, QString* error);

  void post(ServeEvent event) { events_.push_back(std::move(event)); }
  void post(TrafficEvent event);
  // Hands this turn's events to the owner.
  void publish();
  // The device went away: says so as the last event.
  void lose();
  // At the end of a job that writes: what was written gets a moment to leave.
  void drain();

 private:
  void flushUnsent();

  LineIo& io_;
  qintptr handle_;
  LineSettings settings_;
  const std::atomic<bool>& stop_;
  QString describe_;
  Publish publish_;
  QByteArray unsent_;  // bytes the driver had no room for yet
  std::vector<ServeEvent> events_;
};

// One job of a port's thread: runs on the line until it is told to stop or the device goes.
class PortJob {
 public:
  virtual ~PortJob() = default;
  virtual void run(JobLine& line) = 0;
};

}  // namespace vantor
