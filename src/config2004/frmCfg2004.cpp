#include "config2004/frmCfg2004.h"

#include "platform/PortMap.h"
#include "platform/SerialPort.h"
#include "settings/modINI.h"

#include <QCloseEvent>

namespace vantor {

// Placeholder until the window is built: opens and releases its port like the real one.
frmCfg2004::frmCfg2004(modVar& vars, modINI& ini, Dialogs& dialogs)
    : vars_(vars), ini_(ini), dialogs_(dialogs) {
  setWindowTitle(QStringLiteral("Configure KV-420"));
  MSComm1_ = new SerialPort([this](int port) { return devicePathForPort(ini_, port); }, this);
}

frmCfg2004::~frmCfg2004() = default;

void frmCfg2004::showWindow() { show(); }

void frmCfg2004::closeEvent(QCloseEvent* event) {
  MSComm1_->close();
  event->accept();
}

}  // namespace vantor
