#include "ui/PollViews.h"

#include "core/modbus/HexText.h"
#include "core/simulator/TypedValue.h"
#include "ui/WindowParts.h"

#include <QTableWidget>
#include <QVBoxLayout>

namespace vantor {

namespace {

enum Column {
  FieldColumn,
  SlaveColumn,
  FunctionColumn,
  RegisterColumn,
  CountColumn,
  PollsColumn,
  RepliesColumn,
  TimeoutsColumn,
  ExceptionsColumn,
  CheckValueColumn,
  WrongColumn,
  LateColumn,
  LastValueColumn,
  ResponseColumn,
  kColumns
};

QString milliseconds(std::optional<double> ms) {
  return ms ? QString::number(*ms, 'f', 1) : QStringLiteral("-");
}

}  // namespace

PollFieldsBox::PollFieldsBox(QWidget* parent)
    : QGroupBox(tr("Polling as the module: what the field devices answer"), parent) {
  setObjectName(QStringLiteral("fPolling"));
  table_ = new QTableWidget(0, kColumns, this);
  table_->setObjectName(QStringLiteral("tblPollFields"));
  table_->setAccessibleName(tr("Polls per field"));
  table_->setHorizontalHeaderLabels(
      {tr("Field"), tr("Slave"), tr("Function"), tr("Register"), tr("Count"), tr("Polls"),
       tr("Replies"), tr("Timeouts"), tr("Exceptions"), tr("Check-value errors"),
       tr("Wrong replies"), tr("Late"), tr("Last value"), tr("Response ms: p50/p99/max")});
  fitTableColumns(table_, LastValueColumn);
  table_->setMinimumHeight(110);
  auto* column = new QVBoxLayout(this);
  column->addWidget(table_);
  hide();  // until the first poll
}

void PollFieldsBox::start(std::shared_ptr<const ModulePolls> polls) {
  polls_ = std::move(polls);
  stats_.reset();
  table_->setRowCount(int(polls_->fields.size()));
  for (int row = 0; row < table_->rowCount(); ++row) {
    const PolledField& poll = polls_->fields[std::size_t(row)];
    const QString cells[] = {QString::number(poll.field), QString::number(poll.slave.address),
                             hexDigits(poll.slave.functionCode),
                             QStringLiteral("0x") + hexDigits(poll.slave.startRegister, 4),
                             QString::number(poll.slave.registerCount)};
    for (int c = FieldColumn; c <= CountColumn; ++c) table_->setItem(row, c, tableCell(cells[c]));
  }
  changed_ = true;
  refresh();
}

void PollFieldsBox::take(const PollResult& result) {
  stats_.take(result);
  changed_ = true;
}

void PollFieldsBox::refresh() {
  if (!changed_ || !polls_) return;
  changed_ = false;
  for (int row = 0; row < table_->rowCount(); ++row) {
    const PolledField& poll = polls_->fields[std::size_t(row)];
    const FieldPollStats& f = stats_.field(poll.field);
    const qint64 counts[] = {
        f.polls, f.replies, f.timeouts, f.exceptions, f.checkValueErrors, f.wrongReplies, f.late};
    for (int c = PollsColumn; c <= LateColumn; ++c)
      table_->setItem(row, c, tableCell(QString::number(counts[c - PollsColumn])));
    QString last = f.lastValue
                       ? decodeTyped(*f.lastValue, {poll.slave.dataType, poll.slave.decimals})
                       : QStringLiteral("-");
    if (f.last && f.last->failed()) last += tr(" (last poll: %1)").arg(f.last->text);
    table_->setItem(row, LastValueColumn, tableCell(last, false));
    table_->setItem(
        row, ResponseColumn,
        tableCell(QStringLiteral("%1 / %2 / %3")
                      .arg(milliseconds(stats_.responseMs(poll.field, 50)),
                           milliseconds(stats_.responseMs(poll.field, 99)),
                           milliseconds(f.maxMs < 0 ? std::nullopt : std::optional(f.maxMs)))));
  }
}

}  // namespace vantor
