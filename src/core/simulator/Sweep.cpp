#include "core/simulator/Sweep.h"

#include <QRandomGenerator>

#include <algorithm>
#include <array>
#include <cmath>

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
    // bounded() leaves out its upper end.
    current_ = QRandomGenerator::global()->bounded(from_, to_ + 1);
    return;
  }
  qint64 next = 0;
  // A step that would run past the ends of the integers runs past `to_` as well.
  const bool overflow = __builtin_add_overflow(current_, step_, &next);
  const bool past = overflow || (step_ > 0 ? next > to_ : next < to_);
  current_ = past || step_ == 0 ? from_ : next;
}

std::optional<Sweep> typedSweep(const QString& from, const QString& to, const QString& step,
                                TypedFormat format, QString* why) {
  std::array<qint64, 2> ends{};
  const QString texts[] = {from, to};
  for (std::size_t i = 0; i < ends.size(); ++i) {
    const TypedParse end = encodeTyped(texts[i], format);
    if (!end.raw) {
      *why = end.refusal;
      return std::nullopt;
    }
    ends[i] = *typedInteger(*end.raw, format);
  }
  if (step.isEmpty()) return Sweep::random(std::min(ends[0], ends[1]), std::max(ends[0], ends[1]));
  // The step is a number of the same form, either sign, and no larger than the whole range:
  // a sweep only ever moves between values the type carries.
  const auto [low, high] = typedRange(format);
  QString why2;
  const auto integer = scaledNumber(step, format.decimals, &why2);
  if (!integer || *integer == 0 || (ends[1] - ends[0]) * *integer < 0) {
    *why = why2.isEmpty() ? QStringLiteral("Give a step that leads from %1 to %2.")
                                .arg(from.trimmed(), to.trimmed())
                          : why2;
    return std::nullopt;
  }
  if (std::abs(*integer) > high - low) {
    *why = QStringLiteral("Give a step of at most %1.").arg(typedText(high - low, format));
    return std::nullopt;
  }
  return Sweep::ramp(ends[0], ends[1], *integer);
}

}  // namespace vantor
