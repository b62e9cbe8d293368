#include "core/plot/PlotSample.h"

#include "core/monitor/TrafficEvent.h"
#include "core/simulator/TypedValue.h"

#include <cmath>

namespace vantor {

QString servedSeries(const SlaveTable& table, int slave) {
  return slaveName(table[std::size_t(slave - 1)].address, slave);
}

QStringList fieldSeries(const SlaveTable& table) {
  QStringList names;
  for (int s = 1; s <= kSlaveCount; ++s)
    if (table[std::size_t(s - 1)].enabled) names << servedSeries(table, s);
  return names;
}

std::optional<PlotSample> servedPoll(const SlaveTable& table, const TrafficEvent& event) {
  // A request a slave answered, or one whose configuration it missed: the module's rhythm, as
  // the counters time it. Polls answered for nobody (every poll answered) are no field's.
  if (event.kind != EventKind::Answered && event.kind != EventKind::Unanswered) return std::nullopt;
  if (event.about < 1 || event.about > kSlaveCount) return std::nullopt;
  PlotSample sample;
  sample.series = servedSeries(table, event.about);
  sample.timeMs = event.time.toMSecsSinceEpoch();
  sample.poll = true;
  sample.configuredMs = table[std::size_t(event.about - 1)].intervalMs;
  return sample;
}

PlotSample servedValue(const SlaveTable& table, int slave, const QDateTime& time,
                       const std::optional<std::uint32_t>& raw, const QString& why,
                       double latencyUs) {
  const Slave& s = table[std::size_t(slave - 1)];
  PlotSample sample;
  sample.series = servedSeries(table, slave);
  sample.timeMs = time.toMSecsSinceEpoch();
  if (raw) {
    const TypedFormat format{s.dataType, s.decimals};
    sample.shown = PlotSample::Shown::Value;
    sample.text = decodeTyped(*raw, format);
    // A BCD value with a nibble above 9 is shown as text, and is no point of the trend.
    if (const auto integer = typedInteger(*raw, format))
      sample.value = double(*integer) / std::pow(10.0, s.decimals);
  } else {
    sample.shown = PlotSample::Shown::Unanswered;
    sample.text = why;
  }
  if (latencyUs >= 0) sample.latencyMs = latencyUs / 1000.0;
  return sample;
}

}  // namespace vantor
