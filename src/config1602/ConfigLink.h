#pragma once

#include <QByteArray>
#include <QString>

class QLabel;
class QLineEdit;
class QWidget;

namespace vantor {

class Dialogs;
class SerialPort;
class modINI;

// The serial link of a configuration window: opened at the fixed configuration speed on the
// port number chosen on the main window, frames written whole, what it is doing shown in the
// window's status line, and released only once the last frame has left.
class ConfigLink {
 public:
  // The port becomes a child of `window`; `status` is the window's status line.
  ConfigLink(QWidget* window, modINI& ini, Dialogs& dialogs, QLabel* status);

  SerialPort& port() { return *port_; }

  // Opens the device behind port number `commPort`. A failure is shown in the status line;
  // once the window is up, reportFailedOpen() says it in a box too.
  void open(int commPort);
  void reportFailedOpen();

  // Writes `frame` in one piece, or tells the user why nothing was sent.
  void send(const QByteArray& frame);

  // Lets whatever was handed over leave, then releases the device.
  void close();

 private:
  void show(const QString& text, bool failed);

  QWidget* window_;
  Dialogs& dialogs_;
  QLabel* status_;
  SerialPort* port_;
  QString error_;
};

// Keeps a display row to what the module can show while the user types or pastes into it,
// leaving the cursor where the user put it.
void keepRowPrintable(QLineEdit* row, const QString& typed);

}  // namespace vantor
