#include "ui/BenchDialog.h"

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

BenchDialog::BenchDialog(int slave, TypedFormat format, const Fault& fault,
                         const std::optional<Sweep>& sweep, QWidget* parent)
    : QDialog(parent), format_(format), sweep_(sweep) {
  setObjectName(QStringLiteral("dlgBench"));
  setWindowTitle(QStringLiteral("Slave %1: faults and sweeps").arg(slave));

  auto* faultBox = new QGroupBox(QStringLiteral("Fault"), this);
  cboFault_ =
      combo(QStringLiteral("cboFault"),
            {QStringLiteral("none"), QStringLiteral("no reply"), QStringLiteral("exception reply"),
             QStringLiteral("broken check value"), QStringLiteral("reply from the next address")},
            faultBox);
  cboException_ = new QComboBox(faultBox);
  cboException_->setObjectName(QStringLiteral("cboException"));
  for (const ExceptionCode& e : kExceptionCodes)
    cboException_->addItem(
        QStringLiteral("%1 %2").arg(e.code, 2, 10, QLatin1Char('0')).arg(QLatin1String(e.meaning)),
        e.code);
  cboDelay_ = combo(
      QStringLiteral("cboDelay"),
      {QStringLiteral("at once"), QStringLiteral("fixed delay"), QStringLiteral("random delay")},
      faultBox);
  spnDelayMin_ = spin(QStringLiteral("spnDelayMin"), 0, 60000, QStringLiteral(" ms"), faultBox);
  spnDelayMax_ = spin(QStringLiteral("spnDelayMax"), 0, 60000, QStringLiteral(" ms"), faultBox);
  cboOften_ = combo(QStringLiteral("cboOften"),
                    {QStringLiteral("every poll"), QStringLiteral("one poll in N")}, faultBox);
  spnOneIn_ = spin(QStringLiteral("spnOneIn"), 2, 1000000, {}, faultBox);
  auto* delays = new QHBoxLayout;
  delays->addWidget(cboDelay_);
  delays->addWidget(spnDelayMin_);
  delays->addWidget(new QLabel(QStringLiteral("to"), faultBox));
  delays->addWidget(spnDelayMax_);
  auto* often = new QHBoxLayout;
  often->addWidget(cboOften_);
  often->addWidget(spnOneIn_);
  auto* faultForm = new QFormLayout(faultBox);
  faultForm->addRow(caption(QStringLiteral("Kind"), cboFault_, faultBox), cboFault_);
  faultForm->addRow(caption(QStringLiteral("Exception code"), cboException_, faultBox),
                    cboException_);
  faultForm->addRow(caption(QStringLiteral("Reply"), cboDelay_, faultBox), delays);
  faultForm->addRow(caption(QStringLiteral("How often"), cboOften_, faultBox), often);

  auto* sweepBox = new QGroupBox(QStringLiteral("Value sweep"), this);
  cboSweep_ = combo(QStringLiteral("cboSweep"),
                    {QStringLiteral("none"), QStringLiteral("ramp, one step per poll"),
                     QStringLiteral("random within a range")},
                    sweepBox);
  txtFrom_ = new QLineEdit(sweepBox);
  txtFrom_->setObjectName(QStringLiteral("txtFrom"));
  txtTo_ = new QLineEdit(sweepBox);
  txtTo_->setObjectName(QStringLiteral("txtTo"));
  txtStep_ = new QLineEdit(sweepBox);
  txtStep_->setObjectName(QStringLiteral("txtStep"));
  const auto [low, high] = typedRange(format_);
  auto* range = new QLabel(QStringLiteral("%1, %2 decimal places: %3 to %4")
                               .arg(typeName(format_.type))
                               .arg(format_.decimals)
                               .arg(shown(low, format_.decimals), shown(high, format_.decimals)),
                           sweepBox);
  auto* sweepForm = new QFormLayout(sweepBox);
  sweepForm->addRow(caption(QStringLiteral("Sweep"), cboSweep_, sweepBox), cboSweep_);
  sweepForm->addRow(caption(QStringLiteral("From"), txtFrom_, sweepBox), txtFrom_);
  sweepForm->addRow(caption(QStringLiteral("To"), txtTo_, sweepBox), txtTo_);
  sweepForm->addRow(caption(QStringLiteral("Step"), txtStep_, sweepBox), txtStep_);
  sweepForm->addRow(range);

  lblError_ = new QLabel(this);
  lblError_->setObjectName(QStringLiteral("lblBenchError"));
  lblError_->setWordWrap(true);
  markText(lblError_, Mark::Failure);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &BenchDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &BenchDialog::reject);

  auto* root = new QVBoxLayout(this);
  root->addWidget(faultBox);
  root->addWidget(sweepBox);
  root->addWidget(lblError_);
  root->addWidget(buttons);

  // What is on now.
  cboFault_->setCurrentIndex(int(fault.kind));
  cboException_->setCurrentIndex(cboException_->findData(fault.exceptionCode));
  cboDelay_->setCurrentIndex(fault.delayMaxMs == 0                  ? 0
                             : fault.delayMinMs == fault.delayMaxMs ? 1
                                                                    : 2);
  spnDelayMin_->setValue(fault.delayMinMs);
  spnDelayMax_->setValue(fault.delayMaxMs);
  cboOften_->setCurrentIndex(fault.oneIn > 1 ? 1 : 0);
  spnOneIn_->setValue(std::max(fault.oneIn, 2));
  if (sweep_) {
    cboSweep_->setCurrentIndex(sweep_->isRamp() ? 1 : 2);
    txtFrom_->setText(shown(sweep_->from(), format_.decimals));
    txtTo_->setText(shown(sweep_->to(), format_.decimals));
    txtStep_->setText(shown(sweep_->step(), format_.decimals));
  }
  for (QComboBox* c : {cboFault_, cboDelay_, cboOften_, cboSweep_})
    connect(c, &QComboBox::currentIndexChanged, this, &BenchDialog::showEnabled);
  showEnabled();
}

void BenchDialog::showEnabled() {
  cboException_->setEnabled(cboFault_->currentIndex() == int(FaultKind::Exception));
  spnDelayMin_->setEnabled(cboDelay_->currentIndex() > 0);
  spnDelayMax_->setEnabled(cboDelay_->currentIndex() == 2);
  spnOneIn_->setEnabled(cboOften_->currentIndex() == 1);
  txtFrom_->setEnabled(cboSweep_->currentIndex() > 0);
  txtTo_->setEnabled(cboSweep_->currentIndex() > 0);
  txtStep_->setEnabled(cboSweep_->currentIndex() == 1);
}

Fault BenchDialog::fault() const {
  Fault f;
  f.kind = FaultKind(cboFault_->currentIndex());
  f.exceptionCode = cboException_->currentData().toInt();
  if (cboDelay_->currentIndex() > 0) {
    f.delayMinMs = spnDelayMin_->value();
    f.delayMaxMs = cboDelay_->currentIndex() == 1 ? f.delayMinMs : spnDelayMax_->value();
  }
  f.oneIn = cboOften_->currentIndex() == 1 ? spnOneIn_->value() : 1;
  return f;
}

void BenchDialog::accept() {
  QString why;
  if (cboDelay_->currentIndex() == 2 && spnDelayMax_->value() < spnDelayMin_->value()) {
    lblError_->setText(QStringLiteral("The delay's upper bound is below its lower bound."));
    return;
  }
  if (cboSweep_->currentIndex() == 0) {
    sweep_.reset();
  } else {
    const QString step = cboSweep_->currentIndex() == 1 ? txtStep_->text() : QString();
    auto sweep = typedSweep(txtFrom_->text(), txtTo_->text(), step, format_, &why);
    if (!sweep) {
      lblError_->setText(why);
      return;
    }
    sweep_ = sweep;
  }
  QDialog::accept();
}

}  // namespace vantor
