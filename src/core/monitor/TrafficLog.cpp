#include "core/monitor/TrafficLog.h"

#include <algorithm>
#include "core/modbus/HexText.h"

namespace vantor {

bool LogFilter::accepts(const TrafficEvent& e) const {
  if (slave != 0 && e.about != slave) return false;
  // A reply shows with the requests that were answered.
  return !kind || e.kind == *kind || (*kind == EventKind::Answered && e.kind == EventKind::Reply);
}

TrafficLog::TrafficLog(QObject* parent, int capacity)
    : QAbstractTableModel(parent), capacity_(capacity) {}

void TrafficLog::append(std::vector<TrafficEvent> events) {
  // The time since the previous request is the module's polling rhythm: it is kept while
  // paused too, so that the first row after a pause says the truth.
  for (TrafficEvent& event : events) {
    if (isRequestKind(event.kind)) {
      if (lastRequest_.isValid()) event.sincePreviousRequestMs = lastRequest_.msecsTo(event.time);
      lastRequest_ = event.time;
    }
  }
  if (paused_ || events.empty()) return;
  const qint64 before = dropped_;
  // Only the newest `capacity_` of a batch can ever show.
  auto incoming = events.begin();
  if (events.size() > std::size_t(capacity_)) {
    dropped_ += qint64(events.size()) - capacity_;
    incoming = events.end() - capacity_;
  }
  const qint64 overflow = qint64(rows_.size()) + (events.end() - incoming) - capacity_;
  if (overflow > 0) {
    const qint64 newFirst = first_ + overflow;
    const auto gone = std::lower_bound(shown_.begin(), shown_.end(), newFirst) - shown_.begin();
    if (gone > 0) beginRemoveRows({}, 0, int(gone) - 1);
    shown_.erase(shown_.begin(), shown_.begin() + gone);
    rows_.erase(rows_.begin(), rows_.begin() + overflow);
    first_ = newFirst;
    dropped_ += overflow;
    if (gone > 0) endRemoveRows();
  }
  qint64 accepted = 0;
  for (auto e = incoming; e != events.end(); ++e) accepted += filter_.accepts(*e) ? 1 : 0;
  const int at = int(shown_.size());
  if (accepted > 0) beginInsertRows({}, at, at + int(accepted) - 1);
  for (auto e = incoming; e != events.end(); ++e) {
    if (filter_.accepts(*e)) shown_.push_back(first_ + qint64(rows_.size()));
    rows_.push_back(std::move(*e));
  }
  if (accepted > 0) endInsertRows();
  if (dropped_ != before) emit rowsDropped(dropped_);
}

void TrafficLog::clear() {
  beginResetModel();
  first_ += qint64(rows_.size());
  rows_.clear();
  shown_.clear();
  dropped_ = 0;
  endResetModel();
}

void TrafficLog::setFilter(const LogFilter& filter) {
  beginResetModel();
  filter_ = filter;
  shown_.clear();
  for (std::size_t i = 0; i < rows_.size(); ++i)
    if (filter_.accepts(rows_[i])) shown_.push_back(first_ + qint64(i));
  endResetModel();
}

const TrafficEvent& TrafficLog::event(int row) const {
  return rows_[std::size_t(shown_[std::size_t(row)] - first_)];
}

std::vector<TrafficEvent> TrafficLog::shownEvents() const {
  std::vector<TrafficEvent> events;
  events.reserve(shown_.size());
  for (const qint64 n : shown_) events.push_back(rows_[std::size_t(n - first_)]);
  return events;
}

int TrafficLog::findRow(int from, bool forward,
                        const std::function<bool(const TrafficEvent&)>& accepts) const {
  const qint64 count = qint64(shown_.size());
  if (count == 0) return -1;
  const qint64 step = forward ? 1 : -1;
  const qint64 start = from < 0 || from >= count ? (forward ? 0 : count - 1) : from + step;
  for (qint64 k = 0; k < count; ++k) {
    const qint64 row = ((start + step * k) % count + count) % count;
    if (accepts(event(int(row)))) return int(row);
  }
  return -1;
}

int TrafficLog::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : int(shown_.size());
}

int TrafficLog::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : ColumnCount;
}

QVariant TrafficLog::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= int(shown_.size())) return {};
  const TrafficEvent& e = event(index.row());
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
  if (role == ExceptionRole) return isException(e);
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

}  // namespace vantor
