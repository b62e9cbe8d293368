#include "core/monitor/EchoFilter.h"

#include <utility>

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
  received.prepend(std::exchange(held_, QByteArray()));
  if (expected_.isEmpty() || received.isEmpty()) return {};
  if (nowMs > deadline_ || !(received.startsWith(expected_) || expected_.startsWith(received))) {
    expected_.clear();
    return {};
  }
  // The echo may come in pieces: a first read can hold only its start.
  if (received.size() < expected_.size()) {
    held_ = std::exchange(received, QByteArray());
    return {};
  }
  received.remove(0, expected_.size());
  return std::exchange(expected_, QByteArray());
}

QByteArray EchoFilter::release(qint64 nowMs) {
  if (held_.isEmpty() || nowMs <= deadline_) return {};
  expected_.clear();
  return std::exchange(held_, QByteArray());
}

std::optional<qint64> EchoFilter::deadline() const {
  if (held_.isEmpty()) return std::nullopt;
  return deadline_ + 1;
}

}  // namespace vantor
