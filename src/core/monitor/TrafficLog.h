#pragma once

// The bus monitor's log: a table model of traffic events, newest last, at most a fixed number
// of rows (the oldest go first, and are counted), filtered by slave and kind. Events come in
// batches, so that a flood of polls costs the window one update per batch, not one per poll;
// a filter is a plain pass over the rows kept, and a view shows its result in one reset.

#include "core/monitor/TrafficEvent.h"

#include <QAbstractTableModel>

#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace vantor {

// Which events of the log show: those a slave concerned (0: all), of one kind (nothing: all).
struct LogFilter {
  int slave = 0;
  std::optional<EventKind> kind;
  bool accepts(const TrafficEvent& event) const;
};

class TrafficLog : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { TimeColumn, SinceColumn, DirectionColumn, BytesColumn, WhatColumn, ColumnCount };
  static constexpr int kDefaultCapacity = 100000;
  // True for every cell of a row that is an exception reply, which the view colours.
  static constexpr int ExceptionRole = Qt::UserRole;

  explicit TrafficLog(QObject* parent = nullptr, int capacity = kDefaultCapacity);

  // Takes a batch of events, in order: one change of the model (two when the oldest rows go to
  // make room). While paused, events are not kept.
  void append(std::vector<TrafficEvent> events);
  void append(TrafficEvent event) { append(std::vector<TrafficEvent>{std::move(event)}); }
  void clear();
  void setPaused(bool paused) { paused_ = paused; }
  bool paused() const { return paused_; }
  // Shows only what `filter` accepts; the rows kept stay.
  void setFilter(const LogFilter& filter);
  const LogFilter& filter() const { return filter_; }

  // Row `row` as shown.
  const TrafficEvent& event(int row) const;
  // What is shown, in order, as copies (cheap: the bytes and texts are shared).
  std::vector<TrafficEvent> shownEvents() const;
  // The next row shown after `from` (before it, when not `forward`) whose event `accepts`,
  // going on from the other end past the last row; `from` itself last of all. -1 when no row
  // does. `from` -1 starts at the first row (the last, going back). A plain pass over the
  // events: no cell is drawn or formatted for it.
  int findRow(int from, bool forward,
              const std::function<bool(const TrafficEvent&)>& accepts) const;
  // Rows kept, shown or not.
  int keptRows() const { return int(rows_.size()); }
  // Rows dropped to keep within the capacity since the last clear.
  qint64 droppedRows() const { return dropped_; }
  int capacity() const { return capacity_; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 signals:
  // Rows were dropped to keep within the capacity; `total` since the last clear.
  void rowsDropped(qint64 total);

 private:
  int capacity_;
  // Every row has a number that never changes; rows_ starts at number first_, shown_ holds
  // the numbers of the rows the filter accepts. Dropping old rows renumbers nothing.
  std::deque<TrafficEvent> rows_;
  std::deque<qint64> shown_;
  qint64 first_ = 0;
  LogFilter filter_;
  QDateTime lastRequest_;
  qint64 dropped_ = 0;
  bool paused_ = false;
};

}  // namespace vantor
