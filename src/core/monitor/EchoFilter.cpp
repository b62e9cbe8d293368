#include "core/monitor/EchoFilter.h"

#include <algorithm>

namespace vantor {

void EchoFilter::setEnabled(bool enabled) {
  enabled_ = enabled;
  expected_.clear();
}

void EchoFilter::expect(const QByteArray& reply, qint64 nowMs) {
  if (!enabled_) return;
  expected_ = reply;
  deadline_ = nowMs + kWindowMs;
}

QByteArray EchoFilter::take(QByteArray& received, qint64 nowMs) {
  if (expected_.isEmpty() || received.isEmpty()) return {};
  if (nowMs > deadline_) {
    expected_.clear();
    return {};
  }
  // The echo may come in pieces: a first read can hold only its start.
  const qsizetype n = std::min(received.size(), expected_.size());
  if (received.first(n) != expected_.first(n)) {
    expected_.clear();
    return {};
  }
  QByteArray echo = received.first(n);
  received.remove(0, n);
  expected_.remove(0, n);
  return echo;
}

}  // namespace vantor
