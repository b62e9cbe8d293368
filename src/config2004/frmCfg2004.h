#pragma once

#include <QWidget>

namespace vantor {

class Dialogs;
class SerialPort;
class modINI;
struct modVar;

// The configuration window of the 2004 module, "Configure KV-420": a top-level, modeless window
// that the main window creates once and shows again and again.
class frmCfg2004 : public QWidget {
  Q_OBJECT

 public:
  frmCfg2004(modVar& vars, modINI& ini, Dialogs& dialogs);
  ~frmCfg2004() override;

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
