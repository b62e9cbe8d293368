#pragma once

#include "core/simulator/TypedValue.h"

#include <QString>
#include <QtGlobal>

#include <optional>

namespace vantor {

// A value that changes at every poll a slave answers, in the integers the module shows (before
// decimal places): a ramp from `from` to `to` by `step`, starting again at `from` after `to`;
// or random values within a range.
class Sweep {
 public:
  // `step` must lead from `from` towards `to` (negative for a falling ramp).
  static Sweep ramp(qint64 from, qint64 to, qint64 step);
  static Sweep random(qint64 low, qint64 high);

  // The value the next reply carries.
  qint64 value() const { return current_; }
  // A reply carried value(): move on to the next.
  void advance();

  // The same sweep, wherever each has got to.
  bool sameAs(const Sweep& other) const {
    return ramp_ == other.ramp_ && from_ == other.from_ && to_ == other.to_ && step_ == other.step_;
  }

  bool isRamp() const { return ramp_; }
  qint64 from() const { return from_; }
  qint64 to() const { return to_; }
  qint64 step() const { return step_; }

 private:
  Sweep(bool ramp, qint64 from, qint64 to, qint64 step);

  bool ramp_;
  qint64 from_;
  qint64 to_;
  qint64 step_;
  qint64 current_;
};

// A sweep given as the module shows values (by `format`): a ramp from `from` to `to` by `step`
// (either sign), or random values between `from` and `to` when `step` is empty. Nothing, with
// a sentence in `why`, for a value the format cannot carry or a step that does not lead from
// `from` to `to`.
std::optional<Sweep> typedSweep(const QString& from, const QString& to, const QString& step,
                                TypedFormat format, QString* why);

}  // namespace vantor
