#pragma once

#include "core/config/Config1602.h"
#include "ui/config/ConfigWindow.h"

#include <QString>

#include <array>

class QGroupBox;
class QLabel;
class QLineEdit;

namespace vantor {

// The configuration window of the 1602 module, "Configure KV-216/KV-216L". It only shows and
// collects a Config1602: restore, save and frame are decided in Config1602.h.
class Config1602Window : public ConfigWindow {
  Q_OBJECT

 public:
  Config1602Window(IniFile& ini, Dialogs& dialogs);
  ~Config1602Window() override;

 protected:
  QString restore() override;
  FrameBytes encode() const override;
  bool save(QString* error) override;
  void styleList(QComboBox* list, const ListEntries& entries) override;
  void linesChanged() override;
  void updatePreview() override;

 private:
  void addControls();
  void buildLayout();
  QGroupBox* buildCommunication();
  QGroupBox* buildDisplayText();
  QGroupBox* buildModbusCommand();

  void showRecord(const Config1602& cfg);
  Config1602 record() const;

  FieldControls field_;
  WordLists alarmTrip_;
  QLabel* alarmValue_ = nullptr;
  QLineEdit* sample_ = nullptr;
  std::array<QLineEdit*, frame1602::kRowCount> rows_{};
  // Key CSet as read at the last opening: a save without a data format keeps its ending.
  QString lineText_;
};

}  // namespace vantor
