#pragma once

#include "ui/config/ConfigWindow.h"

#include <QString>

#include <vector>

class QComboBox;
class QLineEdit;
class QRadioButton;

namespace vantor {

struct Config1602;

// The configuration window of the 1602 module, "Configure KV-216/KV-216L". It only shows and
// collects a Config1602: lists, restore, save and frame are decided in Config1602.h.
class Config1602Window : public ConfigWindow {
  Q_OBJECT

 public:
  Config1602Window(IniFile& ini, Dialogs& dialogs);
  ~Config1602Window() override;

 protected:
  QString restore() override;
  FrameBytes encode() const override;
  bool save(QString* error) override;
  void linesChanged() override;

 private:
  void buildLayout();
  QComboBox* list(const QString& control) const;
  void fillLists();
  Config1602 record() const;
  void apply(const Config1602& cfg);

  // Key CSet as read at the last opening: a save without a data format keeps its ending.
  QString CSet_;

  // In the order of config1602Lists().
  std::vector<QComboBox*> lists_;
  QLineEdit* txtLine0_ = nullptr;
  QLineEdit* txtLine1_ = nullptr;
  QRadioButton* opt03_ = nullptr;
  QRadioButton* opt04_ = nullptr;
};

}  // namespace vantor
