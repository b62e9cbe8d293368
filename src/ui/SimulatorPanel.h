#pragma once

#include "core/simulator/Faults.h"
#include "core/simulator/Responder.h"
#include "core/simulator/Serving.h"
#include "core/simulator/SlaveTable.h"

#include <QGroupBox>
#include <QString>

#include <array>
#include <functional>
#include <optional>
#include <vector>

class QLayout;
class QMenu;

namespace vantor {

class Dialogs;
class IniFile;
class SlaveQuadrant;
struct BenchScenario;
struct IniEntry;

// A bench scenario (".vbench") dropped on `window` from a file manager goes to `open` (the
// first, when several are); anything else is not taken.
void acceptBenchDrops(QWidget* window, std::function<void(const QString& path)> open);

// The simulator: one quadrant per slave (1 and 2 on the left, 3 and 4 on the right), what
// each answers with and the bench controls on it, and the bench as a whole: scenario files,
// and each slave's value kept in the settings file from one run to the next. Scenarios opened
// or saved are kept in a list of recent ones, with the folder of the last.
class SimulatorPanel : public QGroupBox {
  Q_OBJECT

 public:
  SimulatorPanel(IniFile& ini, Dialogs& dialogs, QWidget* parent);

  // Shows what a Connect loaded for `module`: the lists start again at 0x00, with nothing
  // typed, and then take the values the settings file keeps for the module.
  void showLoad(const SlaveTableLoad& load, const QString& module);
  const SlaveTable& table() const { return table_; }
  // The values, faults and sweeps as the slaves answer with them now, into `plan`.
  void fillPlan(ServePlan& plan) const;
  void setFault(int slave, const Fault& fault);
  void setSweep(int slave, const std::optional<Sweep>& sweep);
  // A sweep's lists follow the value its slave last sent.
  void followSweep(int slave, std::uint32_t raw);
  // The values of the module connected last, as the settings file keeps them at exit.
  void appendKeptValues(std::vector<IniEntry>& entries) const;
  QList<QWidget*> tabOrder() const;
  // Sets every slave's bench controls from the scenario at `path`, for the slaves now served;
  // says why not, and changes nothing, when it cannot.
  bool openScenario(const QString& path);
  // Keeps the scenario at `path` to set at the next Connect, once it reads as one for
  // `module`'s slaves as `table` (the saved configuration) has them; says why not when it
  // does not. At Connect it is read again, for what is served then.
  bool openAtNextConnect(const QString& path, const QString& module, const SlaveTable& table);
  // The scenario waiting for the next Connect; empty for none.
  const QString& pendingScenario() const { return pending_; }

 signals:
  // What the slaves answer with changed.
  void planChanged();
  // Something done that the user should hear of ("Saved the bench to …").
  void said(const QString& text);
  // The scenario file now applied.
  void scenarioChanged(const QString& path);

 private:
  QLayout* buildBenchFiles();
  void openBench(int slave);
  void showBench(int slave);
  void saveBenchFile();
  void openBenchFile();
  void applyScenario(const BenchScenario& scenario);
  // Puts `path` first in the list of recent scenarios and its folder as the one to open on, in
  // the settings file; why that failed, or nothing.
  QString remember(const QString& path);
  void showRecent();
  void applyKeptValues(const QString& module);

  IniFile& ini_;
  Dialogs& dialogs_;
  std::array<SlaveQuadrant*, kSlaveCount> quadrants_{};
  SlaveTable table_{};
  Faults faults_{};
  Sweeps sweeps_{};
  // The module of the last Connect, whose values are kept at exit.
  QString keptModule_;
  QString pending_;
  QMenu* recentMenu_ = nullptr;
};

}  // namespace vantor
