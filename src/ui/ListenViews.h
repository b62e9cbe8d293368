#pragma once

// What the main window shows of a line it listens to: the master's poll plan as a table, and
// the dialog that finds the line's settings by listening at each in turn.

#include "core/listen/LineScan.h"
#include "core/listen/PollPlan.h"
#include "serial/PortThread.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QTableWidget>
#include <QTimer>

#include <functional>
#include <vector>

class QDoubleSpinBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace vantor {

// The poll plan, one row per kind of poll: slave, field, function, register, count, polls,
// interval, replies, last value, exceptions, unanswered.
class PollPlanTable : public QTableWidget {
  Q_OBJECT

 public:
  explicit PollPlanTable(QWidget* parent = nullptr);
  void showRows(const std::vector<PollPlanRow>& rows);
};

// What the master asks, summed up while listening; it stays to be read once listening stops.
class PollPlanBox : public QGroupBox {
  Q_OBJECT

 public:
  explicit PollPlanBox(QWidget* parent);
  // A new plan; `configured` names the fields and values of the polls it makes.
  void start(const ModuleConfig& configured);
  void take(const std::vector<TrafficEvent>& heard);

 private:
  PollPlan plan_;
  PollPlanTable* table_ = nullptr;
};

// Listens at every baud rate and data format in turn on the chosen port, shows what it heard
// at each, and offers the settings that carry valid frames with the fewest errors. The window
// stays usable meanwhile: each setting is listened to on the port's own serving thread.
class LineScanDialog : public QDialog {
  Q_OBJECT

 public:
  // `lineAt` names the port to listen on at the given settings.
  LineScanDialog(std::function<ServeLine(const LineSettings&)> lineAt, QWidget* parent);
  ~LineScanDialog() override;

  // The counts so far, in the order listened to.
  const std::vector<ScanCounts>& counts() const { return counts_; }

 signals:
  // The user chose to use these settings.
  void settingsChosen(const vantor::LineSettings& settings);

 private:
  void buildTable();
  void start();
  void stop();
  void listenNext();
  void finishSetting();
  void finish();
  void showCounts(int row);
  void showProgress();

  std::function<ServeLine(const LineSettings&)> lineAt_;
  std::vector<LineSettings> settings_ = scanSettings();
  std::vector<ScanCounts> counts_;
  std::optional<LineSettings> found_;
  PortThread server_;
  QTimer listening_;
  QTimer progressTick_;
  bool running_ = false;
  QElapsedTimer sinceStart_;
  QDoubleSpinBox* seconds_ = nullptr;
  QTableWidget* table_ = nullptr;
  QLabel* finding_ = nullptr;
  QPushButton* startButton_ = nullptr;
  QPushButton* stopButton_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QPushButton* useButton_ = nullptr;
};

}  // namespace vantor
