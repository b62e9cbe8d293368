#include "config1602/ConfigLink.h"

#include "config1602/ConfigFrame.h"
#include "platform/Dialogs.h"
#include "platform/PortMap.h"
#include "platform/SerialPort.h"
#include "platform/WindowParts.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QTime>

namespace vantor {

namespace {

QString tr(const char* text) { return QCoreApplication::translate("ConfigLink", text); }

}  // namespace

ConfigLink::ConfigLink(QWidget* window, modINI& ini, Dialogs& dialogs, QLabel* status)
    : window_(window), dialogs_(dialogs), status_(status) {
  port_ = new SerialPort([&ini](int port) { return devicePathForPort(ini, port); }, window);
  port_->setObjectName(QStringLiteral("MSComm1"));
  QObject::connect(port_, &SerialPort::lost, window, [this](const QString& reason) {
    error_ = reason;
    show(reason, true);
  });
}

void ConfigLink::open(int commPort) {
  port_->close();
  port_->setSettings(QLatin1String(kConfigLine));
  port_->setCommPort(commPort);
  error_.clear();
  if (port_->open(&error_)) {
    show(tr("Port %1 (%2) is open at %3.")
             .arg(commPort)
             .arg(port_->deviceName(), QLatin1String(kConfigLine)),
         false);
  } else {
    show(error_, true);
  }
}

void ConfigLink::reportFailedOpen() {
  if (!port_->isOpen())
    dialogs_.message(window_, tr("The configuration port could not be opened."), error_);
}

void ConfigLink::send(const QByteArray& frame) {
  if (!port_->isOpen()) {
    dialogs_.message(window_, tr("Nothing was sent: port %1 is not open.").arg(port_->commPort()),
                     tr("%1\nClose this window (answer Yes to keep your settings), check the port "
                        "on the main window and press Configure LCD again.")
                         .arg(error_));
    return;
  }
  port_->output(frame);
  show(tr("Sent %1 bytes to port %2 (%3) at %4.")
           .arg(frame.size())
           .arg(port_->commPort())
           .arg(port_->deviceName(), QTime::currentTime().toString(QStringLiteral("HH:mm:ss"))),
       false);
}

void ConfigLink::close() { port_->close(); }

void ConfigLink::show(const QString& text, bool failed) {
  status_->setText(text);
  if (failed)
    setTextColour(status_, kFailureColour);
  else
    status_->setPalette(QPalette());
}

void keepRowPrintable(QLineEdit* row, const QString& typed) {
  const QString shown = printableRow(typed);
  if (shown == typed) return;
  const int cursor = int(printableRow(QStringView(typed).left(row->cursorPosition())).size());
  row->setText(shown);
  row->setCursorPosition(cursor);
}

}  // namespace vantor
