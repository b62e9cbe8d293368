#pragma once

#include "core/monitor/BusCounters.h"
#include "core/monitor/TrafficLog.h"

#include <QGroupBox>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLayout;
class QPushButton;
class QTableView;
class QTableWidget;
class QThread;
class QTimer;
class QSplitter;

namespace vantor {

class Dialogs;
class LogRecorder;
class LogSearchBar;

// The main window's bus monitor: the traffic log (pause, clear, filter, export, search, copy),
// the counters per slave and in total with the poll timing, and the RS-485 echo switch.
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
  // While listening nothing is served: the counters of serving are put aside (started afresh
  // and hidden, the poll plan counts what is heard) and the log takes every frame.
  void setListening(bool listening);
  // Where Tab enters the monitor from the controls above it.
  QWidget* firstInTabOrder() const;
  LogSearchBar& search() { return *search_; }
  LogRecorder& recorder() { return *recorder_; }
  // The rows selected, in the order shown, to the clipboard as the CSV export writes them
  // (header first): a spreadsheet pastes them as its columns.
  void copySelectedRows();
  // The share of the height the log and the counters have, to keep between runs.
  QList<int> splitSizes() const;
  void setSplitSizes(const QList<int>& sizes);

 signals:
  void echoFilterToggled(bool on);
  // An export has been written (`error` empty) or has failed.
  void exportFinished(const QString& error);
  // Something done that the user should hear of ("Exported 12 rows to …").
  void said(const QString& text);

 private:
  QLayout* buildTools();
  QTableView* buildLog();
  QLayout* buildCounters();
  void connectControls();
  void exportLog();
  void showCounters();
  void showDropped(qint64 total);
  void nameSlaves(const SlaveTable& table);
  void buildLogMenu();

  Dialogs& dialogs_;
  TrafficLog* log_ = nullptr;
  QThread* exporter_ = nullptr;
  // Where the last export went and the filter it was chosen with, for the next suggestion.
  QString exportFolder_;
  QString exportFilter_;
  BusCounters counters_;
  bool countersChanged_ = true;
  bool following_ = true;
  bool listening_ = false;
  QWidget* countersPart_ = nullptr;

  QPushButton* pauseButton_ = nullptr;
  QPushButton* clearButton_ = nullptr;
  QPushButton* exportButton_ = nullptr;
  QComboBox* slaveFilter_ = nullptr;
  QComboBox* kindFilter_ = nullptr;
  QCheckBox* echoFilter_ = nullptr;
  // How many of the oldest rows the log has let go, once any.
  QLabel* droppedNote_ = nullptr;
  QTableView* logView_ = nullptr;
  LogSearchBar* search_ = nullptr;
  LogRecorder* recorder_ = nullptr;
  QAction* showSlaveAction_ = nullptr;
  QTableWidget* countersTable_ = nullptr;
  QPushButton* resetButton_ = nullptr;
  QTimer* refresh_ = nullptr;
  QSplitter* split_ = nullptr;
};

}  // namespace vantor
