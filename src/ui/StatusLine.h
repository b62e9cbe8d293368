#pragma once

#include <QStatusBar>

class QLabel;

namespace vantor {

// The main window's status bar: the port and device, the line setting, the module, what the
// port is doing and the scenario file opened, each in a part of its own, and the last thing
// the window had to say.
class StatusLine : public QStatusBar {
  Q_OBJECT

 public:
  explicit StatusLine(QWidget* parent);

  void showPort(const QString& port);
  void showLine(const QString& line);
  void showModule(const QString& module);
  // "disconnected", "serving", "listening", "scanning".
  void showState(const QString& state);
  void showScenario(const QString& path);
  // The last notice, in words; it stays until the next.
  void say(const QString& text);

 private:
  QLabel* part(const QString& name, const QString& accessibleName);

  QLabel* port_ = nullptr;
  QLabel* line_ = nullptr;
  QLabel* module_ = nullptr;
  QLabel* state_ = nullptr;
  QLabel* scenario_ = nullptr;
  QLabel* said_ = nullptr;
};

}  // namespace vantor
