#pragma once

#include "core/config/Config2004.h"
#include "ui/config/ConfigWindow.h"

#include <QString>

#include <array>

class QGroupBox;
class QLabel;
class QLineEdit;
class QScrollArea;

namespace vantor {

// The configuration window of the 2004 module, "Configure KV-420". It only shows and collects
// a Config2004; which fields take input, what is restored, saved and sent is decided in
// Config2004.h.
class Config2004Window : public ConfigWindow {
  Q_OBJECT

 public:
  Config2004Window(IniFile& ini, Dialogs& dialogs);
  ~Config2004Window() override;

 protected:
  QString restore() override;
  FrameBytes encode() const override;
  bool save(QString* error) override;
  void styleList(QComboBox* list, const ListEntries& entries) override;
  void updatePreview() override;

 private:
  void buildLayout();
  QGroupBox* buildCommunication();
  QGroupBox* buildDisplayText();
  QGroupBox* buildField(int k);
  void addFieldControls(int k, QWidget* parent);
  QScrollArea* buildNoticeArea();

  void showRecord(const Config2004& cfg);
  Config2004 record() const;
  void updateActiveFields();

  QComboBox* activeFields_ = nullptr;
  std::array<QLineEdit*, frame2004::kRowCount> rows_{};
  std::array<QGroupBox*, kFieldCount> fieldBoxes_{};
  std::array<FieldControls, kFieldCount> fields_{};
  std::array<WordLists, kFieldCount> highTrips_{};
  std::array<WordLists, kFieldCount> lowTrips_{};
  std::array<QLineEdit*, kFieldCount> samples_{};
  // What each trip point stands for in its field's data type and decimal places.
  std::array<QLabel*, kFieldCount> highTripValues_{};
  std::array<QLabel*, kFieldCount> lowTripValues_{};
  QScrollArea* noticeArea_ = nullptr;
};

}  // namespace vantor
