#pragma once

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
#include <memory>
#include <optional>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace vantor {

class BusMonitor;
class Dialogs;
class PollServer;
struct ServeEvent;
class Config1602Window;
class Config2004Window;
class IniFile;

// The main window: port and line settings, module model, Connect, Configure LCD, and the
// simulator of the slaves a configured module polls.
class MainWindow : public QWidget {
  Q_OBJECT

 public:
  MainWindow(IniFile& ini, Dialogs& dialogs, QWidget* parent = nullptr);
  ~MainWindow() override;

  // Whether the simulator is connected: its port open and served.
  bool isConnected() const;
  // The configuration windows, once Configure LCD has created them (else null).
  Config1602Window* cfg1602() const { return frmCfg1602_.get(); }
  Config2004Window* cfg2004() const { return frmCfg2004_.get(); }
  BusMonitor& monitor() { return *monitor_; }

  // Bench controls of slave 1..4, as its Faults and sweeps dialog sets them.
  void setFault(int slave, const Fault& fault);
  void setSweep(int slave, const std::optional<Sweep>& sweep);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void buildLayout();
  QWidget* buildSlaveQuadrant(int slave);
  void load();
  void cmdConnect_Click();
  void cmdCfgLcd_Click();
  void onPortLost(const QString& reason);
  void disconnectPort();
  void onServed(const std::vector<ServeEvent>& batch);
  void showExchange(const Exchange& exchange);
  // What the serving thread serves from, as the window stands now.
  ServePlan plan() const;
  void updatePlan();
  void showLoad(const SlaveTableLoad& load);
  void setConnected(bool connected);
  void showDevice();
  void showNotice(const QString& text);
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
  std::unique_ptr<Config1602Window> frmCfg1602_;
  std::unique_ptr<Config2004Window> frmCfg2004_;

  QGroupBox* fComm_ = nullptr;
  std::array<QRadioButton*, 3> optBaud_{};  // opt9600, opt19200, opt38400
  QComboBox* cboDF_ = nullptr;
  QComboBox* cboComm_ = nullptr;
  QComboBox* cboModule_ = nullptr;
  QLabel* lblDevice_ = nullptr;
  QPushButton* cmdConnect_ = nullptr;
  QPushButton* cmdCfgLcd_ = nullptr;
  QGroupBox* fModSim_ = nullptr;
  std::array<QLabel*, 4> lblSid_{};
  std::array<QLabel*, 8> lblReg_{};
  // cboMReg1..cboMReg4, elements 0..2 each.
  std::array<std::array<QComboBox*, 3>, 4> cboMReg_{};
  // The value as the module shows it: typed in, and read back from the lists.
  std::array<QLineEdit*, 4> txtValue_{};
  std::array<QLabel*, 4> lblDecoded_{};
  // What bench controls are on, in red, while any is.
  std::array<QLabel*, 4> lblBench_{};
  Sweeps sweeps_;
  QLabel* lblRxData_ = nullptr;
  QLabel* lblTxData_ = nullptr;
  QLabel* lblStatus_ = nullptr;
  QLabel* lblNotice_ = nullptr;
  BusMonitor* monitor_ = nullptr;
};

}  // namespace vantor
