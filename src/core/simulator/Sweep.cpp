#include "core/simulator/Sweep.h"

#include <QRandomGenerator>

namespace vantor {

Sweep::Sweep(bool ramp, qint64 from, qint64 to, qint64 step)
    : ramp_(ramp), from_(from), to_(to), step_(step), current_(from) {
  if (!ramp_) advance();
}

Sweep Sweep::ramp(qint64 from, qint64 to, qint64 step) {
  return Sweep(true, from, to, step);
}

Sweep Sweep::random(qint64 low, qint64 high) {
  return Sweep(false, low, high, 0);
}

void Sweep::advance() {
  if (!ramp_) {
    current_ = QRandomGenerator::global()->bounded(from_, to_ + 1);
    return;
  }
  const qint64 next = current_ + step_;
  const bool past = step_ > 0 ? next > to_ : next < to_;
  current_ = past || step_ == 0 ? from_ : next;
}

}  // namespace vantor
