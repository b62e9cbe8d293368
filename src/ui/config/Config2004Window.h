#pragma once

#include "core/config/Config2004.h"
#include "ui/config/ConfigWindow.h"

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

// The configuration window of the 2004 module, "Configure KV-420". It only shows and collects
// a Config2004; what the lists hold, which fields take input, what is restored, saved and sent
// is decided in Config2004.h.
class Config2004Window : public ConfigWindow {
  Q_OBJECT

 public:
  Config2004Window(IniFile& ini, Dialogs& dialogs);
  ~Config2004Window() override;

 protected:
  QString restore() override;
  FrameBytes encode() const override;
  bool save(QString* error) override;

 private:
  void buildLayout();
  QGroupBox* buildCommunication();
  QGroupBox* buildDisplayText();
  QGroupBox* buildField(int k);

  void resetControls();
  void fillLists();
  void apply(const Config2004& cfg);
  Config2004 shown() const;
  void UpdateActiveFields();

  QComboBox* list(int Config2004::*position) const;
  QComboBox* list(int k, int Field2004::*position) const;

  // Parallel to config2004Lists(), and per data field to field2004Lists().
  std::vector<QComboBox*> lists_;
  std::array<std::vector<QComboBox*>, kFieldCount> fieldLists_;
  std::array<QGroupBox*, kFieldCount> faf_{};
  std::array<QRadioButton*, kFieldCount> opt03_{};
  std::array<QRadioButton*, kFieldCount> opt04_{};
  std::array<QLineEdit*, frame2004::kRowCount> txtLine_{};
  QScrollArea* noticeArea_ = nullptr;
};

}  // namespace vantor
