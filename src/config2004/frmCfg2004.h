#pragma once

#include "config2004/Cfg2004.h"

#include <QWidget>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QScrollArea;

namespace vantor {

class ConfigLink;
class Dialogs;
class SerialPort;
class modINI;
struct modVar;

// The configuration window of the 2004 module, "Configure KV-420": a top-level, modeless window
// that the main window creates once and shows again and again. It only shows and collects a
// Cfg2004; what the lists hold, which fields take input, what is restored, saved and sent is
// decided in Cfg2004.h.
class frmCfg2004 : public QWidget {
  Q_OBJECT

 public:
  frmCfg2004(modVar& vars, modINI& ini, Dialogs& dialogs);
  ~frmCfg2004() override;

  // Runs the opening sequence and shows the window; when it is already open, brings it
  // forward instead.
  void showWindow();
  SerialPort& port();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void buildLayout();
  QGroupBox* buildCommunication();
  QGroupBox* buildDisplayText();
  QGroupBox* buildField(int k);

  void openPort();
  void resetControls();
  void fillLists();
  void apply(const Cfg2004& cfg);
  Cfg2004 shown() const;
  void UpdateActiveFields();
  void cmdSendCfg_Click();

  QComboBox* list(int Cfg2004::*position) const;
  QComboBox* list(int k, int Field2004::*position) const;

  modVar& vars_;
  modINI& ini_;
  Dialogs& dialogs_;
  std::unique_ptr<ConfigLink> link_;

  // The position of cboAF when UpdateActiveFields last ran.
  std::int16_t lastActiveFieldIndex_ = 0;
  // The last frame sent; it outlives closing, like the window object.
  Frame2004 cfgFrame_{};

  // Parallel to cfg2004Lists(), and per data field to field2004Lists().
  std::vector<QComboBox*> lists_;
  std::array<std::vector<QComboBox*>, kFieldCount> fieldLists_;
  std::array<QGroupBox*, kFieldCount> faf_{};
  std::array<QRadioButton*, kFieldCount> opt03_{};
  std::array<QRadioButton*, kFieldCount> opt04_{};
  std::array<QLineEdit*, frame2004::kRowCount> txtLine_{};
  QPushButton* cmdSendCfg_ = nullptr;
  QLabel* lblNotice_ = nullptr;
  QScrollArea* noticeArea_ = nullptr;
  QLabel* lblPortStatus_ = nullptr;
};

}  // namespace vantor
