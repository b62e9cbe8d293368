#pragma once

// The main window as a user has it while a module polls: configured, connected on port 1 as
// chooseLine() put it, and slave 1 answering 0x1234.

#include "RecordingDialogs.h"
#include "core/settings/IniFile.h"
#include "ui/MainWindow.h"

#include <QComboBox>
#include <QPushButton>

#include <cstdio>

namespace vantor::test {

// A two-line configuration polling slave 1, register 40001, one register.
inline void storeTwoLineSlave(IniFile& ini) {
  for (auto [key, value] :
       {std::pair{"Saddr", "1"}, {"RHigh", "0"}, {"RLow", "0"}, {"Fcode", "3"}, {"DT", "0"}})
    ini.write("Cfg1602", key, value);
}

// Shows and connects `window`; false, said on standard error, when it did not connect.
inline bool connectServing(MainWindow& window, const RecordingDialogs& dialogs) {
  window.show();
  window.findChild<QPushButton*>("cmdConnect")->click();
  window.findChild<QComboBox*>("cboMReg1_1")->setCurrentIndex(0x12);
  window.findChild<QComboBox*>("cboMReg1_0")->setCurrentIndex(0x34);
  if (window.isConnected() && dialogs.boxes.isEmpty()) return true;
  std::fprintf(stderr, "connect failed: %s\n",
               dialogs.boxes.isEmpty() ? "" : qPrintable(dialogs.boxes[0].detail));
  return false;
}

}  // namespace vantor::test
