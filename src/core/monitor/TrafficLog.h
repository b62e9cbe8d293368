#pragma once

// The bus monitor's log: a table model of traffic events, newest last, at most a fixed number
// of rows (the oldest go first, and are counted). Events are taken one at a time but shown in
// batches, so that a flood of polls costs the window one update per batch, not one per poll.

#include "core/monitor/TrafficEvent.h"

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>
#include <QTimer>

#include <deque>
#include <optional>
#include <span>

namespace vantor {

class TrafficLog : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { TimeColumn, SinceColumn, DirectionColumn, BytesColumn, WhatColumn, ColumnCount };
  static constexpr int kDefaultCapacity = 100000;
  static constexpr int kBatchMs = 50;

  explicit TrafficLog(QObject* parent = nullptr, int capacity = kDefaultCapacity);

  // Takes an event; it shows at the next batch. While paused, events are not kept.
  void append(TrafficEvent event);
  // Shows what is waiting now rather than at the end of the batch.
  void flush();
  void clear();
  void setPaused(bool paused) { paused_ = paused; }
  bool paused() const { return paused_; }

  const TrafficEvent& event(int row) const { return rows_[std::size_t(row)]; }
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
  std::deque<TrafficEvent> rows_;
  std::vector<TrafficEvent> pending_;
  QDateTime lastRequest_;
  qint64 dropped_ = 0;
  bool paused_ = false;
  QTimer batch_;
};

// Which events of the log show: those of one slave (0: all), those of one kind (nothing: all).
class TrafficFilter : public QSortFilterProxyModel {
  Q_OBJECT

 public:
  using QSortFilterProxyModel::QSortFilterProxyModel;
  void setSlave(int slave);
  void setKind(std::optional<EventKind> kind);

 protected:
  bool filterAcceptsRow(int row, const QModelIndex& parent) const override;

 private:
  int slave_ = 0;
  std::optional<EventKind> kind_;
};

}  // namespace vantor
