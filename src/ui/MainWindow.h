#pragma once

#include "core/config/Config1602.h"
#include "core/config/Config2004.h"
#include "core/display/DisplayPreview.h"
#include "core/listen/PollPlan.h"
#include "core/modbus/LineSettings.h"
#include "core/simulator/Faults.h"
#include "core/simulator/Responder.h"
#include "core/simulator/Serving.h"
#include "core/simulator/SlaveTable.h"
#include "core/simulator/Sweep.h"
#include "core/simulator/TypedValue.h"

#include <QString>
#include <QWidget>

#include <array>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class QComboBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLayout;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QKeyEvent;
class QScrollArea;
class QSplitter;

namespace vantor {

class AnswerAllBox;
class BusMonitor;
class LcdView;
class Dialogs;
class PollServer;
class PollPlanTable;
struct ServeEvent;
struct ServeLine;
class Config1602Window;
class Config2004Window;
class IniFile;
class IniSnapshot;
struct IniEntry;

// The main window: port and line settings, module model, Connect, Configure LCD, and the
// simulator of the slaves a configured module polls.
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

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildLayout();
  void orderTabs();
  void makeConnectTheDefault();
  void restoreGeometry(const IniSnapshot& file);
  QLayout* buildCommSettings();
  QLayout* buildButtons();
  QGroupBox* buildSimulator();
  QWidget* buildSlaveQuadrant(int slave);
  void buildRegisterRows(int slave, QGridLayout* grid);
  void buildTypedValueRow(int slave, QGridLayout* grid);
  void buildBenchRow(int slave, QGridLayout* grid);
  QLayout* buildByteDisplays();
  QLabel* buildNotice();
  void load();
  // Listening (Listening.cpp): Listen, the poll plan, Find line settings.
  QGroupBox* buildPollPlan();
  void listenClicked();
  void setListening(bool listening);
  void showHeard(const std::vector<TrafficEvent>& heard);
  void findSettingsClicked();
  ServeLine lineAt(int port, const std::optional<LineSettings>& settings) const;
  // The port and line settings chosen now, remembered for the exit (a failed open too), and
  // the slaves the chosen module's saved configuration polls.
  SlaveTableLoad rememberChoiceAndLoad();
  void connectClicked();
  void configureLcdClicked();
  // The number chosen in the port list; 0 while none is.
  int chosenPort() const;
  ServePlan planAfter(const SlaveTableLoad& loaded) const;
  void showConnected(const SlaveTableLoad& loaded, const QString& openNotice);
  void onPortLost(const QString& reason);
  void disconnectPort();
  void onServed(const std::vector<ServeEvent>& batch);
  void showExchange(const Exchange& exchange);
  // The display the module shows now: the served configuration with each field's last reading.
  void showDisplay();
  // What the serving thread serves from, as the window stands now.
  ServePlan plan() const;
  void updatePlan();
  void showLoad(const SlaveTableLoad& load);
  void setConnected(bool connected);
  void showDevice();
  void watchDevices();
  // In the warning colour when it `warns`, in the ordinary one when it only informs (a
  // configuration not saved yet); `details` (the file and keys) show on hovering over it.
  void showNotice(const QString& text, bool warns = true, const QString& details = {});
  LineChoice lineChoice() const;
  ChosenValues chosenValues() const;
  TypedFormat formatOf(int slave) const;
  // The raw value slave `slave`'s lists hold; nothing while one has no entry.
  std::optional<std::uint32_t> listValue(int slave) const;
  void setListValue(int slave, std::uint32_t raw);
  void showDecoded(int slave);
  void applyTyped(int slave);
  void openBench(int slave);
  void showBench(int slave);
  // The bench as a whole: scenario files, and the values kept between runs (BenchFiles.cpp).
  QLayout* buildBenchFiles();
  QString benchModule() const;
  void saveBenchFile();
  void openBenchFile();
  void readKeptValues(const IniSnapshot& file);
  void restoreKeptValues();
  void appendKeptValues(std::vector<IniEntry>& entries) const;

  IniFile& ini_;
  Dialogs& dialogs_;
  // Serves the port on a thread of its own while connected.
  PollServer* server_ = nullptr;
  // The slaves as the last Connect loaded them, and what the bench controls set on them.
  SlaveTable table_{};
  Faults faults_{};
  // What the value lists hold, as the simulator answers with it.
  ChosenValues chosen_{};

  // What is written back at exit: the port number and line settings of the last Connect, or
  // the stored texts untouched when Connect was never pressed.
  QString storedPort_;
  QString storedSetting_;
  // Top-level windows of their own (no owner), created on first use and kept for the run.
  std::unique_ptr<Config1602Window> config1602Window_;
  std::unique_ptr<Config2004Window> config2004Window_;

  QGroupBox* commSettings_ = nullptr;
  std::array<QRadioButton*, 3> baudButtons_{};  // in the order of kBaudRates
  QComboBox* dataFormatList_ = nullptr;
  QComboBox* portList_ = nullptr;
  QComboBox* moduleList_ = nullptr;
  QLabel* deviceLabel_ = nullptr;
  QPushButton* connectButton_ = nullptr;
  QPushButton* configureButton_ = nullptr;
  QPushButton* listenButton_ = nullptr;
  QPushButton* findButton_ = nullptr;
  // While listening: what the master asks, summed up.
  bool listening_ = false;
  PollPlan pollPlan_;
  QGroupBox* pollPlanBox_ = nullptr;
  PollPlanTable* pollPlanTable_ = nullptr;
  QGroupBox* simulator_ = nullptr;
  std::array<QLabel*, 4> addressLabels_{};
  // Two per slave: the register polled, and the next one of a two-register value.
  std::array<QLabel*, 8> registerLabels_{};
  // Per slave: the value's low byte, its second byte, and its third byte (0x00..0x0F).
  std::array<std::array<QComboBox*, 3>, 4> valueLists_{};
  // The value as the module shows it: typed in, and read back from the lists.
  std::array<QLineEdit*, 4> typedValues_{};
  std::array<QLabel*, 4> decodedValues_{};
  // What bench controls are on, in red, while any is.
  std::array<QLabel*, 4> benchNotes_{};
  Sweeps sweeps_;
  // Per module, the values the settings file kept, until that module's first Connect sets
  // them; and the module of the last Connect, whose values are kept at exit.
  std::map<QString, std::array<QString, kSlaveCount>> keptValues_;
  QString keptModule_;
  // Answer every poll, and the registers it answers; what the settings file held of them.
  AnswerAllBox* answerAll_ = nullptr;
  AnswerAllSettings storedAnswerAll_;
  QLabel* receivedBytes_ = nullptr;
  QLabel* transmittedBytes_ = nullptr;
  QLabel* verdict_ = nullptr;
  QLabel* notice_ = nullptr;
  // The configuration the last Connect serves (one of the two, by its module) and what each
  // slave's last poll gave the field it stands for.
  std::optional<Config1602> served1602_;
  std::optional<Config2004> served2004_;
  std::array<FieldReading, kSlaveCount> readings_{};
  LcdView* lcd_ = nullptr;
  QLabel* lcdFindings_ = nullptr;
  BusMonitor* monitor_ = nullptr;
  std::array<QWidget*, 4> quadrants_{};
  std::array<QPushButton*, 4> benchButtons_{};
  QScrollArea* controlsArea_ = nullptr;
  QSplitter* split_ = nullptr;
  QString devFolder_ = QStringLiteral("/dev");
  QStringList devicesPresent_;
};

}  // namespace vantor
