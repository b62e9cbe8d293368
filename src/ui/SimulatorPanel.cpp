#include "ui/SimulatorPanel.h"

#include "core/Logging.h"
#include "core/settings/IniFile.h"
#include "core/settings/Schema.h"
#include "core/simulator/BenchScenario.h"
#include "ui/BenchDialog.h"
#include "ui/Dialogs.h"
#include "ui/SlaveQuadrant.h"
#include "ui/WindowParts.h"

#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QToolButton>

#include <utility>

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

QStringList benchFilesOf(const QMimeData* dropped) {
  QStringList paths;
  for (const QUrl& url : dropped->urls())
    if (url.isLocalFile() &&
        QFileInfo(url.toLocalFile())
                .suffix()
                .compare(QLatin1String(kBenchSuffix), Qt::CaseInsensitive) == 0)
      paths << url.toLocalFile();
  return paths;
}

class BenchDrops : public QObject {
 public:
  BenchDrops(QWidget* window, std::function<void(const QString&)> open)
      : QObject(window), open_(std::move(open)) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    switch (event->type()) {
      case QEvent::DragEnter:
      case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (!benchFilesOf(drag->mimeData()).isEmpty()) drag->acceptProposedAction();
        return true;
      }
      case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const QStringList paths = benchFilesOf(drop->mimeData());
        if (paths.isEmpty()) return true;
        drop->acceptProposedAction();
        open_(paths.first());  // of several, one: each would undo the one before
        return true;
      }
      default:
        return QObject::eventFilter(watched, event);
    }
  }

 private:
  std::function<void(const QString&)> open_;
};

}  // namespace

void acceptBenchDrops(QWidget* window, std::function<void(const QString& path)> open) {
  window->setAcceptDrops(true);
  window->installEventFilter(new BenchDrops(window, std::move(open)));
}

SimulatorPanel::SimulatorPanel(IniFile& ini, Dialogs& dialogs, QWidget* parent)
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
  // The scenarios used last, newest first, as the settings file has them when the list opens
  // (another window may have added one).
  auto* recent = new QToolButton(this);
  recent->setObjectName(QStringLiteral("cmdRecentBench"));
  recent->setText(tr("Recent"));
  recent->setAccessibleName(tr("Recent benches"));
  recent->setToolTip(tr("Open one of the bench scenarios used last"));
  recentMenu_ = new QMenu(recent);
  recentMenu_->setObjectName(QStringLiteral("mnuRecentBench"));
  connect(recentMenu_, &QMenu::aboutToShow, this, &SimulatorPanel::showRecent);
  recent->setMenu(recentMenu_);
  recent->setPopupMode(QToolButton::InstantPopup);
  auto* row = new QHBoxLayout;
  row->addWidget(save);
  row->addWidget(open);
  row->addWidget(recent);
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
  // A scenario named before this Connect goes over the kept values, as one opened now would.
  if (!pending_.isEmpty()) openScenario(std::exchange(pending_, {}));
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
  for (const char* name : {"saveBench", "openBench", "cmdRecentBench"})
    order << findChild<QWidget*>(QLatin1String(name));
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
  const QString folder =
      ini_.read(QLatin1String(ini::benchfiles::kSection), QLatin1String(ini::benchfiles::kFolder));
  QString filter = kBenchFilter;
  QString path = dialogs_.saveFileAs(this, tr("Save bench"), folder, kBenchFilter, &filter);
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
  emit said((tr("Saved the bench to %1.").arg(path) + u' ' + remember(path)).trimmed());
  emit scenarioChanged(path);
}

void SimulatorPanel::openBenchFile() {
  const QString folder =
      ini_.read(QLatin1String(ini::benchfiles::kSection), QLatin1String(ini::benchfiles::kFolder));
  const QString path = dialogs_.openFileIn(this, tr("Open bench"), folder, kBenchFilter);
  if (!path.isEmpty()) openScenario(path);
}

bool SimulatorPanel::openScenario(const QString& path) {
  const BenchRead read = readBenchScenario(path, keptModule_, table_);
  if (!read.scenario) {
    // Refused: the bench stays as it was.
    dialogs_.message(this, tr("The bench was not opened."), read.error);
    return false;
  }
  applyScenario(*read.scenario);
  qCDebug(lcSimulator) << "bench scenario set:" << path;
  emit said((tr("Opened the bench %1.").arg(path) + u' ' + remember(path)).trimmed());
  emit scenarioChanged(path);
  return true;
}

bool SimulatorPanel::openAtNextConnect(const QString& path, const QString& module,
                                       const SlaveTable& table) {
  const BenchRead read = readBenchScenario(path, module, table);
  if (!read.scenario) {
    dialogs_.message(this, tr("The bench was not opened."), read.error);
    return false;
  }
  pending_ = path;
  qCDebug(lcSimulator) << "bench scenario read for module" << module
                       << "to set at the next Connect:" << path;
  emit said((tr("The bench %1 will be set at the next Connect.").arg(path) + u' ' + remember(path))
                .trimmed());
  return true;
}

// What the file leaves out is off: no fault, no sweep, the value 0.
void SimulatorPanel::applyScenario(const BenchScenario& scenario) {
  for (int slave = 1; slave <= kSlaveCount; ++slave) {
    const std::size_t i = std::size_t(slave - 1);
    const BenchTexts& texts = scenario.slaves[i];
    const SlaveBench& controls = scenario.controls[i];
    if (table_[i].enabled) {
      const auto typed = texts.find(BenchKey::Typed);
      quadrants_[i]->applyText({});
      quadrants_[i]->setRaw(controls.raw.value_or(0));
      if (typed != texts.end()) quadrants_[i]->applyText(typed->second);
    }
    setFault(slave, controls.fault);
    setSweep(slave, controls.sweep);
  }
}

QString SimulatorPanel::remember(const QString& path) {
  const QFileInfo file(path);
  const QStringList recent =
      withRecentBench(readRecentBenches(ini_.snapshot()), file.absoluteFilePath());
  QString error;
  if (ini_.save(recentBenchEntries(recent, file.absolutePath()), &error)) return {};
  return tr("The list of recent benches was not kept: %1").arg(error);
}

void SimulatorPanel::showRecent() {
  recentMenu_->clear();
  const QStringList recent = readRecentBenches(ini_.snapshot());
  for (qsizetype n = 0; n < recent.size(); ++n) {
    const QFileInfo file(recent[n]);
    // "&1 bench.vbench (/home/me/benches)": the digit picks it from the keyboard.
    QAction* entry = recentMenu_->addAction(
        QStringLiteral("&%1 %2 (%3)")
            .arg(n + 1)
            .arg(file.fileName(), QDir::toNativeSeparators(file.absolutePath())));
    entry->setData(recent[n]);
    entry->setEnabled(file.exists());
    connect(entry, &QAction::triggered, this, [this, path = recent[n]] { openScenario(path); });
  }
  if (recent.isEmpty()) recentMenu_->addAction(tr("No bench opened yet"))->setEnabled(false);
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
