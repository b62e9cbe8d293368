#include "ui/BenchDialog.h"

#include "ui/Help.h"
#include "ui/WindowParts.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

#include <cmath>

namespace vantor {

namespace {

QComboBox* combo(const QString& name, const QStringList& entries, QWidget* parent) {
  auto* c = new QComboBox(parent);
  c->setObjectName(name);
  c->addItems(entries);
  return c;
}

QSpinBox* spin(const QString& name, int first, int last, const QString& suffix, QWidget* parent) {
  auto* s = new QSpinBox(parent);
  s->setObjectName(name);
  s->setRange(first, last);
  s->setSuffix(suffix);
  return s;
}

QString shown(qint64 integer, int decimals) {
  return decimals == 0 ? QString::number(integer)
                       : QString::number(double(integer) / std::pow(10.0, decimals), 'f', decimals);
}

}  // namespace

BenchDialog::BenchDialog(const QString& slave, TypedFormat format, const Fault& fault,
                         const std::optional<Sweep>& sweep, QWidget* parent)
    : QDialog(parent), format_(format), sweep_(sweep) {
  setObjectName(QStringLiteral("dlgBench"));
  setWindowTitle(QStringLiteral("%1: faults and sweeps").arg(slave));
  giveHelpKey(this, help::kBenchDialog);

  QGroupBox* faultBox = buildFaultBox();
  QGroupBox* sweepBox = buildSweepBox();
  error_ = new QLabel(this);
  error_->setObjectName(QStringLiteral("lblBenchError"));
  error_->setWordWrap(true);
  markText(error_, Mark::Failure);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &BenchDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &BenchDialog::reject);

  auto* root = new QVBoxLayout(this);
  root->addWidget(faultBox);
  root->addWidget(sweepBox);
  root->addWidget(error_);
  root->addWidget(buttons);

  showCurrent(fault);
  for (QComboBox* c : {faultKind_, delayKind_, howOften_, sweepKind_})
    connect(c, &QComboBox::currentIndexChanged, this, &BenchDialog::showEnabled);
  showEnabled();
}

QGroupBox* BenchDialog::buildFaultBox() {
  auto* faultBox = new QGroupBox(QStringLiteral("Fault"), this);
  faultKind_ =
      combo(QStringLiteral("cboFault"),
            {QStringLiteral("none"), QStringLiteral("no reply"), QStringLiteral("exception reply"),
             QStringLiteral("broken check value"), QStringLiteral("reply from the next address")},
            faultBox);
  exceptionCode_ = new QComboBox(faultBox);
  exceptionCode_->setObjectName(QStringLiteral("cboException"));
  for (const ExceptionCode& e : kExceptionCodes)
    exceptionCode_->addItem(
        QStringLiteral("%1 %2").arg(e.code, 2, 10, QLatin1Char('0')).arg(QLatin1String(e.meaning)),
        e.code);
  delayKind_ = combo(
      QStringLiteral("cboDelay"),
      {QStringLiteral("at once"), QStringLiteral("fixed delay"), QStringLiteral("random delay")},
      faultBox);
  delayMin_ = spin(QStringLiteral("spnDelayMin"), 0, 60000, QStringLiteral(" ms"), faultBox);
  delayMax_ = spin(QStringLiteral("spnDelayMax"), 0, 60000, QStringLiteral(" ms"), faultBox);
  howOften_ = combo(QStringLiteral("cboOften"),
                    {QStringLiteral("every poll"), QStringLiteral("one poll in N")}, faultBox);
  oneIn_ = spin(QStringLiteral("spnOneIn"), 2, 1000000, {}, faultBox);
  auto* delays = new QHBoxLayout;
  delays->addWidget(delayKind_);
  delays->addWidget(delayMin_);
  delays->addWidget(new QLabel(QStringLiteral("to"), faultBox));
  delays->addWidget(delayMax_);
  auto* often = new QHBoxLayout;
  often->addWidget(howOften_);
  often->addWidget(oneIn_);
  auto* faultForm = new QFormLayout(faultBox);
  faultForm->addRow(caption(QStringLiteral("Kind"), faultKind_, faultBox), faultKind_);
  faultForm->addRow(caption(QStringLiteral("Exception code"), exceptionCode_, faultBox),
                    exceptionCode_);
  faultForm->addRow(caption(QStringLiteral("Reply"), delayKind_, faultBox), delays);
  faultForm->addRow(caption(QStringLiteral("How often"), howOften_, faultBox), often);
  return faultBox;
}

QGroupBox* BenchDialog::buildSweepBox() {
  auto* sweepBox = new QGroupBox(QStringLiteral("Value sweep"), this);
  sweepKind_ = combo(QStringLiteral("cboSweep"),
                     {QStringLiteral("none"), QStringLiteral("ramp, one step per poll"),
                      QStringLiteral("random within a range")},
                     sweepBox);
  sweepFrom_ = new QLineEdit(sweepBox);
  sweepFrom_->setObjectName(QStringLiteral("txtFrom"));
  sweepTo_ = new QLineEdit(sweepBox);
  sweepTo_->setObjectName(QStringLiteral("txtTo"));
  sweepStep_ = new QLineEdit(sweepBox);
  sweepStep_->setObjectName(QStringLiteral("txtStep"));
  const auto [low, high] = typedRange(format_);
  auto* range = new QLabel(QStringLiteral("%1, %2 decimal places: %3 to %4")
                               .arg(typeName(format_.type))
                               .arg(format_.decimals)
                               .arg(shown(low, format_.decimals), shown(high, format_.decimals)),
                           sweepBox);
  auto* sweepForm = new QFormLayout(sweepBox);
  sweepForm->addRow(caption(QStringLiteral("Sweep"), sweepKind_, sweepBox), sweepKind_);
  sweepForm->addRow(caption(QStringLiteral("From"), sweepFrom_, sweepBox), sweepFrom_);
  sweepForm->addRow(caption(QStringLiteral("To"), sweepTo_, sweepBox), sweepTo_);
  sweepForm->addRow(caption(QStringLiteral("Step"), sweepStep_, sweepBox), sweepStep_);
  sweepForm->addRow(range);
  return sweepBox;
}

// What is on now: `fault`, and the sweep the dialog was opened with.
void BenchDialog::showCurrent(const Fault& fault) {
  faultKind_->setCurrentIndex(int(fault.kind));
  exceptionCode_->setCurrentIndex(exceptionCode_->findData(fault.exceptionCode));
  delayKind_->setCurrentIndex(fault.delayMaxMs == 0                  ? 0
                              : fault.delayMinMs == fault.delayMaxMs ? 1
                                                                     : 2);
  delayMin_->setValue(fault.delayMinMs);
  delayMax_->setValue(fault.delayMaxMs);
  howOften_->setCurrentIndex(fault.oneIn > 1 ? 1 : 0);
  oneIn_->setValue(std::max(fault.oneIn, 2));
  if (sweep_) {
    sweepKind_->setCurrentIndex(sweep_->isRamp() ? 1 : 2);
    sweepFrom_->setText(shown(sweep_->from(), format_.decimals));
    sweepTo_->setText(shown(sweep_->to(), format_.decimals));
    sweepStep_->setText(shown(sweep_->step(), format_.decimals));
  }
}

void BenchDialog::showEnabled() {
  exceptionCode_->setEnabled(faultKind_->currentIndex() == int(FaultKind::Exception));
  delayMin_->setEnabled(delayKind_->currentIndex() > 0);
  delayMax_->setEnabled(delayKind_->currentIndex() == 2);
  oneIn_->setEnabled(howOften_->currentIndex() == 1);
  sweepFrom_->setEnabled(sweepKind_->currentIndex() > 0);
  sweepTo_->setEnabled(sweepKind_->currentIndex() > 0);
  sweepStep_->setEnabled(sweepKind_->currentIndex() == 1);
}

Fault BenchDialog::fault() const {
  Fault f;
  f.kind = FaultKind(faultKind_->currentIndex());
  f.exceptionCode = exceptionCode_->currentData().toInt();
  if (delayKind_->currentIndex() > 0) {
    f.delayMinMs = delayMin_->value();
    f.delayMaxMs = delayKind_->currentIndex() == 1 ? f.delayMinMs : delayMax_->value();
  }
  f.oneIn = howOften_->currentIndex() == 1 ? oneIn_->value() : 1;
  return f;
}

void BenchDialog::accept() {
  QString why;
  if (delayKind_->currentIndex() == 2 && delayMax_->value() < delayMin_->value()) {
    error_->setText(QStringLiteral("The delay's upper bound is below its lower bound."));
    return;
  }
  if (sweepKind_->currentIndex() == 0) {
    sweep_.reset();
  } else {
    const QString step = sweepKind_->currentIndex() == 1 ? sweepStep_->text() : QString();
    auto sweep = typedSweep(sweepFrom_->text(), sweepTo_->text(), step, format_, &why);
    if (!sweep) {
      error_->setText(why);
      return;
    }
    sweep_ = sweep;
  }
  QDialog::accept();
}

}  // namespace vantor
