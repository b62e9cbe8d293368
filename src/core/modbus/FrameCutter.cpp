#include "core/modbus/FrameCutter.h"

#include <algorithm>
#include <tuple>

namespace vantor {

using Kind = FrameFit::Kind;

FrameCutter::FrameCutter(FrameRule rule, std::chrono::nanoseconds gap,
                         std::chrono::nanoseconds hold)
    : rule_(std::move(rule)), gapNs_(gap.count()), holdNs_(std::max(gap, hold).count()) {}

std::vector<CutPart> FrameCutter::read(QByteArrayView bytes, qint64 atNs) {
  std::vector<CutPart> out;
  if (bytes.isEmpty()) return out;
  if (!waiting_.isEmpty() && atNs - lastReadNs_ > gapNs_) silences_.push_back(waiting_.size());
  waiting_.append(bytes.data(), bytes.size());
  lastReadNs_ = atNs;
  cut(out, false);
  return out;
}

std::vector<CutPart> FrameCutter::idle(qint64 nowNs) {
  std::vector<CutPart> out;
  if (!waiting_.isEmpty() && nowNs - lastReadNs_ > holdNs_) cut(out, true);
  return out;
}

std::optional<qint64> FrameCutter::deadline() const {
  if (waiting_.isEmpty()) return std::nullopt;
  return lastReadNs_ + holdNs_ + 1;
}

std::vector<CutPart> FrameCutter::flush() {
  std::vector<CutPart> out;
  if (!waiting_.isEmpty()) cut(out, true);
  return out;
}

void FrameCutter::clear() {
  waiting_.clear();
  silences_.clear();
  scanFrom_ = 0;
}

// `closed`: the hold is over, so that no byte will join what waits.
void FrameCutter::cut(std::vector<CutPart>& out, bool closed) {
  const auto fitAt = [&](qsizetype offset) {
    FrameFit fit = rule_(waitingView(), offset);
    if (closed && fit.kind == Kind::Prefix) fit.kind = Kind::None;
    return fit;
  };
  for (;;) {
    const qsizetype size = waitingView().size();
    // The first whole frame, and before it the first offset where one may still start.
    std::optional<qsizetype> open;
    FrameFit fit;
    qsizetype first = scanFrom_;
    for (; first < size; ++first) {
      fit = fitAt(first);
      if (fit.kind == Kind::Frame || fit.kind == Kind::Likely) break;
      if (fit.kind == Kind::Prefix && !open) open = first;
      if (!open) scanFrom_ = first + 1;  // no frame starts there, whatever follows
    }
    qsizetype at = first;
    bool undecided = false;
    if (first < size && fit.kind == Kind::Likely) {
      // Overlapping candidates: decided once none of them may still complete.
      const auto rank = [](qsizetype start, const FrameFit& f) {
        return std::tuple(f.likelihood, start + f.length, -start);
      };
      const FrameFit firstFit = fit;
      for (qsizetype other = first + 1; other < first + firstFit.length && !undecided; ++other) {
        const FrameFit otherFit = fitAt(other);
        undecided = otherFit.kind == Kind::Prefix;
        if (otherFit.kind == Kind::Likely && rank(other, otherFit) > rank(at, fit)) {
          at = other;
          fit = otherFit;
        }
      }
    }
    if (first < size && !undecided) {
      // The bytes passed over before a later candidate are no noise where they hold a frame
      // with a strong check of its own: that is taken first, and the candidates weighed again.
      for (qsizetype inner = first + 1; inner < at; ++inner) {
        const FrameFit innerFit = fitAt(inner);
        if (innerFit.kind == Kind::Frame && inner + innerFit.length <= at) {
          at = inner;
          fit = innerFit;
          break;
        }
      }
      take(out, at, fit.length);
      continue;
    }
    if (closed)
      giveUp(out, size);
    else if (size > kMaxWaiting)
      giveUp(out, open.value_or(first));
    break;
  }
  waiting_.remove(0, head_);
  head_ = 0;
}

void FrameCutter::giveUp(std::vector<CutPart>& out, qsizetype end) {
  const QByteArrayView waiting = waitingView();
  qsizetype from = 0;
  for (const qsizetype silence : silences_) {
    if (silence >= end) break;
    if (silence <= from) continue;
    out.push_back({waiting.sliced(from, silence - from).toByteArray(), false});
    from = silence;
  }
  if (end > from) out.push_back({waiting.sliced(from, end - from).toByteArray(), false});
  drop(end);
}

void FrameCutter::take(std::vector<CutPart>& out, qsizetype start, qsizetype length) {
  giveUp(out, start);
  out.push_back({waitingView().first(length).toByteArray(), true});
  drop(length);
}

void FrameCutter::drop(qsizetype count) {
  if (count <= 0) return;
  head_ += count;
  std::erase_if(silences_, [count](qsizetype s) { return s <= count; });
  for (qsizetype& s : silences_) s -= count;
  scanFrom_ = std::max<qsizetype>(0, scanFrom_ - count);
}

}  // namespace vantor
