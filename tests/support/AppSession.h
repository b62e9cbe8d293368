#pragma once

// One start of the program as the window and end-to-end tests drive it: a settings folder of
// its own, recorded message boxes, a pseudo-terminal as the serial line and
// the real main window, with the chores of reaching their controls.

#include "ModbusMaster.h"
#include "PtyPair.h"
#include "RecordingDialogs.h"
#include "SettingsFiles.h"
#include "core/settings/IniFile.h"
#include "serial/SerialPort.h"
#include "ui/MainWindow.h"
#include "ui/config/Config1602Window.h"
#include "ui/config/Config2004Window.h"

// The controls the windows are made of, for control<T>().
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <optional>

namespace vantor::test {

// The control of `window` called `name`; a missing one stops the run, naming it.
template <typename T = QWidget>
T* control(const QWidget* window, const QString& name) {
  auto* w = window->findChild<T*>(name);
  if (!w) qFatal("no control %s", qPrintable(name));
  return w;
}

// The entries of a list, in order.
QStringList entries(const QComboBox* list);

// The text of the caption that names `control` (the label it is the buddy of); empty if none.
QString captionOf(const QWidget* control);

// Types `text` into `box` one key press per character as the user sees it.
void type(QWidget* box, const QString& text);
// Pastes `text` into `box` through the clipboard.
void paste(QLineEdit* box, const QString& text);

// What waits at the far end of `line`, in one read (up to `ms` for it to come): a write made
// in one piece arrives in one piece.
QByteArray readOnce(const PtyPair& line, int ms = 1000);

// Passes bytes both ways between the far ends of `a` and `b` while `program` runs (at most
// `ms`), for masters that open a device path of their own; keeps this thread's events flowing.
void relayWhileRunning(PtyPair& a, PtyPair& b, QProcess& program, int ms = 10000);

// Opens `device` as another program would, keeping it from everybody else while it lives;
// null when it cannot.
std::unique_ptr<SerialPort> holdDevice(const QString& device);

// One polled field of a module configuration, stored as the configuration windows store it
// under `section` with key suffix `suffix` ("" for the two-line module, "1".."4" otherwise).
struct Poll {
  int address;
  int function;  // 3 or 4
  int start;     // register number, 0-based
  int type;      // data type code: 0..2 one register, 3..4 two
};
void storePoll(IniFile& ini, const QString& section, const QString& suffix, const Poll& poll);

// Polls as a module configured with `poll` would (one or two registers, as its type says),
// keeping this thread's events flowing; the registers joined, high register first.
std::optional<quint32> readValue(ModbusMaster& master, const Poll& poll);

class AppSession {
  QTemporaryDir dir_;  // first: the settings folder lives in it

 public:
  AppSession();
  AppSession(const AppSession&) = delete;
  AppSession& operator=(const AppSession&) = delete;

  QString folder() const { return dir_.filePath(QStringLiteral("settings")); }
  // Stores one key; a refused write stops the run.
  void set(const QString& section, const QString& key, const QString& value);
  // Puts `device` (the session's own line when empty) behind port number `port` in [Ports]
  // and stores the main window's choices: that port, `setting` and `module`.
  void choosePort(int port, const QString& setting, const QString& module,
                  const QString& device = {});
  // The main window, loaded from the settings file and shown.
  MainWindow& start();

  template <typename T = QWidget>
  T* get(const QString& name) const {
    return control<T>(main.get(), name);
  }
  void press(const QString& button) const { get<QPushButton>(button)->click(); }
  QString connectCaption() const { return get<QPushButton>("cmdConnect")->text(); }
  // Connect, which must open the port.
  void connect();
  // Connect, then Configure LCD, as the user opens the module's window; the simulator's load
  // message, if any, is dropped.
  void configureLcd();
  // Picks the 20-bit `value` in slave `slave`'s three value lists.
  void showValue(int slave, quint32 value) const;

  // The configuration window Configure LCD opened, its controls and its port.
  QWidget& lcdWindow() const;
  template <typename T = QComboBox>
  T* lcd(const QString& name) const {
    return control<T>(&lcdWindow(), name);
  }
  SerialPort& lcdPort() const;
  QString lcdStatus() const { return lcd<QLabel>("lblPortStatus")->text(); }
  // What is wrong with how the configuration window opened (empty when nothing): captioned
  // `title`, its own modeless top-level window beside a usable main window, its port open on
  // our pty at the configuration speed, no message shown.
  QString lcdOpeningFault(const QString& title) const;
  // Presses its Send Config. Data.
  void sendConfig() const;
  // Closes it, answering "Save Config. Data ?" with `save`.
  void closeLcd(bool save);

  // Replaces the settings folder by a regular file, so that every later save fails.
  void breakSettingsFolder();

  PtyPair pty;
  IniFile ini;
  RecordingDialogs dialogs;
  std::unique_ptr<MainWindow> main;
};

}  // namespace vantor::test
