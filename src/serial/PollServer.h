#pragma once

#include "core/modbus/LineSettings.h"
#include "core/monitor/TrafficEvent.h"
#include "core/simulator/Serving.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <memory>
#include <optional>
#include <vector>

namespace vantor {

// Something the serving thread did, in the order it happened.
struct ServeEvent {
  enum class Type {
    Traffic,   // a row of the bus monitor's log
    Exchange,  // a judged request and what went out for it
    Closed,    // the port was lost and is closed; the last event of a connection
  };
  Type type = Type::Traffic;
  TrafficEvent traffic;
  Exchange exchange;
  QString reason;  // Closed: what happened to the device
};

// The line to serve: the device, how to name it, and its settings.
struct ServeLine {
  int commPort = 0;  // names the port in messages ("Port 2 (/dev/ttyUSB0)")
  QString device;
  bool byPath = false;  // the device was named by path, not by a port number
  std::optional<LineSettings> settings;
  // Only hear the line: nothing is ever written, and what is heard is told apart as requests,
  // responses, exception replies and configuration frames instead of being judged.
  bool listenOnly = false;
};

struct OpenResult {
  bool ok = false;
  QString error;   // why it did not open: a sentence naming the port and the reason
  QString notice;  // a setting the device did not take; empty when it took them all
  QString deviceName;
};

// Serves the simulated slaves on an open port, from a thread of its own per open port: the
// thread reads the port, cuts frames by the times their bytes were read, judges them, applies
// faults and delays on its own clock and writes the replies, so that nothing the window (or a
// terminal, a log file) does can hold up a reply. What it serves from arrives as a whole
// ServePlan; what happened comes back as events, delivered to the owner's thread in batches.
// One owner per port, as ever: the thread holds the device from open() to close().
class PollServer : public QObject {
  Q_OBJECT

 public:
  explicit PollServer(QObject* parent = nullptr);
  ~PollServer() override;

  // Opens `line` on a new serving thread and serves `plan` from the first byte.
  OpenResult open(const ServeLine& line, std::shared_ptr<const ServePlan> plan);
  // Opens `line` to listen only, at exactly its settings: a setting the device does not take
  // would have it heard at others, so then it closes again. Why it does not listen (the
  // failed open's sentence, or what the device did not take); empty when it listens.
  QString listenExactly(ServeLine line);
  bool isOpen() const { return running_; }
  // Stops serving: delayed replies not yet sent are dropped (nothing is written after this),
  // what was written drains, and the device is released. The events that happened before are
  // delivered first.
  void close();
  // The plan for the polls to come.
  void setPlan(std::shared_ptr<const ServePlan> plan);

  // Events come at most this often (the first after a quiet spell at once): a person reads a
  // few updates a second, and a flood of polls costs the owner one wake-up per batch.
  void setBatchInterval(std::chrono::milliseconds interval) { interval_ = interval; }

 signals:
  void events(const std::vector<vantor::ServeEvent>& batch);

 private:
  bool stopThread();  // false when nothing was running
  struct Shared;
  class Thread;

  void deliverSoon();
  void deliver();

  std::shared_ptr<Shared> shared_;
  std::unique_ptr<Thread> thread_;
  bool running_ = false;
  bool delivering_ = false;
  std::chrono::milliseconds interval_{100};
  QElapsedTimer sinceDelivery_;
  QTimer batch_;
};

}  // namespace vantor
