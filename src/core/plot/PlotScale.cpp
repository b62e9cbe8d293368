#include "core/plot/PlotScale.h"

#include <algorithm>
#include <cmath>

namespace vantor {

ValueTicks valueTicks(double low, double high, int most) {
  most = std::max(most, 2);
  const double span = high - low;
  if (!(span > 0) || !std::isfinite(span)) return {low, 1, 1, 0};
  // The finest round step that gives no more than `most` ticks within the range.
  const double power = std::pow(10.0, std::floor(std::log10(span / most)) - 1);
  ValueTicks ticks;
  for (double scale = power;; scale *= 10) {
    for (const double m : {1.0, 2.0, 5.0}) {
      ticks.step = m * scale;
      ticks.first = std::ceil(low / ticks.step - 1e-9) * ticks.step;
      ticks.count = int(std::floor((high - ticks.first) / ticks.step + 1e-9)) + 1;
      if (ticks.count <= most) {
        ticks.decimals = std::max(0, int(-std::floor(std::log10(ticks.step) + 1e-9)));
        return ticks;
      }
    }
  }
}

qint64 timeStepMs(qint64 spanMs, int most) {
  static constexpr qint64 kSteps[] = {1000,   2000,   5000,   10000,  15000,   30000,  60000,
                                      120000, 300000, 600000, 900000, 1800000, 3600000};
  most = std::max(most, 1);
  for (const qint64 step : kSteps)
    if (spanMs / step <= most) return step;
  return kSteps[std::size(kSteps) - 1];
}

}  // namespace vantor
