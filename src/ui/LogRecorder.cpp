#include "ui/LogRecorder.h"

#include "ui/Dialogs.h"
#include "ui/WindowParts.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QPushButton>

namespace vantor {

namespace {
const QString kFilters = QStringLiteral("CSV (*.csv);;JSON Lines (*.jsonl)");
const QString kStart = QStringLiteral("Record to...");
const QString kStop = QStringLiteral("Stop recording");
}  // namespace

LogRecorder::LogRecorder(Dialogs& dialogs, QWidget* parent)
    : QObject(parent), dialogs_(dialogs), parent_(parent) {
  button_ = namedButton(QStringLiteral("cmdRecord"), kStart, parent);
  button_->setToolTip(
      QStringLiteral("Write every event to a file as it happens (CSV or JSON Lines), whatever "
                     "the log shows, until Stop recording"));
  giveAccessKey(button_, Qt::Key_T);
  connect(button_, &QPushButton::clicked, this, [this] {
    if (recording())
      stop();
    else
      choose();
  });
}

void LogRecorder::choose() {
  if (filter_.isEmpty()) filter_ = kFilters.section(QStringLiteral(";;"), 0, 0);
  const QString folder = folder_.isEmpty() ? QDir::homePath() : folder_;
  QString name = suggestedExportName(QDateTime::currentDateTime(), filter_);
  name.replace(QStringLiteral("vantor-log-"), QStringLiteral("vantor-recording-"));
  const QString typed = dialogs_.saveFileAs(parent_, QStringLiteral("Record the line to"),
                                            QDir(folder).filePath(name), kFilters, &filter_);
  if (typed.isEmpty()) return;
  // A bare name takes the chosen filter's suffix; the dialog asked about replacing only the
  // name typed.
  const QString path = exportPath(typed, filter_);
  if (path != typed && QFileInfo::exists(path) &&
      !dialogs_.askYesNo(parent_, QStringLiteral("%1 already exists. Replace it?").arg(path)))
    return;
  folder_ = QFileInfo(path).absolutePath();
  start(path);
}

bool LogRecorder::start(const QString& path) {
  stop();
  const std::optional<LogFormat> format = logFormatOf(path);
  file_.setFileName(path);
  if (!format || !file_.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
    const QString why = format ? file_.errorString() : QStringLiteral("name a .csv or .jsonl file");
    dialogs_.message(parent_, QStringLiteral("Cannot record to %1.").arg(path), why);
    return false;
  }
  format_ = *format;
  rows_ = 0;
  if (file_.write(logHeader(format_)) < 0) {
    finish(file_.errorString());
    return false;
  }
  button_->setText(kStop);
  emit said(QStringLiteral("Recording every event to %1.").arg(path));
  return true;
}

void LogRecorder::write(const std::vector<TrafficEvent>& events) {
  if (!recording() || events.empty()) return;
  QByteArray batch;
  for (const TrafficEvent& event : events) batch += logRecord(format_, event);
  // Unbuffered: the batch is the system's once written.
  if (file_.write(batch) != batch.size()) {
    finish(file_.errorString());
    return;
  }
  rows_ += qint64(events.size());
}

void LogRecorder::stop() {
  if (!recording()) return;
  file_.close();
  button_->setText(kStart);
  emit said(QStringLiteral("Recorded %1 to %2.")
                .arg(rows_ == 1 ? QStringLiteral("1 row") : QStringLiteral("%1 rows").arg(rows_),
                     file_.fileName()));
}

// Writing failed (a full disk, a stick pulled out): the recording ends there, and says so.
void LogRecorder::finish(const QString& why) {
  const QString path = file_.fileName();
  file_.close();
  button_->setText(kStart);
  dialogs_.message(
      parent_, QStringLiteral("Recording to %1 stopped after %2 rows.").arg(path).arg(rows_), why);
}

}  // namespace vantor
