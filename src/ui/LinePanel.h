#pragma once

#include "core/modbus/LineSettings.h"

#include <QGroupBox>
#include <QString>
#include <QStringList>

#include <array>
#include <vector>

class QComboBox;
class QLabel;
class QRadioButton;

namespace vantor {

class IniFile;
class IniSnapshot;
struct IniEntry;

// The line the main window works on: baud rate, data format, port number and module, and the
// device the number opens. It remembers the port and line chosen at the last Connect or
// Listen (a failed one too), which is what the file keeps at exit, not what the lists show.
class LinePanel : public QGroupBox {
  Q_OBJECT

 public:
  LinePanel(const IniFile& ini, QWidget* parent);

  // Fills the lists and chooses what the settings file holds.
  void restore(const IniSnapshot& file);
  LineChoice lineChoice() const;
  // The number chosen in the port list; 0 while none is.
  int chosenPort() const;
  // "1602" or "2004", by the module list.
  QString module() const;
  bool twoLine() const { return module() == u"1602"; }
  // Chooses the baud rate and data format of `settings` (found by listening).
  void choose(const LineSettings& settings);
  // Records the port and line chosen now, for the exit.
  void remember();
  // The keys the main window keeps: CommPort, Setting, Module.
  std::vector<IniEntry> entries() const;
  // The device port number `port` opens.
  QString devicePath(int port) const;
  // Where serial devices are looked for (/dev unless a test gives a folder of its own).
  void setDeviceFolder(const QString& folder);
  // Its controls as Tab goes through them.
  QList<QWidget*> tabOrder() const;

 signals:
  // Enter on one of the line's controls: Connect (or Disconnect).
  void enterPressed();
  void moduleChanged();
  // Adapters plugged in or pulled out, in words.
  void devicesChanged(const QString& said);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void showDevice();
  void watchDevices();

  const IniFile& ini_;
  std::array<QRadioButton*, 3> baudButtons_{};  // in the order of kBaudRates
  QComboBox* dataFormatList_ = nullptr;
  QComboBox* portList_ = nullptr;
  QComboBox* moduleList_ = nullptr;
  QLabel* deviceLabel_ = nullptr;
  // The port number and line settings kept at exit: those of the last Connect or Listen, or
  // the stored texts untouched when neither was pressed.
  QString storedPort_;
  QString storedSetting_;
  QString devFolder_ = QStringLiteral("/dev");
  QStringList devicesPresent_;
};

}  // namespace vantor
