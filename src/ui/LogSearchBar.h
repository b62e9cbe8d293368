#pragma once

#include "core/monitor/TrafficEvent.h"

#include <QWidget>

#include <functional>

class QLineEdit;
class QPushButton;
class QTableView;

namespace vantor {

class TrafficLog;

// The row above the bus monitor's log that finds rows in it: a search box (text, or bytes in
// hexadecimal), Previous, Next and Next error. A find selects the row it stops at and shows it;
// the next one goes on from the row selected. It searches the log's events, never its cells,
// so a full log answers at once.
class LogSearchBar : public QWidget {
  Q_OBJECT

 public:
  LogSearchBar(TrafficLog& log, QTableView& view, QWidget* parent);

  QLineEdit* searchBox() const { return box_; }
  // The next (or previous) row the search box's text matches; false when none does.
  bool findText(bool forward);
  // The next row of an error: a CRC error, a fragment, an unanswered poll, an exception.
  bool findError();

 signals:
  // What a find found, or that it found nothing ("No row of the log matches …").
  void said(const QString& text);

 private:
  bool find(bool forward, const std::function<bool(const TrafficEvent&)>& accepts,
            const QString& none);

  TrafficLog& log_;
  QTableView& view_;
  QLineEdit* box_ = nullptr;
  QPushButton* previous_ = nullptr;
  QPushButton* next_ = nullptr;
  QPushButton* nextError_ = nullptr;
};

}  // namespace vantor
