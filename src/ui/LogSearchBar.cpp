#include "ui/LogSearchBar.h"

#include "core/monitor/LogSearch.h"
#include "core/monitor/TrafficLog.h"
#include "ui/WindowParts.h"

#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTableView>

namespace vantor {

namespace {

// Shift+Enter in the search box goes back; Enter goes on, as in most programs' find bars.
class BackOnShiftEnter : public QObject {
 public:
  BackOnShiftEnter(LogSearchBar* bar) : QObject(bar), bar_(bar) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress) {
      const auto* key = static_cast<QKeyEvent*>(event);
      if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        bar_->findText(!(key->modifiers() & Qt::ShiftModifier));
        return true;
      }
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  LogSearchBar* bar_;
};

}  // namespace

LogSearchBar::LogSearchBar(TrafficLog& log, QTableView& view, QWidget* parent)
    : QWidget(parent), log_(log), view_(view) {
  box_ = new QLineEdit(this);
  box_->setObjectName(QStringLiteral("txtLogSearch"));
  box_->setAccessibleName(tr("Search the log"));
  box_->setPlaceholderText(tr("Text, or bytes: 01 03 00 00"));
  box_->setClearButtonEnabled(true);
  box_->setToolTip(
      tr("Finds what the log says (\"unanswered\", \"slave 7\") or bytes in hexadecimal "
         "(\"01 03 00 00\"); Enter finds the next row, Shift+Enter the previous one (%1)")
          .arg(QKeySequence(QKeySequence::Find).toString(QKeySequence::NativeText)));
  box_->installEventFilter(new BackOnShiftEnter(this));
  previous_ = namedButton(QStringLiteral("cmdFindPrevious"), tr("Previous"), this);
  next_ = namedButton(QStringLiteral("cmdFindNext"), tr("Next"), this);
  nextError_ = namedButton(QStringLiteral("cmdNextError"), tr("Next error"), this);
  nextError_->setToolTip(tr("The next CRC error, fragment, unanswered poll or exception reply"));
  giveAccessKey(nextError_, Qt::Key_N);
  connect(previous_, &QPushButton::clicked, this, [this] { findText(false); });
  connect(next_, &QPushButton::clicked, this, [this] { findText(true); });
  connect(nextError_, &QPushButton::clicked, this, &LogSearchBar::findError);

  // Ctrl+F to the box, F3 and Shift+F3 on through the rows, from anywhere in the window.
  auto* focus = new QShortcut(QKeySequence::Find, this);
  focus->setContext(Qt::WindowShortcut);
  connect(focus, &QShortcut::activated, this, [this] {
    box_->setFocus(Qt::ShortcutFocusReason);
    box_->selectAll();
  });
  for (const bool forward : {true, false}) {
    auto* again =
        new QShortcut(forward ? QKeySequence::FindNext : QKeySequence::FindPrevious, this);
    again->setContext(Qt::WindowShortcut);
    connect(again, &QShortcut::activated, this, [this, forward] { findText(forward); });
  }

  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->addWidget(caption(tr("Search"), box_, this));
  row->addWidget(box_, 1);
  row->addWidget(previous_);
  row->addWidget(next_);
  row->addSpacing(12);
  row->addWidget(nextError_);
}

bool LogSearchBar::findText(bool forward) {
  const LogQuery query(box_->text());
  if (query.isEmpty()) {
    box_->setFocus(Qt::OtherFocusReason);
    return false;
  }
  return find(
      forward, [&query](const TrafficEvent& e) { return query.matches(e); },
      tr("No row of the log matches \"%1\".").arg(query.text()));
}

bool LogSearchBar::findError() {
  return find(true, isErrorEvent, tr("No row of the log is an error."));
}

bool LogSearchBar::find(bool forward, const std::function<bool(const TrafficEvent&)>& accepts,
                        const QString& none) {
  const QModelIndex current = view_.currentIndex();
  const int row = log_.findRow(current.isValid() ? current.row() : -1, forward, accepts);
  if (row < 0) {
    emit said(none);
    return false;
  }
  const QModelIndex found = log_.index(row, TrafficLog::BytesColumn);
  view_.selectionModel()->setCurrentIndex(
      found, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  view_.scrollTo(found, QAbstractItemView::PositionAtCenter);
  const bool wrapped = current.isValid() && (forward ? row <= current.row() : row >= current.row());
  emit said(wrapped ? tr("Row %1 of %2, found from the %3 again.")
                          .arg(row + 1)
                          .arg(log_.rowCount())
                          .arg(forward ? tr("top") : tr("bottom"))
                    : tr("Row %1 of %2.").arg(row + 1).arg(log_.rowCount()));
  return true;
}

}  // namespace vantor
