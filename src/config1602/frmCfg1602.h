#pragma once

#include <QWidget>

namespace vantor {

class Dialogs;
class SerialPort;
class modINI;
struct modVar;

// The configuration window of the 1602 module, "Configure KV-216/KV-216L": a top-level, modeless window
// that the main window creates once and shows again and again.
class frmCfg1602 : public QWidget {
  Q_OBJECT

 public:
  frmCfg1602(modVar& vars, modINI& ini, Dialogs& dialogs);
  ~frmCfg1602() override;

  // Runs the opening sequence and shows the window; when it is already open, brings it
  // forward instead.
  void showWindow();
  SerialPort& port() { return *MSComm1_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  modVar& vars_;
  modINI& ini_;
  Dialogs& dialogs_;
  SerialPort* MSComm1_ = nullptr;
};

}  // namespace vantor
