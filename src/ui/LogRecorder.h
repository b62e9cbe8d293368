#pragma once

#include "core/monitor/LogExport.h"
#include "core/monitor/TrafficEvent.h"

#include <QFile>
#include <QObject>
#include <QString>

#include <optional>
#include <vector>

class QPushButton;
class QWidget;

namespace vantor {

class Dialogs;

// "Record to...": every event the bus monitor takes is also written to a file as it comes, in
// the export's format, whatever the log shows (paused, filtered or full) and whatever the port
// does (serving, listening, polling), until Stop recording. Each batch reaches the system as
// soon as it is written, so that a session cut short (a laptop's lid closed, a crash) keeps
// everything up to its last batch.
class LogRecorder : public QObject {
  Q_OBJECT

 public:
  LogRecorder(Dialogs& dialogs, QWidget* parent);

  QPushButton* button() const { return button_; }
  bool recording() const { return file_.isOpen(); }
  QString path() const { return file_.fileName(); }
  // Starts a recording to `path`; false, said, when the file cannot be written.
  bool start(const QString& path);
  void stop();
  void write(const std::vector<TrafficEvent>& events);

 signals:
  // Something the user should hear of ("Recording to …", "Recording stopped: …").
  void said(const QString& text);

 private:
  void choose();
  void finish(const QString& why);

  Dialogs& dialogs_;
  QWidget* parent_;
  QPushButton* button_ = nullptr;
  QFile file_;
  LogFormat format_ = LogFormat::Csv;
  qint64 rows_ = 0;
  QString folder_;
  QString filter_;
};

}  // namespace vantor
