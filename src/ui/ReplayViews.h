#pragma once

// Replay...: the recording to play back, the side to play and how.

#include "core/replay/Recording.h"

#include <QDialog>

#include <memory>

class QCheckBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace vantor {

class Dialogs;

struct ReplayChoice {
  std::shared_ptr<const Recording> recording;
  bool asSlaves = true;  // answer the module as the recording's slaves; else poll as its master
  double speed = 1.0;    // at 2, recorded delays and spacing last half as long
  bool loop = false;
};

// Chooses a recording (an export of the bus monitor, or a recording made with Record to...)
// and reads it whole before anything goes on the line: a recording that cannot be replayed is
// refused here, naming the line and what is wrong, and the dialog stays open.
class ReplayDialog : public QDialog {
  Q_OBJECT

 public:
  ReplayDialog(Dialogs& dialogs, const QString& folder, QWidget* parent);

 signals:
  void chosen(const vantor::ReplayChoice& choice);

 private:
  void browse();
  void start();

  Dialogs& dialogs_;
  QString folder_;
  QLineEdit* file_ = nullptr;
  QRadioButton* slaves_ = nullptr;
  QDoubleSpinBox* speed_ = nullptr;
  QCheckBox* loop_ = nullptr;
  QLabel* refusal_ = nullptr;
};

}  // namespace vantor
