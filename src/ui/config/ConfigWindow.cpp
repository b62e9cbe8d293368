#include "ui/config/ConfigWindow.h"

#include "core/settings/IniFile.h"
#include "serial/PortMap.h"
#include "serial/SerialPort.h"
#include "ui/Dialogs.h"
#include "ui/WindowParts.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QTime>

namespace vantor {

ConfigWindow::ConfigWindow(IniFile& ini, Dialogs& dialogs, const QString& objectName,
                           const QString& title, const QString& sendButtonName)
    : ini_(ini), dialogs_(dialogs) {
  setObjectName(objectName);
  setWindowTitle(title);
  setFont(windowFont());

  port_ = new SerialPort([&ini](int port) { return devicePathForPort(ini, port); }, this);
  port_->setObjectName(QStringLiteral("MSComm1"));
  connect(port_, &SerialPort::lost, this, [this](const QString& reason) {
    portError_ = reason;
    showStatus(reason, true);
  });

  lblPortStatus_ = new QLabel(this);
  lblPortStatus_->setObjectName(QStringLiteral("lblPortStatus"));
  lblNotice_ = new QLabel(this);
  lblNotice_->setObjectName(QStringLiteral("lblNotice"));
  for (QLabel* label : {lblPortStatus_, lblNotice_}) {
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  }
  noticeHolder_ = lblNotice_;

  cmdSend_ = new QPushButton(QStringLiteral("Send Config. Data"), this);
  cmdSend_->setObjectName(sendButtonName);
  cmdSend_->setAutoDefault(false);
  cmdSend_->setMinimumHeight(32);
  connect(cmdSend_, &QPushButton::clicked, this, &ConfigWindow::sendFrame);
}

ConfigWindow::~ConfigWindow() = default;

void ConfigWindow::showWindow(int commPort) {
  if (isVisible()) {
    if (isMinimized()) showNormal();
    raise();
    activateWindow();
    return;
  }
  openPort(commPort);
  showNotice(restore());
  open_ = true;
  show();
  if (!port_->isOpen())
    dialogs_.message(this, tr("The configuration port could not be opened."), portError_);
}

void ConfigWindow::openPort(int commPort) {
  port_->close();
  port_->setLineSettings(kConfigLine);
  port_->setCommPort(commPort);
  portError_.clear();
  if (!port_->open(&portError_)) {
    showStatus(portError_, true);
    return;
  }
  const QString status = tr("Port %1 (%2) is open at %3.")
                             .arg(commPort)
                             .arg(port_->deviceName(), formatLineSettings(kConfigLine));
  const QString notice = port_->settingsNotice();
  showStatus(notice.isEmpty() ? status : status + u' ' + notice, !notice.isEmpty());
}

void ConfigWindow::sendFrame() {
  const FrameBytes frame = encode();
  if (frame.bytes.isEmpty()) {
    dialogs_.message(this, frame.refusal);
    return;
  }
  if (!port_->isOpen()) {
    dialogs_.message(this, tr("Nothing was sent: port %1 is not open.").arg(port_->commPort()),
                     tr("%1\nClose this window (answer Yes to keep your settings), check the port "
                        "on the main window and press Configure LCD again.")
                         .arg(portError_));
    return;
  }
  const WriteResult result = port_->writeAndDrain(frame.bytes);
  if (!result.ok()) {
    const QString what = tr("%1 (to %2)").arg(result.message(), port_->describe());
    showStatus(what, true);
    dialogs_.message(this, what);
    return;
  }
  showStatus(
      tr("Sent %1 bytes to port %2 (%3) at %4.")
          .arg(frame.bytes.size())
          .arg(port_->commPort())
          .arg(port_->deviceName(), QTime::currentTime().toString(QStringLiteral("HH:mm:ss"))),
      false);
}

void ConfigWindow::showStatus(const QString& text, bool failed) {
  lblPortStatus_->setText(text);
  if (failed)
    markText(lblPortStatus_, Mark::Failure);
  else
    lblPortStatus_->setPalette(QPalette());
  linesChanged();
}

void ConfigWindow::showNotice(const QString& text) {
  lblNotice_->setText(text);
  noticeHolder_->setVisible(!text.isEmpty());
  linesChanged();
}

void ConfigWindow::closeEvent(QCloseEvent* event) {
  event->accept();
  if (!open_) return;
  open_ = false;
  if (dialogs_.askYesNo(this, QStringLiteral("Save Config. Data ?"))) {
    // A save that failed (another program kept the lock, a full disk) can be tried again
    // before the window goes.
    QString error;
    while (!save(&error) &&
           dialogs_.askRetry(
               this, tr("The configuration was not saved to %1.").arg(ini_.filePath()), error)) {
    }
  }
  // Whatever was handed to the port leaves before the device is let go.
  port_->close();
}

void keepRowPrintable(QLineEdit* row, const QString& typed) {
  const QString shown = printableRow(typed);
  if (shown == typed) return;
  const int cursor = int(printableRow(QStringView(typed).left(row->cursorPosition())).size());
  row->setText(shown);
  row->setCursorPosition(cursor);
}

}  // namespace vantor
