#include "ui/BusMonitor.h"

#include "core/monitor/LogExport.h"
#include "ui/Dialogs.h"
#include "ui/WindowParts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTableWidget>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

namespace vantor {

namespace {

constexpr int kRefreshMs = 500;
const char* const kCounterColumns[] = {"Requests",   "Replies",
                                       "CRC errors", "Unanswered",
                                       "Fragments",  "Interval ms: last/min/mean/max",
                                       "Configured", "Latency µs: p50/p99"};

QPushButton* button(const QString& name, const QString& text, QWidget* parent) {
  auto* b = new QPushButton(text, parent);
  b->setObjectName(name);
  b->setAutoDefault(false);
  return b;
}

}  // namespace

BusMonitor::BusMonitor(Dialogs& dialogs, QWidget* parent)
    : QGroupBox(QStringLiteral("Bus Monitor"), parent), dialogs_(dialogs) {
  setObjectName(QStringLiteral("fMonitor"));
  log_ = new TrafficLog(this);

  cmdPause_ = button(QStringLiteral("cmdPause"), QStringLiteral("Pause"), this);
  cmdPause_->setCheckable(true);
  auto* cmdClear = button(QStringLiteral("cmdClear"), QStringLiteral("Clear"), this);
  cmdExport_ = button(QStringLiteral("cmdExport"), QStringLiteral("Export..."), this);
  cboLogSlave_ = new QComboBox(this);
  cboLogSlave_->setObjectName(QStringLiteral("cboLogSlave"));
  cboLogSlave_->addItem(QStringLiteral("all"), 0);
  for (int s = 1; s <= kSlaveCount; ++s) cboLogSlave_->addItem(QString::number(s), s);
  cboLogKind_ = new QComboBox(this);
  cboLogKind_->setObjectName(QStringLiteral("cboLogKind"));
  cboLogKind_->addItem(QStringLiteral("all"), -1);
  for (EventKind kind : {EventKind::Answered, EventKind::Unanswered, EventKind::CrcError,
                         EventKind::Fragment, EventKind::Echo})
    cboLogKind_->addItem(kindCaption(kind), int(kind));
  chkEcho_ = new QCheckBox(QStringLiteral("Drop RS-485 echo"), this);
  chkEcho_->setObjectName(QStringLiteral("chkEcho"));
  chkEcho_->setChecked(true);
  chkEcho_->setToolTip(QStringLiteral(
      "Bytes that arrive right after a reply and equal it are the adapter handing back what was "
      "sent: they are dropped and logged as an echo, never judged as a request."));
  lblLogDropped_ = new QLabel(this);
  lblLogDropped_->setObjectName(QStringLiteral("lblLogDropped"));

  auto* tools = new QHBoxLayout;
  tools->addWidget(cmdPause_);
  tools->addWidget(cmdClear);
  tools->addWidget(cmdExport_);
  tools->addSpacing(12);
  tools->addWidget(caption(QStringLiteral("Slave"), cboLogSlave_, this));
  tools->addWidget(cboLogSlave_);
  tools->addWidget(caption(QStringLiteral("Show"), cboLogKind_, this));
  tools->addWidget(cboLogKind_);
  tools->addSpacing(12);
  tools->addWidget(chkEcho_);
  tools->addStretch(1);
  tools->addWidget(lblLogDropped_);

  tblLog_ = new QTableView(this);
  tblLog_->setObjectName(QStringLiteral("tblLog"));
  tblLog_->setModel(log_);
  tblLog_->setSelectionBehavior(QAbstractItemView::SelectRows);
  tblLog_->setWordWrap(false);
  tblLog_->verticalHeader()->hide();
  // Fixed row heights and column widths: nothing is measured per row, whatever the flood.
  tblLog_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  tblLog_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
  QFont mono(QStringLiteral("Monospace"));
  mono.setStyleHint(QFont::TypeWriter);
  tblLog_->setFont(mono);
  const QFontMetrics fm(mono);
  tblLog_->setColumnWidth(TrafficLog::TimeColumn,
                          fm.horizontalAdvance(QStringLiteral("00:00:00.000")) + 12);
  tblLog_->setColumnWidth(TrafficLog::SinceColumn,
                          fm.horizontalAdvance(QStringLiteral("+00000 ms")) + 12);
  tblLog_->setColumnWidth(TrafficLog::DirectionColumn,
                          fm.horizontalAdvance(QStringLiteral("Dir")) + 16);
  tblLog_->setColumnWidth(TrafficLog::BytesColumn,
                          fm.horizontalAdvance(QStringLiteral("00 ").repeated(9)) + 12);
  tblLog_->horizontalHeader()->setStretchLastSection(true);
  tblLog_->setMinimumHeight(160);

  tblCounters_ = new QTableWidget(kSlaveCount + 1, int(std::size(kCounterColumns)), this);
  tblCounters_->setObjectName(QStringLiteral("tblCounters"));
  QStringList columns;
  for (const char* c : kCounterColumns) columns << QString::fromUtf8(c);
  tblCounters_->setHorizontalHeaderLabels(columns);
  QStringList rows;
  for (int s = 1; s <= kSlaveCount; ++s) rows << QStringLiteral("Slave %1").arg(s);
  rows << QStringLiteral("Total");
  tblCounters_->setVerticalHeaderLabels(rows);
  tblCounters_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  tblCounters_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  tblCounters_->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  tblCounters_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  tblCounters_->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
  auto* cmdReset = button(QStringLiteral("cmdResetCounters"), QStringLiteral("Reset"), this);

  auto* countersRow = new QHBoxLayout;
  countersRow->addWidget(tblCounters_, 1);
  countersRow->addWidget(cmdReset, 0, Qt::AlignTop);

  auto* root = new QVBoxLayout(this);
  root->addLayout(tools);
  root->addWidget(tblLog_, 1);
  root->addLayout(countersRow);

  connect(cmdPause_, &QPushButton::toggled, this, [this](bool paused) {
    log_->setPaused(paused);
    cmdPause_->setText(paused ? QStringLiteral("Resume") : QStringLiteral("Pause"));
  });
  connect(cmdClear, &QPushButton::clicked, this, [this] {
    log_->clear();
    showDropped(0);
  });
  connect(cmdExport_, &QPushButton::clicked, this, &BusMonitor::exportLog);
  connect(cmdReset, &QPushButton::clicked, this, [this] {
    counters_.reset();
    countersChanged_ = true;
    showCounters();
  });
  const auto filter = [this] {
    const int kind = cboLogKind_->currentData().toInt();
    log_->setFilter({cboLogSlave_->currentData().toInt(),
                     kind < 0 ? std::nullopt : std::optional(EventKind(kind))});
    tblLog_->scrollToBottom();
  };
  connect(cboLogSlave_, &QComboBox::currentIndexChanged, this, filter);
  connect(cboLogKind_, &QComboBox::currentIndexChanged, this, filter);
  connect(chkEcho_, &QCheckBox::toggled, this, &BusMonitor::echoFilterToggled);
  connect(log_, &TrafficLog::rowsDropped, this, &BusMonitor::showDropped);

  // Follow the newest row unless the user has scrolled up to read something.
  QScrollBar* bar = tblLog_->verticalScrollBar();
  connect(log_, &TrafficLog::rowsAboutToBeInserted, this,
          [this, bar] { following_ = bar->value() >= bar->maximum(); });
  connect(log_, &TrafficLog::rowsInserted, this, [this] {
    if (following_) tblLog_->scrollToBottom();
  });

  refresh_ = new QTimer(this);
  refresh_->setInterval(kRefreshMs);
  connect(refresh_, &QTimer::timeout, this, &BusMonitor::showCounters);
  refresh_->start();
  showCounters();
}

BusMonitor::~BusMonitor() {
  if (exporter_) exporter_->wait();
}

bool BusMonitor::echoFilterOn() const {
  return chkEcho_->isChecked();
}

void BusMonitor::setTable(const SlaveTable& table) {
  counters_.setTable(table);
  countersChanged_ = true;
}

void BusMonitor::record(std::vector<TrafficEvent> events) {
  for (const TrafficEvent& event : events) counters_.record(event);
  countersChanged_ = true;
  log_->append(std::move(events));
}

void BusMonitor::showDropped(qint64 total) {
  lblLogDropped_->setText(total == 0 ? QString()
                                     : QStringLiteral("%1 older rows dropped (the log keeps %2)")
                                           .arg(total)
                                           .arg(log_->capacity()));
}

void BusMonitor::showCounters() {
  if (!countersChanged_) return;
  countersChanged_ = false;
  const auto set = [&](int row, int column, const QString& text, bool marked = false) {
    QTableWidgetItem* item = tblCounters_->item(row, column);
    if (!item) {
      item = new QTableWidgetItem;
      item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      tblCounters_->setItem(row, column, item);
    }
    item->setText(text);
    QFont font = item->font();
    font.setBold(marked);
    item->setFont(font);
    item->setForeground(marked ? QBrush(markColour(Mark::Failure, tblCounters_)) : QBrush());
    item->setToolTip(marked ? QStringLiteral("More than 20% away from the configured interval")
                            : QString());
  };
  for (int row = 0; row <= kSlaveCount; ++row) {
    const int slave = row < kSlaveCount ? row + 1 : 0;
    const SlaveCounts& c = counters_.counts(slave);
    const qint64 numbers[] = {c.requests, c.replies, c.crcErrors, c.unanswered, c.fragments};
    for (int column = 0; column < 5; ++column) set(row, column, QString::number(numbers[column]));
    if (slave == 0) continue;
    const auto interval = counters_.interval(slave);
    set(row, 5,
        interval ? QStringLiteral("%1/%2/%3/%4")
                       .arg(interval->last, 0, 'f', 0)
                       .arg(interval->min, 0, 'f', 0)
                       .arg(interval->mean, 0, 'f', 0)
                       .arg(interval->max, 0, 'f', 0)
                 : QString(),
        counters_.intervalOff(slave));
    const int configured = counters_.configuredIntervalMs(slave);
    set(row, 6, configured > 0 ? QString::number(configured) : QString());
    const auto latency = counters_.latency(slave);
    set(row, 7,
        latency
            ? QStringLiteral("%1/%2").arg(latency->first, 0, 'f', 0).arg(latency->second, 0, 'f', 0)
            : QString());
  }
}

void BusMonitor::exportLog() {
  const QString path = dialogs_.saveFileName(this, QStringLiteral("Export the log"),
                                             QStringLiteral("CSV (*.csv);;JSON Lines (*.jsonl)"));
  if (path.isEmpty() || exporter_) return;
  // Written off the window's thread: a full log is a few megabytes.
  cmdExport_->setEnabled(false);
  exporter_ = QThread::create([this, path, events = log_->shownEvents()] {
    QString error;
    vantor::exportLog(events, path, &error);
    QMetaObject::invokeMethod(this, [this, error] {
      exporter_->wait();
      exporter_->deleteLater();
      exporter_ = nullptr;
      cmdExport_->setEnabled(true);
      if (!error.isEmpty()) dialogs_.message(this, error);
      emit exportFinished(error);
    });
  });
  exporter_->setParent(this);
  exporter_->start();
}

}  // namespace vantor
