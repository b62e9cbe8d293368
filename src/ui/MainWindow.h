#pragma once

#include "core/simulator/Faults.h"
#include "core/simulator/Sweep.h"
#include "ui/PortSession.h"

#include <QString>
#include <QWidget>

#include <memory>
#include <optional>

class QLabel;
class QLayout;
class QPushButton;
class QScrollArea;
class QSplitter;

namespace vantor {

class AnswerAllBox;
class BusMonitor;
class ByteDisplays;
class Config1602Window;
class Config2004Window;
class Dialogs;
class DisplayPanel;
class IniFile;
class IniSnapshot;
class LinePanel;
class PlotsPanel;
class PollFieldsBox;
class PollPlanBox;
class SimulatorPanel;
class StatusLine;

// The main window: port and line settings, module model, Connect, Listen, Poll as module,
// Configure LCD, Find line settings, the simulator of the slaves a configured module polls, the
// module's display and the bus monitor. It lays its parts out and keeps them in step with what the
// port does.
class MainWindow : public QWidget {
  Q_OBJECT

 public:
  MainWindow(IniFile& ini, Dialogs& dialogs, QWidget* parent = nullptr);
  ~MainWindow() override;

  // Whether the simulator is connected: its port open and served.
  bool isConnected() const;
  // Whether the port is open to listen only: nothing is written to it.
  bool isListening() const;
  // The configuration windows, once Configure LCD has created them (else null).
  Config1602Window* config1602Window() const { return config1602Window_.get(); }
  Config2004Window* config2004Window() const { return config2004Window_.get(); }
  BusMonitor& monitor() { return *monitor_; }
  // Where serial devices are looked for (/dev unless a test gives a folder of its own).
  void setDeviceFolder(const QString& folder);
  // Bench controls of slave 1..4, as its Faults and sweeps dialog sets them.
  void setFault(int slave, const Fault& fault);
  void setSweep(int slave, const std::optional<Sweep>& sweep);
  // The bench scenario at `path` (named on the command line, dropped on the window): set now
  // while connected, else at the next Connect.
  void openScenario(const QString& path);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void buildLayout();
  void connectParts();
  QLayout* buildButtons();
  void orderTabs();
  void restoreGeometry(const IniSnapshot& file);
  void connectClicked();
  void listenClicked();
  void configureLcdClicked();
  void findSettingsClicked();
  void showState(PortSession::State state);
  // The display of the module chosen, while nothing is served.
  void showChosenModule();
  // In the warning colour when it `warns`, in the ordinary one when it only informs (a
  // configuration not saved yet); `details` (the file and keys) show on hovering over it.
  void showNotice(const QString& text, bool warns = true, const QString& details = {});

  IniFile& ini_;
  Dialogs& dialogs_;
  // Top-level windows of their own (no owner), created on first use and kept for the run.
  std::unique_ptr<Config1602Window> config1602Window_;
  std::unique_ptr<Config2004Window> config2004Window_;

  LinePanel* line_ = nullptr;
  SimulatorPanel* simulator_ = nullptr;
  DisplayPanel* display_ = nullptr;
  PollPlanBox* pollPlan_ = nullptr;
  PollFieldsBox* pollFields_ = nullptr;
  AnswerAllBox* answerAll_ = nullptr;
  ByteDisplays* bytes_ = nullptr;
  BusMonitor* monitor_ = nullptr;
  PlotsPanel* plots_ = nullptr;
  StatusLine* status_ = nullptr;
  PortSession* session_ = nullptr;
  QPushButton* connectButton_ = nullptr;
  QPushButton* configureButton_ = nullptr;
  QPushButton* listenButton_ = nullptr;
  QPushButton* findButton_ = nullptr;
  QPushButton* pollButton_ = nullptr;
  QPushButton* replayButton_ = nullptr;
  QLabel* notice_ = nullptr;
  QScrollArea* controlsArea_ = nullptr;
  QSplitter* split_ = nullptr;
  // The scan of line settings is under way: the port is its dialog's.
  bool scanning_ = false;
};

}  // namespace vantor
