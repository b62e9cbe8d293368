#pragma once

#include "core/modbus/LineSettings.h"
#include "core/plot/HeardSamples.h"
#include "core/replay/MasterReplay.h"
#include "core/simulator/Serving.h"
#include "core/simulator/SlaveTable.h"

#include <QObject>
#include <QString>

#include <optional>
#include <vector>

class QWidget;

namespace vantor {

class AnswerAllBox;
class BusMonitor;
class ByteDisplays;
class Dialogs;
class DisplayPanel;
class IniFile;
class LinePanel;
class PollFieldsBox;
class PollPlanBox;
class PlotsPanel;
class PortThread;
class SimulatorPanel;
struct PollResult;
struct ReplayChoice;
struct ReplayStep;
struct ServeEvent;
struct ServeLine;

// What the main window does with its port, one thing at a time: serve the simulated slaves,
// listen, poll as the module, replay a recording, or nothing. The port is served on a thread of its
// own (PortThread); this takes its events to the parts of the window that show them, and hands it
// what the slaves answer with whenever the window changes it.
class PortSession : public QObject {
  Q_OBJECT

 public:
  enum class State { Closed, Serving, Listening, Polling, Replaying };

  // The parts of the window the session reads its choices from and shows what happened in.
  struct Views {
    LinePanel* line = nullptr;
    SimulatorPanel* simulator = nullptr;
    DisplayPanel* display = nullptr;
    PollPlanBox* pollPlan = nullptr;
    PollFieldsBox* pollFields = nullptr;
    BusMonitor* monitor = nullptr;
    AnswerAllBox* answerAll = nullptr;
    ByteDisplays* bytes = nullptr;
    PlotsPanel* plots = nullptr;
  };

  PortSession(IniFile& ini, Dialogs& dialogs, const Views& views, QWidget* window);

  State state() const { return state_; }
  // Opens the chosen port and serves the chosen module's saved configuration; false (with
  // "COMM PORT ERROR!" shown) when the port does not open.
  bool serve();
  // Opens the chosen port to hear it, never writing to it; false when it does not open.
  bool listen();
  // Opens the chosen port and polls the field devices as the chosen module would, from its
  // saved configuration; false, said, when there is nothing to poll or the port does not open.
  bool poll();
  // Opens the chosen port and plays `choice`'s recording back as its slaves or its master;
  // false, said, when the port does not open.
  bool replay(const ReplayChoice& choice);
  // Replaying as the master: the meters' replies are compared, not served, so the serving
  // counters stand aside.
  bool replaysAsMaster() const { return state_ == State::Replaying && replayAsMaster_; }
  // Closes the port, whatever it was doing.
  void close();
  // The line on port number `port` at `settings`.
  ServeLine lineAt(int port, const std::optional<LineSettings>& settings) const;
  // What the slaves answer with changed in the window.
  void updatePlan();
  // The plots' one way in, whatever the port is doing: nothing is kept while the log is paused.
  void feedPlots(const std::vector<PlotSample>& samples);
  void takeExchange(const Exchange& exchange, std::vector<PlotSample>& plotted);
  void plotPoll(const PollResult& result, std::vector<PlotSample>& plotted) const;
  void takeReplayed(const ReplayStep& step, std::vector<TrafficEvent>& heard);

 signals:
  void stateChanged(vantor::PortSession::State state);
  // What the user should know, in the warning colour when `warns`; `details` on hovering.
  void notice(const QString& text, bool warns, const QString& details);
  // The device the port opened, and the line it runs at.
  void opened(const QString& device, const vantor::LineSettings& settings);

 private:
  ServePlan plan() const;
  void setState(State state);
  void showServed(const SlaveTableLoad& loaded, const QString& openNotice);
  void onEvents(const std::vector<ServeEvent>& batch);
  void onPortLost(const QString& reason);

  IniFile& ini_;
  Dialogs& dialogs_;
  Views views_;
  QWidget* window_;
  PortThread* server_ = nullptr;
  State state_ = State::Closed;
  // What the notice says while listening, before anything heard adds to it.
  struct {
    QString text;
    bool warns = false;
  } listening_;
  bool replayAsMaster_ = false;
  ReplayTally tally_;    // replaying as the master: the replies compared so far
  SlaveTable served_{};  // the slaves of the configuration served, or the fields polled
  HeardSamples heard_;   // what the plots are given of the polls heard
};

}  // namespace vantor
