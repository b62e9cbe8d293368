#include "core/monitor/TrafficLog.h"

namespace vantor {

TrafficLog::TrafficLog(QObject* parent, int capacity)
    : QAbstractTableModel(parent), capacity_(capacity) {
  batch_.setSingleShot(true);
  batch_.setInterval(kBatchMs);
  connect(&batch_, &QTimer::timeout, this, &TrafficLog::flush);
}

void TrafficLog::append(TrafficEvent event) {
  // The time since the previous request is the module's polling rhythm: it is kept while
  // paused too, so that the first row after a pause says the truth.
  if (event.direction == Direction::Rx && event.kind != EventKind::Fragment &&
      event.kind != EventKind::Echo) {
    if (lastRequest_.isValid()) event.sincePreviousRequestMs = lastRequest_.msecsTo(event.time);
    lastRequest_ = event.time;
  }
  if (paused_) return;
  pending_.push_back(std::move(event));
  if (!batch_.isActive()) batch_.start();
}

void TrafficLog::flush() {
  batch_.stop();
  if (pending_.empty()) return;
  // Only the newest `capacity_` of what waits can ever show.
  std::span<TrafficEvent> incoming(pending_);
  if (incoming.size() > std::size_t(capacity_)) {
    dropped_ += qint64(incoming.size()) - capacity_;
    incoming = incoming.last(std::size_t(capacity_));
  }
  const qint64 overflow = qint64(rows_.size() + incoming.size()) - capacity_;
  if (overflow > 0) {
    beginRemoveRows({}, 0, int(overflow) - 1);
    rows_.erase(rows_.begin(), rows_.begin() + overflow);
    endRemoveRows();
    dropped_ += overflow;
  }
  const int first = int(rows_.size());
  beginInsertRows({}, first, first + int(incoming.size()) - 1);
  for (TrafficEvent& e : incoming) rows_.push_back(std::move(e));
  endInsertRows();
  const bool droppedNow = overflow > 0 || incoming.size() < pending_.size();
  pending_.clear();
  if (droppedNow) emit rowsDropped(dropped_);
}

void TrafficLog::clear() {
  beginResetModel();
  rows_.clear();
  pending_.clear();
  dropped_ = 0;
  endResetModel();
}

int TrafficLog::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : int(rows_.size());
}

int TrafficLog::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : ColumnCount;
}

QVariant TrafficLog::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= int(rows_.size())) return {};
  const TrafficEvent& e = rows_[std::size_t(index.row())];
  if (role == Qt::DisplayRole) {
    switch (index.column()) {
      case TimeColumn:
        return e.time.toLocalTime().toString(QStringLiteral("HH:mm:ss.zzz"));
      case SinceColumn:
        return e.sincePreviousRequestMs < 0
                   ? QString()
                   : QStringLiteral("+%1 ms").arg(e.sincePreviousRequestMs);
      case DirectionColumn:
        return e.direction == Direction::Rx ? QStringLiteral("RX") : QStringLiteral("TX");
      case BytesColumn:
        return hexText(e.bytes);
      case WhatColumn:
        return describe(e);
    }
  }
  if (role == Qt::TextAlignmentRole && index.column() == SinceColumn)
    return int(Qt::AlignRight | Qt::AlignVCenter);
  return {};
}

QVariant TrafficLog::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  switch (section) {
    case TimeColumn:
      return QStringLiteral("Time");
    case SinceColumn:
      return QStringLiteral("Since last poll");
    case DirectionColumn:
      return QStringLiteral("Dir");
    case BytesColumn:
      return QStringLiteral("Bytes");
    case WhatColumn:
      return QStringLiteral("What it was");
  }
  return {};
}

void TrafficFilter::setSlave(int slave) {
  slave_ = slave;
  invalidateFilter();
}

void TrafficFilter::setKind(std::optional<EventKind> kind) {
  kind_ = kind;
  invalidateFilter();
}

bool TrafficFilter::filterAcceptsRow(int row, const QModelIndex&) const {
  const auto* log = static_cast<const TrafficLog*>(sourceModel());
  const TrafficEvent& e = log->event(row);
  if (slave_ != 0 && e.about != slave_) return false;
  // A reply shows with the requests that were answered.
  return !kind_ || e.kind == *kind_ ||
         (*kind_ == EventKind::Answered && e.kind == EventKind::Reply);
}

}  // namespace vantor
