#pragma once

#include "core/simulator/Faults.h"
#include "core/simulator/Responder.h"
#include "core/simulator/Serving.h"
#include "core/simulator/SlaveTable.h"

#include <QGroupBox>
#include <QString>

#include <array>
#include <optional>
#include <vector>

class QLayout;

namespace vantor {

class Dialogs;
class IniFile;
class SlaveQuadrant;
struct IniEntry;

// The simulator: one quadrant per slave (1 and 2 on the left, 3 and 4 on the right), what
// each answers with and the bench controls on it, and the bench as a whole: scenario files,
// and each slave's value kept in the settings file from one run to the next.
class SimulatorPanel : public QGroupBox {
  Q_OBJECT

 public:
  SimulatorPanel(const IniFile& ini, Dialogs& dialogs, QWidget* parent);

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
  void applyKeptValues(const QString& module);

  const IniFile& ini_;
  Dialogs& dialogs_;
  std::array<SlaveQuadrant*, kSlaveCount> quadrants_{};
  SlaveTable table_{};
  Faults faults_{};
  Sweeps sweeps_{};
  // The module of the last Connect, whose values are kept at exit.
  QString keptModule_;
};

}  // namespace vantor
