#pragma once

#include "core/simulator/Faults.h"
#include "core/simulator/Sweep.h"
#include "core/simulator/TypedValue.h"

#include <QDialog>

#include <optional>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QSpinBox;

namespace vantor {

// One simulated slave's bench controls: the fault it makes, how late it answers, how often,
// and a sweep of the value it answers with.
class BenchDialog : public QDialog {
  Q_OBJECT

 public:
  // `slave` names it as the window does: "Slave 3 (field 2)".
  BenchDialog(const QString& slave, TypedFormat format, const Fault& fault,
              const std::optional<Sweep>& sweep, QWidget* parent = nullptr);

  Fault fault() const;
  const std::optional<Sweep>& sweep() const { return sweep_; }

  void accept() override;

 private:
  QGroupBox* buildFaultBox();
  QGroupBox* buildSweepBox();
  void showCurrent(const Fault& fault);
  void showEnabled();

  TypedFormat format_;
  std::optional<Sweep> sweep_;
  QComboBox* faultKind_ = nullptr;
  QComboBox* exceptionCode_ = nullptr;
  QComboBox* delayKind_ = nullptr;  // at once, fixed, random
  QSpinBox* delayMin_ = nullptr;
  QSpinBox* delayMax_ = nullptr;
  QComboBox* howOften_ = nullptr;  // every poll, one poll in N
  QSpinBox* oneIn_ = nullptr;
  QComboBox* sweepKind_ = nullptr;  // none, ramp, random
  QLineEdit* sweepFrom_ = nullptr;
  QLineEdit* sweepTo_ = nullptr;
  QLineEdit* sweepStep_ = nullptr;
  QLabel* error_ = nullptr;
};

}  // namespace vantor
