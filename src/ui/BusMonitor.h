#pragma once

#include "core/monitor/BusCounters.h"
#include "core/monitor/TrafficLog.h"

#include <QGroupBox>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTableView;
class QTableWidget;
class QThread;
class QTimer;

namespace vantor {

class Dialogs;

// The main window's bus monitor: the traffic log (pause, clear, filter, export), the counters
// per slave and in total with the poll timing, and the RS-485 echo switch.
class BusMonitor : public QGroupBox {
  Q_OBJECT

 public:
  BusMonitor(Dialogs& dialogs, QWidget* parent = nullptr);
  ~BusMonitor() override;

  // The slaves now simulated: counters put requests down to them, and compare their poll
  // interval with the configured one.
  void setTable(const SlaveTable& table);
  // Counts a batch of events and, unless paused, logs them.
  void record(std::vector<TrafficEvent> events);
  void record(const TrafficEvent& event) { record(std::vector<TrafficEvent>{event}); }
  void recordLatency(int slave, double microseconds) {
    counters_.recordLatency(slave, microseconds);
  }

  TrafficLog& log() { return *log_; }
  const BusCounters& counters() const { return counters_; }
  bool echoFilterOn() const;

 signals:
  void echoFilterToggled(bool on);
  // An export has been written (`error` empty) or has failed.
  void exportFinished(const QString& error);

 private:
  void exportLog();
  void showCounters();
  void showDropped(qint64 total);

  Dialogs& dialogs_;
  TrafficLog* log_ = nullptr;
  QThread* exporter_ = nullptr;
  BusCounters counters_;
  bool countersChanged_ = true;
  bool following_ = true;

  QPushButton* cmdPause_ = nullptr;
  QPushButton* cmdExport_ = nullptr;
  QComboBox* cboLogSlave_ = nullptr;
  QComboBox* cboLogKind_ = nullptr;
  QCheckBox* chkEcho_ = nullptr;
  QLabel* lblLogDropped_ = nullptr;
  QTableView* tblLog_ = nullptr;
  QTableWidget* tblCounters_ = nullptr;
  QTimer* refresh_ = nullptr;
};

}  // namespace vantor
