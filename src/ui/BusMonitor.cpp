#include "ui/BusMonitor.h"

#include "core/monitor/LogExport.h"
#include "ui/Dialogs.h"
#include "ui/LogRecorder.h"
#include "ui/LogSearchBar.h"
#include "ui/WindowParts.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTableWidget>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace vantor {

namespace {

constexpr int kRefreshMs = 500;
const char* const kCounterColumns[] = {"Requests",   "Replies",
                                       "CRC errors", "Unanswered",
                                       "Fragments",  "Interval ms: last/min/mean/max",
                                       "Configured", "Latency: p50/p99",
                                       "Exceptions", "Pauses"};
enum CounterColumn {
  IntervalColumn = 5,
  ConfiguredColumn,
  LatencyColumn,
  ExceptionsColumn,
  PausesColumn
};
const QString kExportFilters = QStringLiteral("CSV (*.csv);;JSON Lines (*.jsonl)");

// Exception replies in the log's own colour.
class LogRowDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    if (index.data(TrafficLog::ExceptionRole).toBool())
      option->palette.setColor(QPalette::Text, markColour(Mark::Exception, option->widget));
  }
};

}  // namespace

BusMonitor::BusMonitor(Dialogs& dialogs, QWidget* parent)
    : QGroupBox(QStringLiteral("Bus Monitor"), parent), dialogs_(dialogs) {
  setObjectName(QStringLiteral("fMonitor"));
  log_ = new TrafficLog(this);

  QLayout* tools = buildTools();
  QTableView* logView = buildLog();
  search_ = new LogSearchBar(*log_, *logView_, this);
  connect(search_, &LogSearchBar::said, this, &BusMonitor::said);
  buildLogMenu();
  countersPart_ = new QWidget(this);
  countersPart_->setLayout(buildCounters());
  countersPart_->layout()->setContentsMargins(0, 0, 0, 0);
  // The log takes what room is left; the counters keep theirs unless the user drags.
  split_ = stackedSplit(QStringLiteral("splitMonitor"), logView, countersPart_, true, this);
  auto* root = new QVBoxLayout(this);
  root->addLayout(tools);
  root->addWidget(search_);
  root->addWidget(split_, 1);
  connectControls();
  // Tab leaves the tables; the arrow keys move inside them.
  for (QAbstractItemView* table :
       {static_cast<QAbstractItemView*>(logView_), static_cast<QAbstractItemView*>(countersTable_)})
    table->setTabKeyNavigation(false);
  giveAccessKey(pauseButton_, Qt::Key_P);
  giveAccessKey(clearButton_, Qt::Key_E);
  giveAccessKey(exportButton_, Qt::Key_X);
  giveAccessKey(echoFilter_, Qt::Key_D);
  giveAccessKey(resetButton_, Qt::Key_R);
  // The search row stands between the tools and the log, and Tab goes that way too.
  setTabOrder(echoFilter_, search_->searchBox());
  setTabOrder(search_->findChild<QPushButton*>(QStringLiteral("cmdNextError")), logView_);

  refresh_ = new QTimer(this);
  refresh_->setInterval(kRefreshMs);
  connect(refresh_, &QTimer::timeout, this, &BusMonitor::showCounters);
  refresh_->start();
  showCounters();
}

// The row above the log: pause, clear, export, the filters and the echo switch.
QLayout* BusMonitor::buildTools() {
  pauseButton_ = namedButton(QStringLiteral("cmdPause"), QStringLiteral("Pause"), this);
  pauseButton_->setCheckable(true);
  clearButton_ = namedButton(QStringLiteral("cmdClear"), QStringLiteral("Clear"), this);
  exportButton_ = namedButton(QStringLiteral("cmdExport"), QStringLiteral("Export..."), this);
  recorder_ = new LogRecorder(dialogs_, this);
  connect(recorder_, &LogRecorder::said, this, &BusMonitor::said);
  slaveFilter_ = new QComboBox(this);
  slaveFilter_->setObjectName(QStringLiteral("cboLogSlave"));
  slaveFilter_->addItem(QStringLiteral("all"), 0);
  for (int s = 1; s <= kSlaveCount; ++s) slaveFilter_->addItem(QString::number(s), s);
  kindFilter_ = new QComboBox(this);
  kindFilter_->setObjectName(QStringLiteral("cboLogKind"));
  kindFilter_->addItem(QStringLiteral("all"), -1);
  for (EventKind kind : {EventKind::Answered, EventKind::Unanswered, EventKind::CrcError,
                         EventKind::Fragment, EventKind::Echo})
    kindFilter_->addItem(kindCaption(kind), int(kind));
  echoFilter_ = new QCheckBox(QStringLiteral("Drop RS-485 echo"), this);
  echoFilter_->setObjectName(QStringLiteral("chkEcho"));
  echoFilter_->setChecked(true);
  echoFilter_->setToolTip(QStringLiteral(
      "Bytes that arrive right after a reply and equal it are the adapter handing back what was "
      "sent: they are dropped and logged as an echo, never judged as a request."));
  droppedNote_ = new QLabel(this);
  droppedNote_->setObjectName(QStringLiteral("lblLogDropped"));

  auto* tools = new QHBoxLayout;
  tools->addWidget(pauseButton_);
  tools->addWidget(clearButton_);
  tools->addWidget(exportButton_);
  tools->addWidget(recorder_->button());
  tools->addSpacing(12);
  tools->addWidget(caption(QStringLiteral("Slave"), slaveFilter_, this));
  tools->addWidget(slaveFilter_);
  tools->addWidget(caption(QStringLiteral("Show"), kindFilter_, this));
  tools->addWidget(kindFilter_);
  tools->addSpacing(12);
  tools->addWidget(echoFilter_);
  tools->addStretch(1);
  tools->addWidget(droppedNote_);
  return tools;
}

QTableView* BusMonitor::buildLog() {
  logView_ = new QTableView(this);
  logView_->setObjectName(QStringLiteral("tblLog"));
  logView_->setModel(log_);
  logView_->setItemDelegate(new LogRowDelegate(logView_));
  logView_->setSelectionBehavior(QAbstractItemView::SelectRows);
  logView_->setWordWrap(false);
  logView_->verticalHeader()->hide();
  // Fixed row heights and column widths: nothing is measured per row, whatever the flood.
  logView_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  logView_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
  QFont mono(QStringLiteral("Monospace"));
  mono.setStyleHint(QFont::TypeWriter);
  logView_->setFont(mono);
  const QFontMetrics fm(mono);
  logView_->setColumnWidth(TrafficLog::TimeColumn,
                           fm.horizontalAdvance(QStringLiteral("00:00:00.000")) + 12);
  logView_->setColumnWidth(TrafficLog::SinceColumn,
                           fm.horizontalAdvance(QStringLiteral("+00000 ms")) + 12);
  logView_->setColumnWidth(TrafficLog::DirectionColumn,
                           fm.horizontalAdvance(QStringLiteral("Dir")) + 16);
  logView_->setColumnWidth(TrafficLog::BytesColumn,
                           fm.horizontalAdvance(QStringLiteral("00 ").repeated(9)) + 12);
  logView_->horizontalHeader()->setStretchLastSection(true);
  logView_->setMinimumHeight(6 * (fontMetrics().height() + 4));
  return logView_;
}

// Right-click on a row: Copy (Ctrl+C in the log too) and Show only this slave.
void BusMonitor::buildLogMenu() {
  auto* copy = new QAction(tr("Copy"), logView_);
  copy->setObjectName(QStringLiteral("actCopyRows"));
  copy->setShortcut(QKeySequence::Copy);
  copy->setShortcutContext(Qt::WidgetShortcut);
  connect(copy, &QAction::triggered, this, &BusMonitor::copySelectedRows);
  showSlaveAction_ = new QAction(tr("Show only this slave"), logView_);
  showSlaveAction_->setObjectName(QStringLiteral("actShowSlave"));
  showSlaveAction_->setEnabled(false);
  connect(showSlaveAction_, &QAction::triggered, this, [this] {
    const QModelIndex current = logView_->currentIndex();
    if (!current.isValid()) return;
    if (const int slave = log_->event(current.row()).about; slave > 0)
      slaveFilter_->setCurrentIndex(slaveFilter_->findData(slave));
  });
  // The entry names the slave of the row under it; a row that concerned none has none to show.
  connect(logView_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) {
            const int slave = current.isValid() ? log_->event(current.row()).about : 0;
            QString name = slave > 0 ? slaveFilter_->itemText(slaveFilter_->findData(slave))
                                     : tr("this slave");
            name[0] = name[0].toLower();
            showSlaveAction_->setText(tr("Show only %1").arg(name));
            showSlaveAction_->setEnabled(slave > 0);
          });
  logView_->addActions({copy, showSlaveAction_});
  logView_->setContextMenuPolicy(Qt::ActionsContextMenu);
}

void BusMonitor::copySelectedRows() {
  std::vector<int> rows;
  for (const QItemSelectionRange& range : logView_->selectionModel()->selection())
    for (int row = range.top(); row <= range.bottom(); ++row) rows.push_back(row);
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  if (rows.empty()) return;
  std::vector<TrafficEvent> events;
  events.reserve(rows.size());
  for (const int row : rows) events.push_back(log_->event(row));
  const QByteArray csv = logBytes(LogFormat::Csv, events);
  // Plain text for anything that pastes; text/csv for a program that takes it as a table.
  auto* copied = new QMimeData;
  copied->setText(QString::fromUtf8(csv));
  copied->setData(QStringLiteral("text/csv"), csv);
  QGuiApplication::clipboard()->setMimeData(copied);
  emit said(rows.size() == 1 ? tr("Copied 1 row as CSV.")
                             : tr("Copied %1 rows as CSV.").arg(rows.size()));
}

// The counters per slave and in total, with their Reset button.
QLayout* BusMonitor::buildCounters() {
  countersTable_ = new QTableWidget(kSlaveCount + 1, int(std::size(kCounterColumns)), this);
  countersTable_->setObjectName(QStringLiteral("tblCounters"));
  QStringList columns;
  for (const char* c : kCounterColumns) columns << QString::fromUtf8(c);
  countersTable_->setHorizontalHeaderLabels(columns);
  countersTable_->horizontalHeaderItem(PausesColumn)
      ->setToolTip(QStringLiteral(
          "Gaps between two polls of the slave longer than five configured intervals; they are "
          "not counted as intervals"));
  nameSlaves({});
  countersTable_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  countersTable_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  countersTable_->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  // Every row in sight, whatever the window's height: the controls above scroll instead.
  countersTable_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  countersTable_->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
  countersTable_->setMinimumHeight(countersTable_->sizeHint().height());
  resetButton_ = namedButton(QStringLiteral("cmdResetCounters"), QStringLiteral("Reset"), this);

  auto* countersRow = new QHBoxLayout;
  countersRow->addWidget(countersTable_, 1);
  countersRow->addWidget(resetButton_, 0, Qt::AlignTop);
  return countersRow;
}

void BusMonitor::connectControls() {
  connect(pauseButton_, &QPushButton::toggled, this, [this](bool paused) {
    log_->setPaused(paused);
    pauseButton_->setText(paused ? QStringLiteral("Resume") : QStringLiteral("Pause"));
  });
  connect(clearButton_, &QPushButton::clicked, this, [this] {
    log_->clear();
    showDropped(0);
  });
  connect(exportButton_, &QPushButton::clicked, this, &BusMonitor::exportLog);
  connect(resetButton_, &QPushButton::clicked, this, [this] {
    counters_.reset();
    countersChanged_ = true;
    showCounters();
  });
  const auto filter = [this] {
    const int kind = kindFilter_->currentData().toInt();
    log_->setFilter({slaveFilter_->currentData().toInt(),
                     kind < 0 ? std::nullopt : std::optional(EventKind(kind))});
    logView_->scrollToBottom();
  };
  connect(slaveFilter_, &QComboBox::currentIndexChanged, this, filter);
  connect(kindFilter_, &QComboBox::currentIndexChanged, this, filter);
  connect(echoFilter_, &QCheckBox::toggled, this, &BusMonitor::echoFilterToggled);
  connect(log_, &TrafficLog::rowsDropped, this, &BusMonitor::showDropped);

  // Follow the newest row unless the user has scrolled up to read something.
  QScrollBar* bar = logView_->verticalScrollBar();
  connect(log_, &TrafficLog::rowsAboutToBeInserted, this,
          [this, bar] { following_ = bar->value() >= bar->maximum(); });
  connect(log_, &TrafficLog::rowsInserted, this, [this] {
    if (following_) logView_->scrollToBottom();
  });
}

BusMonitor::~BusMonitor() {
  if (exporter_) exporter_->wait();
}

QWidget* BusMonitor::firstInTabOrder() const {
  return pauseButton_;
}

QList<int> BusMonitor::splitSizes() const {
  return split_->sizes();
}

void BusMonitor::setSplitSizes(const QList<int>& sizes) {
  split_->setSizes(sizes);
}

bool BusMonitor::echoFilterOn() const {
  return echoFilter_->isChecked();
}

void BusMonitor::setTable(const SlaveTable& table) {
  counters_.setTable(table);
  countersChanged_ = true;
  nameSlaves(table);
}

// Rows and filter entries by the slave's address and the field it stands for, as the log
// names them: "slave 3 (field 2)"; a field nobody polls by its number alone.
void BusMonitor::nameSlaves(const SlaveTable& table) {
  QStringList rows;
  for (int s = 1; s <= kSlaveCount; ++s) {
    const Slave& slave = table[std::size_t(s - 1)];
    QString name = slave.enabled ? slaveName(slave.address, s) : QStringLiteral("field %1").arg(s);
    name[0] = name[0].toUpper();
    rows << name;
    slaveFilter_->setItemText(s, name);
  }
  rows << QStringLiteral("Total");
  countersTable_->setVerticalHeaderLabels(rows);
}

void BusMonitor::setListening(bool listening) {
  if (listening == listening_) return;
  listening_ = listening;
  if (listening) {
    counters_.reset();
    countersChanged_ = true;
    showCounters();
  }
  countersPart_->setVisible(!listening);
}

void BusMonitor::record(std::vector<TrafficEvent> events) {
  if (!listening_) {
    for (const TrafficEvent& event : events) counters_.record(event);
    countersChanged_ = true;
  }
  recorder_->write(events);
  log_->append(std::move(events));
}

void BusMonitor::showDropped(qint64 total) {
  droppedNote_->setText(total == 0 ? QString()
                                   : QStringLiteral("%1 older rows dropped (the log keeps %2)")
                                         .arg(total)
                                         .arg(log_->capacity()));
}

void BusMonitor::showCounters() {
  if (!countersChanged_) return;
  countersChanged_ = false;
  const auto set = [&](int row, int column, const QString& text, bool marked = false) {
    QTableWidgetItem* item = countersTable_->item(row, column);
    if (!item) {
      item = new QTableWidgetItem;
      item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      countersTable_->setItem(row, column, item);
    }
    item->setText(text);
    QFont font = item->font();
    font.setBold(marked);
    item->setFont(font);
    item->setForeground(marked ? QBrush(markColour(Mark::Failure, countersTable_)) : QBrush());
    item->setToolTip(marked ? QStringLiteral("More than 20% away from the configured interval")
                            : QString());
  };
  for (int row = 0; row <= kSlaveCount; ++row) {
    const int slave = row < kSlaveCount ? row + 1 : 0;
    const SlaveCounts& c = counters_.counts(slave);
    const qint64 numbers[] = {c.requests, c.replies, c.crcErrors, c.unanswered, c.fragments};
    for (int column = 0; column < 5; ++column) set(row, column, QString::number(numbers[column]));
    set(row, ExceptionsColumn, QString::number(c.exceptions));
    if (slave == 0) continue;
    const auto interval = counters_.interval(slave);
    set(row, IntervalColumn,
        interval ? QStringLiteral("%1/%2/%3/%4")
                       .arg(interval->last, 0, 'f', 0)
                       .arg(interval->min, 0, 'f', 0)
                       .arg(interval->mean, 0, 'f', 0)
                       .arg(interval->max, 0, 'f', 0)
                 : QString(),
        counters_.intervalOff(slave));
    const int configured = counters_.configuredIntervalMs(slave);
    set(row, ConfiguredColumn, configured > 0 ? QString::number(configured) : QString());
    set(row, PausesColumn, QString::number(counters_.pauses(slave)));
    const auto latency = counters_.latency(slave);
    const QString micro = QStringLiteral("µs");
    set(row, LatencyColumn,
        latency ? QStringLiteral("%1 / %2").arg(latencyText(latency->first, micro),
                                                latencyText(latency->second, micro))
                : QString());
  }
}

void BusMonitor::exportLog() {
  if (exportFilter_.isEmpty()) exportFilter_ = kExportFilters.section(QStringLiteral(";;"), 0, 0);
  const QString folder = exportFolder_.isEmpty() ? QDir::homePath() : exportFolder_;
  const QString suggested =
      QDir(folder).filePath(suggestedExportName(QDateTime::currentDateTime(), exportFilter_));
  const QString typed = dialogs_.saveFileAs(this, QStringLiteral("Export the log"), suggested,
                                            kExportFilters, &exportFilter_);
  if (typed.isEmpty() || exporter_) return;
  // A bare name takes the chosen filter's suffix; the dialog asked about replacing only the
  // name typed.
  const QString path = exportPath(typed, exportFilter_);
  if (path != typed && QFileInfo::exists(path) &&
      !dialogs_.askYesNo(this, QStringLiteral("%1 already exists. Replace it?").arg(path)))
    return;
  exportFolder_ = QFileInfo(path).absolutePath();
  // Written off the window's thread: a full log is a few megabytes.
  exportButton_->setEnabled(false);
  exporter_ = QThread::create([this, path, events = log_->shownEvents()] {
    QString error;
    vantor::exportLog(events, path, &error);
    QMetaObject::invokeMethod(this, [this, error, path, rows = events.size()] {
      exporter_->wait();
      exporter_->deleteLater();
      exporter_ = nullptr;
      exportButton_->setEnabled(true);
      if (!error.isEmpty())
        dialogs_.message(this, error);
      else
        emit said(
            tr("Exported %1 to %2.").arg(rows == 1 ? tr("1 row") : tr("%1 rows").arg(rows), path));
      emit exportFinished(error);
    });
  });
  exporter_->setParent(this);
  exporter_->start();
}

}  // namespace vantor
