// The main window's bench as a whole: saved to and opened from a scenario file, and the value
// each slave answers kept in the settings file from one run to the next.
#include "core/settings/IniFile.h"
#include "core/settings/Schema.h"
#include "core/simulator/BenchScenario.h"
#include "ui/Dialogs.h"
#include "ui/MainWindow.h"
#include "ui/WindowParts.h"

#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
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

}  // namespace

QLayout* MainWindow::buildBenchFiles() {
  auto* save = namedButton(QStringLiteral("saveBench"), tr("Save &bench..."), simulator_);
  save->setToolTip(tr("Save every slave's value, faults, delay and sweep to a .vbench file"));
  auto* open = namedButton(QStringLiteral("openBench"), tr("&Open bench..."), simulator_);
  open->setToolTip(tr("Set every slave's bench controls from a .vbench file"));
  connect(save, &QPushButton::clicked, this, &MainWindow::saveBenchFile);
  connect(open, &QPushButton::clicked, this, &MainWindow::openBenchFile);
  auto* row = new QHBoxLayout;
  row->addWidget(save);
  row->addWidget(open);
  row->addStretch();
  return row;
}

QString MainWindow::benchModule() const {
  return moduleList_->currentData().toString();
}

void MainWindow::saveBenchFile() {
  QString path = dialogs_.saveFileName(this, tr("Save bench"), kBenchFilter);
  if (path.isEmpty()) return;
  if (QFileInfo(path).suffix().isEmpty()) path += u'.' + QLatin1String(kBenchSuffix);
  std::array<BenchTexts, kSlaveCount> slaves;
  for (int slave = 1; slave <= kSlaveCount; ++slave) {
    const std::size_t i = std::size_t(slave - 1);
    // A slave the module does not poll has nothing a scenario could set.
    if (!table_[i].enabled) continue;
    BenchTexts& texts = slaves[i];
    const auto raw = listValue(slave);
    if (const auto value = valueControl(typedValues_[i]->text(), raw.value_or(0), formatOf(slave)))
      texts.insert(*value);
    texts[BenchKey::Fault] = faultText(faults_[i]);
    texts[BenchKey::Delay] = delayText(faults_[i]);
    if (sweeps_[i]) texts.insert(sweepText(*sweeps_[i], formatOf(slave)));
  }
  QString error;
  if (!writeBenchScenario(path, benchModule(), slaves, &error))
    dialogs_.message(this, tr("The bench was not saved."), error);
}

void MainWindow::openBenchFile() {
  const QString path = dialogs_.openFileName(this, tr("Open bench"), kBenchFilter);
  if (path.isEmpty()) return;
  const BenchRead read = readBenchScenario(path, benchModule(), table_);
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
      typedValues_[i]->setText(typed == texts.end() ? QString() : typed->second);
      setListValue(slave, controls.raw.value_or(0));
      showDecoded(slave);
    }
    setFault(slave, controls.fault);
    setSweep(slave, controls.sweep);
  }
}

void MainWindow::readKeptValues(const IniSnapshot& file) {
  for (const QString module :
       {QLatin1String(ini::lcd::kTwoLine), QLatin1String(ini::lcd::kFourLine)})
    for (int slave = 1; slave <= kSlaveCount; ++slave)
      keptValues_[module][std::size_t(slave - 1)] =
          file.value(keptSection(module), keptKey(slave)).trimmed();
}

// Run once a Connect has loaded the slaves (their lists at 0x00): the first Connect of each
// module in a run sets the values its slaves had when the window last closed.
void MainWindow::restoreKeptValues() {
  keptModule_ = benchModule();
  const auto kept = keptValues_.find(keptModule_);
  if (kept == keptValues_.end()) return;
  for (int slave = 1; slave <= kSlaveCount; ++slave) {
    const std::size_t i = std::size_t(slave - 1);
    const QString& text = kept->second[i];
    if (!table_[i].enabled || text.isEmpty()) continue;
    const BenchKey key =
        text.startsWith(u"0x", Qt::CaseInsensitive) ? BenchKey::Value : BenchKey::Typed;
    if (key == BenchKey::Typed) typedValues_[i]->setText(text);
    SlaveBench taken;
    if (const QString why = takeBenchControl(key, text, table_, slave, taken); !why.isEmpty()) {
      // The slave's data type changed since: say why, as a value typed now would.
      decodedValues_[i]->setText(why);
      markText(decodedValues_[i], Mark::Failure);
      continue;
    }
    setListValue(slave, *taken.raw);
    showDecoded(slave);
  }
  keptValues_.erase(kept);
}

void MainWindow::appendKeptValues(std::vector<IniEntry>& entries) const {
  // Only the module connected last has its values in the window; never connected, nothing
  // changes.
  if (keptModule_.isEmpty()) return;
  for (int slave = 1; slave <= kSlaveCount; ++slave) {
    const std::size_t i = std::size_t(slave - 1);
    if (!table_[i].enabled) continue;
    const auto raw = listValue(slave);
    const auto value = valueControl(typedValues_[i]->text(), raw.value_or(0), formatOf(slave));
    entries.push_back(
        {keptSection(keptModule_), keptKey(slave), value ? value->second : QString()});
  }
}

}  // namespace vantor
