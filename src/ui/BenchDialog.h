#pragma once

#include "core/simulator/Faults.h"
#include "core/simulator/Sweep.h"
#include "core/simulator/TypedValue.h"

#include <QDialog>

#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;

namespace vantor {

// One simulated slave's bench controls: the fault it makes, how late it answers, how often,
// and a sweep of the value it answers with.
class BenchDialog : public QDialog {
  Q_OBJECT

 public:
  BenchDialog(int slave, TypedFormat format, const Fault& fault, const std::optional<Sweep>& sweep,
              QWidget* parent = nullptr);

  Fault fault() const;
  const std::optional<Sweep>& sweep() const { return sweep_; }

  void accept() override;

 private:
  void showEnabled();

  TypedFormat format_;
  std::optional<Sweep> sweep_;
  QComboBox* cboFault_ = nullptr;
  QComboBox* cboException_ = nullptr;
  QComboBox* cboDelay_ = nullptr;
  QSpinBox* spnDelayMin_ = nullptr;
  QSpinBox* spnDelayMax_ = nullptr;
  QComboBox* cboOften_ = nullptr;
  QSpinBox* spnOneIn_ = nullptr;
  QComboBox* cboSweep_ = nullptr;
  QLineEdit* txtFrom_ = nullptr;
  QLineEdit* txtTo_ = nullptr;
  QLineEdit* txtStep_ = nullptr;
  QLabel* lblError_ = nullptr;
};

}  // namespace vantor
