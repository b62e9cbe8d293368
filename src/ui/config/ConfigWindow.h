#pragma once

#include "core/config/ConfigFrame.h"

#include <QString>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

namespace vantor {

class Dialogs;
class IniFile;
class SerialPort;

// What both configuration windows do alike: a top-level, modeless window that the main window
// creates once and shows again and again; it opens its port at the fixed configuration speed
// on the port number it is handed, restores the module's settings, says in a notice line what
// it had to default, sends the frame in one write, and on closing asks whether to save. Each
// model's window adds its fields and decides its frame, restore and save.
class ConfigWindow : public QWidget {
  Q_OBJECT

 public:
  ~ConfigWindow() override;

  // Runs the opening sequence on port number `commPort` and shows the window; when it is
  // already open, brings it forward instead.
  void showWindow(int commPort);
  SerialPort& port() { return *port_; }

 protected:
  ConfigWindow(IniFile& ini, Dialogs& dialogs, const QString& objectName, const QString& title,
               const QString& sendButtonName);

  // Refills the lists and restores the saved settings; returns what to tell the user about
  // settings that fell back to first-use defaults (empty when none did).
  virtual QString restore() = 0;
  // The frame the window's fields stand for, or why none can be sent.
  virtual FrameBytes encode() const = 0;
  // Saves the fields to the settings file; false with a sentence in `error` on failure.
  virtual bool save(QString* error) = 0;
  // The texts of the status or notice line changed (a window of fixed height refits).
  virtual void linesChanged() {}

  void closeEvent(QCloseEvent* event) override;

  IniFile& ini_;
  Dialogs& dialogs_;
  // Placed by each window's layout.
  QLabel* lblPortStatus_ = nullptr;
  QLabel* lblNotice_ = nullptr;
  // What shows or hides with the notice: the label itself, or a frame around it.
  QWidget* noticeHolder_ = nullptr;
  QPushButton* cmdSend_ = nullptr;

 private:
  void openPort(int commPort);
  void sendFrame();
  void showStatus(const QString& text, bool failed);
  void showNotice(const QString& text);

  SerialPort* port_ = nullptr;
  QString portError_;
  // Set by the opening sequence, cleared by the closing one.
  bool open_ = false;
};

// Keeps a display row to what the module can show while the user types or pastes into it,
// leaving the cursor where the user put it.
void keepRowPrintable(QLineEdit* row, const QString& typed);

}  // namespace vantor
