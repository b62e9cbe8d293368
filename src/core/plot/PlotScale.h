#pragma once

// Where an axis has its ticks: at round values, as many as there is room for.

#include <QtGlobal>

namespace vantor {

// Ticks on a value axis from `low` to `high`: every `step` (1, 2 or 5 times a power of ten)
// from `first`, at most `most` of them, written with `decimals` places.
struct ValueTicks {
  double first = 0;
  double step = 1;
  int count = 0;
  int decimals = 0;
};
ValueTicks valueTicks(double low, double high, int most);

// The step of a time axis spanning `spanMs` with at most `most` ticks: a round number of
// seconds or minutes (1 s, 2 s, 5 s, 10 s, 15 s, 30 s, 1 min, 2 min, 5 min, ...).
qint64 timeStepMs(qint64 spanMs, int most);

}  // namespace vantor
