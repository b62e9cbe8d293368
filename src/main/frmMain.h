#pragma once

#include <QWidget>

#include <array>
#include <memory>

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace vantor {

class Dialogs;
class SerialPort;
class PollResponder;
class frmCfg1602;
class frmCfg2004;
class modINI;
struct SlaveTableLoad;
struct modVar;

// The main window: port and line settings, module model, Connect, Configure LCD, and the
// simulator of the slaves a configured module polls.
class frmMain : public QWidget {
  Q_OBJECT

 public:
  frmMain(modVar& vars, modINI& ini, Dialogs& dialogs, QWidget* parent = nullptr);
  ~frmMain() override;

  SerialPort& port() { return *MSComm1_; }
  // The configuration windows, once Configure LCD has created them (else null).
  frmCfg1602* cfg1602() const { return frmCfg1602_.get(); }
  frmCfg2004* cfg2004() const { return frmCfg2004_.get(); }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void buildLayout();
  QWidget* buildSlaveQuadrant(int slave);
  void load();
  void cmdConnect_Click();
  void cmdCfgLcd_Click();
  void onPortLost(const QString& reason);
  void HandleCommEvent();
  void showLoad(const SlaveTableLoad& load);
  void setConnected(bool connected);
  void showDevice();

  modVar& vars_;
  modINI& ini_;
  Dialogs& dialogs_;
  SerialPort* MSComm1_ = nullptr;
  std::unique_ptr<PollResponder> responder_;
  // Top-level windows of their own (no owner), created on first use and kept for the run.
  std::unique_ptr<frmCfg1602> frmCfg1602_;
  std::unique_ptr<frmCfg2004> frmCfg2004_;

  QGroupBox* fComm_ = nullptr;
  QRadioButton* opt9600_ = nullptr;
  QRadioButton* opt19200_ = nullptr;
  QRadioButton* opt38400_ = nullptr;
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
  QLabel* lblRxData_ = nullptr;
  QLabel* lblTxData_ = nullptr;
  QLabel* lblStatus_ = nullptr;
};

}  // namespace vantor
