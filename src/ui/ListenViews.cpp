#include "ui/ListenViews.h"

#include "core/modbus/HexText.h"
#include "ui/Help.h"
#include "ui/WindowParts.h"

#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace vantor {

namespace {

// The poll plan's widest column, its text left-aligned.
constexpr int kLastValueColumn = 8;

}  // namespace

PollPlanTable::PollPlanTable(QWidget* parent) : QTableWidget(0, 11, parent) {
  setObjectName(QStringLiteral("tblPollPlan"));
  setHorizontalHeaderLabels({tr("Slave"), tr("Field"), tr("Function"), tr("Register"), tr("Count"),
                             tr("Polls"), tr("Interval"), tr("Replies"), tr("Last value"),
                             tr("Exceptions"), tr("Unanswered")});
  fitTableColumns(this, kLastValueColumn);
  setAccessibleName(tr("Poll plan"));
}

void PollPlanTable::showRows(const std::vector<PollPlanRow>& rows) {
  setRowCount(int(rows.size()));
  for (int i = 0; i < int(rows.size()); ++i) {
    const PollPlanRow& r = rows[std::size_t(i)];
    const QString cells[] = {
        QString::number(r.poll.slave),
        fieldNumbers(r),
        hexDigits(r.poll.function),
        QStringLiteral("0x") + hexDigits(r.poll.start, 4),
        QString::number(r.poll.count),
        QString::number(r.polls),
        r.medianIntervalMs ? tr("%1 ms").arg(*r.medianIntervalMs) : QStringLiteral("-"),
        QString::number(r.replies),
        lastReplyText(r),
        QString::number(r.exceptions),
        QString::number(r.unanswered),
    };
    for (int c = 0; c < columnCount(); ++c)
      setItem(i, c, tableCell(cells[c], c != kLastValueColumn));
  }
}

PollPlanBox::PollPlanBox(QWidget* parent)
    : QGroupBox(tr("Poll plan: what the master asks"), parent) {
  setObjectName(QStringLiteral("fPollPlan"));
  table_ = new PollPlanTable(this);
  table_->setMinimumHeight(110);
  auto* column = new QVBoxLayout(this);
  column->addWidget(table_);
  hide();  // until the first Listen
}

void PollPlanBox::start(const ModuleConfig& configured) {
  plan_ = PollPlan(configured);
  table_->showRows({});
  setTitle(tr("Poll plan: what the master asks"));
}

void PollPlanBox::take(const std::vector<TrafficEvent>& heard) {
  if (heard.empty()) return;
  for (const TrafficEvent& e : heard) plan_.take(e);
  table_->showRows(plan_.rows());
  setTitle(plan_.forgotten() == 0
               ? tr("Poll plan: what the master asks")
               : tr("Poll plan: what the master asks (the newest %1 kinds of poll; %2 older "
                    "ones forgotten)")
                     .arg(PollPlan::kMostPolls)
                     .arg(plan_.forgotten()));
}

LineScanDialog::LineScanDialog(std::function<ServeLine(const LineSettings&)> lineAt,
                               QWidget* parent)
    : QDialog(parent), lineAt_(std::move(lineAt)) {
  setObjectName(QStringLiteral("frmFindSettings"));
  setWindowTitle(tr("Find line settings"));
  giveHelpKey(this, help::kFindSettings);
  auto* intro = new QLabel(
      tr("Listens to the line at each baud rate and data format in turn, writing nothing, and "
         "counts the frames whose check values hold. A module polls at least every 25.5 s."),
      this);
  intro->setWordWrap(true);
  seconds_ = new QDoubleSpinBox(this);
  seconds_->setObjectName(QStringLiteral("spnSeconds"));
  seconds_->setRange(0.5, 60);
  seconds_->setDecimals(1);
  seconds_->setValue(3);
  seconds_->setSuffix(tr(" s"));
  startButton_ = namedButton(QStringLiteral("cmdStartScan"), tr("Start"), this);
  stopButton_ = namedButton(QStringLiteral("cmdStopScan"), tr("Stop"), this);
  stopButton_->setEnabled(false);
  auto* row = new QHBoxLayout;
  row->addWidget(caption(tr("Listen at each setting for"), seconds_, this));
  row->addWidget(seconds_);
  row->addStretch();
  row->addWidget(startButton_);
  row->addWidget(stopButton_);
  progress_ = new QProgressBar(this);
  progress_->setObjectName(QStringLiteral("barScan"));
  progress_->setAccessibleName(tr("Scan progress"));
  progress_->setRange(0, 1000);
  progress_->setValue(0);
  progress_->setTextVisible(true);
  progress_->setFormat(tr("Not started"));

  buildTable();

  finding_ = new QLabel(this);
  finding_->setObjectName(QStringLiteral("lblFinding"));
  finding_->setWordWrap(true);
  finding_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  finding_->setMinimumHeight(4 * finding_->fontMetrics().lineSpacing());
  finding_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  useButton_ = namedButton(QStringLiteral("cmdUseSettings"), tr("Use these settings"), this);
  useButton_->setEnabled(false);
  auto* close = new QDialogButtonBox(QDialogButtonBox::Close, this);
  close->addButton(useButton_, QDialogButtonBox::ActionRole);

  auto* column = new QVBoxLayout(this);
  column->addWidget(intro);
  column->addLayout(row);
  column->addWidget(progress_);
  column->addWidget(table_);
  column->addWidget(finding_);
  column->addWidget(close);

  listening_.setSingleShot(true);
  connect(&listening_, &QTimer::timeout, this, &LineScanDialog::finishSetting);
  connect(startButton_, &QPushButton::clicked, this, &LineScanDialog::start);
  connect(stopButton_, &QPushButton::clicked, this, &LineScanDialog::stop);
  progressTick_.setInterval(200);
  connect(&progressTick_, &QTimer::timeout, this, &LineScanDialog::showProgress);
  connect(close, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(useButton_, &QPushButton::clicked, this, [this] {
    if (found_) emit settingsChosen(*found_);
    accept();
  });
  connect(&server_, &PortThread::events, this, [this](const std::vector<ServeEvent>& batch) {
    if (counts_.empty()) return;
    for (const ServeEvent& e : batch)
      if (e.type == ServeEvent::Type::Traffic) counts_.back().take(e.traffic);
    showCounts(int(counts_.size()) - 1);
  });
  // Closing the dialog stops listening at once.
  connect(this, &QDialog::finished, this, [this] {
    listening_.stop();
    progressTick_.stop();
    server_.close();
  });
}

LineScanDialog::~LineScanDialog() = default;

// One row per setting, its counts filled in as it is listened to.
void LineScanDialog::buildTable() {
  table_ = new QTableWidget(int(settings_.size()), 5, this);
  table_->setObjectName(QStringLiteral("tblScan"));
  table_->setHorizontalHeaderLabels(
      {tr("Settings"), tr("Valid frames"), tr("Bad frames"), tr("Bytes"), tr("Note")});
  fitTableColumns(table_, 4);
  // A note says why a setting was not heard: shown whole, over as many lines as it takes.
  table_->setWordWrap(true);
  table_->setTextElideMode(Qt::ElideNone);
  for (int i = 0; i < int(settings_.size()); ++i)
    table_->setItem(i, 0, tableCell(formatLineSettings(settings_[std::size_t(i)]), false));
  table_->resizeRowsToContents();
  table_->setMinimumSize(640, table_->verticalHeader()->length() +
                                  table_->horizontalHeader()->sizeHint().height() + 4);
}

void LineScanDialog::start() {
  counts_.clear();
  found_.reset();
  useButton_->setEnabled(false);
  startButton_->setEnabled(false);
  stopButton_->setEnabled(true);
  seconds_->setEnabled(false);
  for (int i = 0; i < table_->rowCount(); ++i)
    for (int c = 1; c < table_->columnCount(); ++c) table_->setItem(i, c, tableCell({}));
  table_->resizeRowsToContents();
  running_ = true;
  sinceStart_.start();
  progressTick_.start();
  listenNext();
}

// Stopped half-way: what was heard so far is judged as it stands.
void LineScanDialog::stop() {
  if (!running_) return;
  listening_.stop();
  server_.close();
  showCounts(int(counts_.size()) - 1);
  finish();
  progress_->setFormat(
      tr("Stopped after %1 of %2 settings").arg(counts_.size()).arg(settings_.size()));
}

// How far the scan has got, and about how long it has to go: each setting takes the time
// chosen (one the device refuses takes none).
void LineScanDialog::showProgress() {
  const double each = seconds_->value();
  const double total = each * double(settings_.size());
  const double done = std::min(
      total, double(counts_.empty() ? 0 : counts_.size() - 1) * each +
                 (listening_.isActive() ? each - double(listening_.remainingTime()) / 1000 : 0));
  progress_->setValue(int(1000 * done / total));
  progress_->setFormat(tr("%1 of %2 settings, about %3 s left")
                           .arg(counts_.size())
                           .arg(settings_.size())
                           .arg(std::max(0.0, total - done), 0, 'f', 0));
}

void LineScanDialog::listenNext() {
  if (!running_) return;
  if (counts_.size() == settings_.size()) return finish();
  const LineSettings settings = settings_[counts_.size()];
  counts_.push_back(ScanCounts{settings, 0, 0, 0, {}});
  const int row = int(counts_.size()) - 1;
  finding_->setText(tr("Listening at %1…").arg(formatLineSettings(settings)));
  table_->selectRow(row);
  if (const QString refused = server_.listenExactly(lineAt_(settings)); !refused.isEmpty()) {
    counts_.back() = ScanCounts{settings, 0, 0, 0, refused};  // nothing heard there counts
    showCounts(row);
    // On to the next through the event loop, so that the window is drawn meanwhile.
    QTimer::singleShot(0, this, &LineScanDialog::listenNext);
    return;
  }
  listening_.start(int(seconds_->value() * 1000));
}

void LineScanDialog::finishSetting() {
  server_.close();  // what was heard up to here is delivered before close() returns
  showCounts(int(counts_.size()) - 1);
  listenNext();
}

void LineScanDialog::finish() {
  running_ = false;
  progressTick_.stop();
  stopButton_->setEnabled(false);
  progress_->setValue(progress_->maximum());
  progress_->setFormat(tr("Done in %1 s").arg(double(sinceStart_.elapsed()) / 1000, 0, 'f', 1));
  table_->clearSelection();
  const ScanFinding finding = chooseSettings(counts_);
  found_ = finding.best;
  finding_->setText(finding.summary);
  useButton_->setEnabled(found_.has_value());
  startButton_->setEnabled(true);
  seconds_->setEnabled(true);
  if (found_) useButton_->setDefault(true);
}

void LineScanDialog::showCounts(int row) {
  const ScanCounts& c = counts_[std::size_t(row)];
  if (!c.refused.isEmpty()) {
    auto* note = tableCell(tr("not heard: %1").arg(c.refused), false);
    note->setToolTip(note->text());
    table_->setItem(row, 4, note);
    table_->resizeRowToContents(row);
    return;
  }
  table_->setItem(row, 1, tableCell(QString::number(c.validFrames)));
  table_->setItem(row, 2, tableCell(QString::number(c.badFrames)));
  table_->setItem(row, 3, tableCell(QString::number(c.bytes)));
}

}  // namespace vantor
