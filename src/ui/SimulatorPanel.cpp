#include "ui/SimulatorPanel.h"

#include "core/settings/IniFile.h"
#include "core/settings/Schema.h"
#include "core/simulator/BenchScenario.h"
#include "ui/BenchDialog.h"
#include "ui/Dialogs.h"
#include "ui/SlaveQuadrant.h"
#include "ui/WindowParts.h"

#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPushButton>

namespace vantor {

namespace {

const QString kBenchFilter = QStringLiteral("Bench scenarios (*.vbench)");

QString keptSection(const QString& module) {
  return QLatin1String(module == QLatin1String(ini::lcd::kTwoLine) ? ini::bench::kSection1602
                                                                   : ini::bench::kSection2004);
}

QString keptKey(int slave) {
  return QLatin1String(ini::bench::kTyped) + QString::number(slave);
}

QFrame* separator(const QString& name, QFrame::Shape shape, QWidget* parent) {
  auto* frame = new QFrame(parent);
  frame->setObjectName(name);
  frame->setFrameShape(shape);
  frame->setFrameShadow(QFrame::Sunken);
  return frame;
}

TypedFormat formatOf(const Slave& slave) {
  return {slave.dataType, slave.decimals};
}

}  // namespace

SimulatorPanel::SimulatorPanel(const IniFile& ini, Dialogs& dialogs, QWidget* parent)
    : QGroupBox(QStringLiteral("Modbus Slave Simulator"), parent), ini_(ini), dialogs_(dialogs) {
  setObjectName(QStringLiteral("fModSim"));
  setEnabled(false);
  auto* grid = new QGridLayout(this);
  // Slave 1 top left, 2 bottom left, 3 top right, 4 bottom right.
  for (int slave = 1; slave <= kSlaveCount; ++slave) {
    auto* quadrant = new SlaveQuadrant(slave, this);
    quadrants_[std::size_t(slave - 1)] = quadrant;
    grid->addWidget(quadrant, slave % 2 == 1 ? 0 : 2, slave <= 2 ? 0 : 2);
    connect(quadrant, &SlaveQuadrant::valuesChanged, this, &SimulatorPanel::planChanged);
    connect(quadrant, &SlaveQuadrant::benchClicked, this, &SimulatorPanel::openBench);
  }
  grid->addWidget(separator(QStringLiteral("Line1"), QFrame::HLine, this), 1, 0, 1, 3);
  grid->addWidget(separator(QStringLiteral("Line2"), QFrame::VLine, this), 0, 1, 3, 1);
  grid->addLayout(buildBenchFiles(), 3, 0, 1, 3);
}

QLayout* SimulatorPanel::buildBenchFiles() {
  auto* save = namedButton(QStringLiteral("saveBench"), tr("Save &bench..."), this);
  save->setToolTip(tr("Save every slave's value, faults, delay and sweep to a .vbench file"));
  auto* open = namedButton(QStringLiteral("openBench"), tr("&Open bench..."), this);
  open->setToolTip(tr("Set every slave's bench controls from a .vbench file"));
  connect(save, &QPushButton::clicked, this, &SimulatorPanel::saveBenchFile);
  connect(open, &QPushButton::clicked, this, &SimulatorPanel::openBenchFile);
  auto* row = new QHBoxLayout;
  row->addWidget(save);
  row->addWidget(open);
  row->addStretch();
  return row;
}

void SimulatorPanel::showLoad(const SlaveTableLoad& load, const QString& module) {
  table_ = load.table;
  for (std::size_t i = 0; i < quadrants_.size(); ++i) {
    quadrants_[i]->setSlave(table_[i]);
    quadrants_[i]->showView(load.views[i]);
  }
  applyKeptValues(module);
  // A sweep runs on in the numbers the module shows, now by the data type just loaded.
  for (int slave = 1; slave <= kSlaveCount; ++slave)
    if (sweeps_[std::size_t(slave - 1)]) setSweep(slave, sweeps_[std::size_t(slave - 1)]);
  emit planChanged();
}

void SimulatorPanel::fillPlan(ServePlan& plan) const {
  plan.table = table_;
  for (std::size_t i = 0; i < quadrants_.size(); ++i) plan.values[i] = quadrants_[i]->values();
  plan.faults = faults_;
  plan.sweeps = sweeps_;
}

void SimulatorPanel::setFault(int slave, const Fault& fault) {
  faults_[std::size_t(slave - 1)] = fault;
  showBench(slave);
  emit planChanged();
}

void SimulatorPanel::setSweep(int slave, const std::optional<Sweep>& sweep) {
  const std::size_t i = std::size_t(slave - 1);
  sweeps_[i] = sweep;
  if (sweep)
    if (const auto raw = rawOf(sweep->value(), formatOf(table_[i]))) quadrants_[i]->setRaw(*raw);
  showBench(slave);
  emit planChanged();
}

void SimulatorPanel::followSweep(int slave, std::uint32_t raw) {
  if (sweeps_[std::size_t(slave - 1)]) quadrants_[std::size_t(slave - 1)]->setRaw(raw);
}

QList<QWidget*> SimulatorPanel::tabOrder() const {
  QList<QWidget*> order;
  for (const SlaveQuadrant* quadrant : quadrants_) order << quadrant->tabOrder();
  for (const char* name : {"saveBench", "openBench"})
    order << findChild<QPushButton*>(QLatin1String(name));
  return order;
}

void SimulatorPanel::showBench(int slave) {
  const std::size_t i = std::size_t(slave - 1);
  QStringList on;
  if (const QString fault = describeFault(faults_[i]); !fault.isEmpty()) on << fault;
  if (const auto& sweep = sweeps_[i])
    on << (sweep->isRamp() ? QStringLiteral("Ramp on") : QStringLiteral("Random values on"));
  quadrants_[i]->showBench(on.join(u'\n'));
}

void SimulatorPanel::openBench(int slave) {
  const std::size_t i = std::size_t(slave - 1);
  QString name = slaveName(table_[i].address, slave);
  name[0] = name[0].toUpper();
  BenchDialog dialog(name, formatOf(table_[i]), faults_[i], sweeps_[i], this);
  if (dialog.exec() != QDialog::Accepted) return;
  setFault(slave, dialog.fault());
  setSweep(slave, dialog.sweep());
}

void SimulatorPanel::saveBenchFile() {
  QString path = dialogs_.saveFileName(this, tr("Save bench"), kBenchFilter);
  if (path.isEmpty()) return;
  if (QFileInfo(path).suffix().isEmpty()) path += u'.' + QLatin1String(kBenchSuffix);
  std::array<BenchTexts, kSlaveCount> slaves;
  for (std::size_t i = 0; i < quadrants_.size(); ++i) {
    // A slave the module does not poll has nothing a scenario could set.
    if (!table_[i].enabled) continue;
    BenchTexts& texts = slaves[i];
    const auto raw = quadrants_[i]->rawValue();
    const TypedFormat format = formatOf(table_[i]);
    if (const auto value = valueControl(quadrants_[i]->typedText(), raw.value_or(0), format))
      texts.insert(*value);
    texts[BenchKey::Fault] = faultText(faults_[i]);
    texts[BenchKey::Delay] = delayText(faults_[i]);
    if (sweeps_[i]) texts.insert(sweepText(*sweeps_[i], format));
  }
  QString error;
  if (!writeBenchScenario(path, keptModule_, slaves, &error)) {
    dialogs_.message(this, tr("The bench was not saved."), error);
    return;
  }
  emit said(tr("Saved the bench to %1.").arg(path));
  emit scenarioChanged(path);
}

void SimulatorPanel::openBenchFile() {
  const QString path = dialogs_.openFileName(this, tr("Open bench"), kBenchFilter);
  if (path.isEmpty()) return;
  const BenchRead read = readBenchScenario(path, keptModule_, table_);
  if (!read.scenario) {
    // Refused: the bench stays as it was.
    dialogs_.message(this, tr("The bench was not opened."), read.error);
    return;
  }
  // What the file leaves out is off: no fault, no sweep, the value 0.
  for (int slave = 1; slave <= kSlaveCount; ++slave) {
    const std::size_t i = std::size_t(slave - 1);
    const BenchTexts& texts = read.scenario->slaves[i];
    const SlaveBench& controls = read.scenario->controls[i];
    if (table_[i].enabled) {
      const auto typed = texts.find(BenchKey::Typed);
      quadrants_[i]->applyText({});
      quadrants_[i]->setRaw(controls.raw.value_or(0));
      if (typed != texts.end()) quadrants_[i]->applyText(typed->second);
    }
    setFault(slave, controls.fault);
    setSweep(slave, controls.sweep);
  }
  emit said(tr("Opened the bench %1.").arg(path));
  emit scenarioChanged(path);
}

// At every Connect (the lists just reset to 0x00): the values the module's slaves had when
// the window last closed, as the settings file keeps them. Never the other module's.
void SimulatorPanel::applyKeptValues(const QString& module) {
  keptModule_ = module;
  const IniSnapshot file = ini_.snapshot();
  for (int slave = 1; slave <= kSlaveCount; ++slave) {
    const std::size_t i = std::size_t(slave - 1);
    const QString text = file.value(keptSection(module), keptKey(slave)).trimmed();
    if (!table_[i].enabled || text.isEmpty()) continue;
    if (!text.startsWith(u"0x", Qt::CaseInsensitive)) {
      // Typed: refused beside the box, with the range, when the data type changed since.
      quadrants_[i]->applyText(text);
      continue;
    }
    SlaveBench taken;
    if (takeBenchControl(BenchKey::Value, text, table_, slave, taken).isEmpty())
      quadrants_[i]->setRaw(*taken.raw);
  }
}

void SimulatorPanel::appendKeptValues(std::vector<IniEntry>& entries) const {
  // Only the module connected last has its values in the window; never connected, nothing
  // changes.
  if (keptModule_.isEmpty()) return;
  for (std::size_t i = 0; i < quadrants_.size(); ++i) {
    if (!table_[i].enabled) continue;
    const auto raw = quadrants_[i]->rawValue();
    const auto value =
        valueControl(quadrants_[i]->typedText(), raw.value_or(0), formatOf(table_[i]));
    entries.push_back(
        {keptSection(keptModule_), keptKey(int(i + 1)), value ? value->second : QString()});
  }
}

}  // namespace vantor
