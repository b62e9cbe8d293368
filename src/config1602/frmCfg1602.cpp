#include "config1602/frmCfg1602.h"

#include "platform/PortMap.h"
#include "platform/SerialPort.h"
#include "settings/modINI.h"

#include <QCloseEvent>

namespace vantor {

// Placeholder until the window is built: opens and releases its port like the real one.
frmCfg1602::frmCfg1602(modVar& vars, modINI& ini, Dialogs& dialogs)
    : vars_(vars), ini_(ini), dialogs_(dialogs) {
  setWindowTitle(QStringLiteral("Configure KV-216/KV-216L"));
  MSComm1_ = new SerialPort([this](int port) { return devicePathForPort(ini_, port); }, this);
}

frmCfg1602::~frmCfg1602() = default;

void frmCfg1602::showWindow() { show(); }

void frmCfg1602::closeEvent(QCloseEvent* event) {
  MSComm1_->close();
  event->accept();
}

}  // namespace vantor
