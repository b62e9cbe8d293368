#include "core/plot/HeardSamples.h"

#include "core/modbus/HexText.h"
#include "core/modbus/RtuFrame.h"
#include "core/simulator/TypedValue.h"

#include <cmath>

namespace vantor {

namespace {

// The configured slave (1..4) that makes exactly `poll`; 0 for none.
int fieldOf(const SlaveTable& table, const ReadRequest& poll) {
  for (int k = 1; k <= kSlaveCount; ++k) {
    const Slave& s = table[std::size_t(k - 1)];
    if (s.enabled && s.address == poll.slave && s.functionCode == poll.function &&
        s.startRegister == poll.start && s.registerCount == poll.count)
      return k;
  }
  return 0;
}

// Two registers carry the high word first, as the module reads them.
std::uint32_t rawOf(const std::vector<std::uint16_t>& registers) {
  return registers.size() >= 2 ? std::uint32_t(registers[0]) << 16 | registers[1] : registers[0];
}

}  // namespace

PlotSample HeardSamples::pollSample(const ReadRequest& poll, const QDateTime& time) const {
  PlotSample sample;
  sample.timeMs = time.toMSecsSinceEpoch();
  sample.poll = true;
  if (const int field = fieldOf(configured_, poll)) {
    sample.series = servedSeries(configured_, field);
    sample.configuredMs = configured_[std::size_t(field - 1)].intervalMs;
  } else {
    sample.series = QStringLiteral("slave %1 (function %2, 0x%3 +%4)")
                        .arg(poll.slave)
                        .arg(hexDigits(poll.function))
                        .arg(hexDigits(poll.start, 4))
                        .arg(poll.count);
  }
  return sample;
}

// The reply to the outstanding poll: its value as shown, or no value for an exception.
PlotSample HeardSamples::replied(const TrafficEvent& event) const {
  PlotSample sample = outstanding_->sample;
  sample.poll = false;
  const qint64 polledMs = sample.timeMs;
  sample.timeMs = event.time.toMSecsSinceEpoch();
  sample.latencyMs = double(sample.timeMs - polledMs);
  if (event.kind == EventKind::Exception) {
    const int code = event.bytes.size() > 2 ? quint8(event.bytes[2]) : 0;
    sample.shown = PlotSample::Shown::Unanswered;
    sample.text = QStringLiteral("exception %1: %2")
                      .arg(hexDigits(code), QLatin1String(rtu::exceptionMeaning(code)));
    return sample;
  }
  const std::vector<std::uint16_t> registers = registersOf(event.bytes);
  sample.shown = PlotSample::Shown::Value;
  if (registers.empty()) return sample;
  if (const int field = fieldOf(configured_, outstanding_->poll)) {
    const Slave& s = configured_[std::size_t(field - 1)];
    const TypedFormat format{s.dataType, s.decimals};
    sample.text = decodeTyped(rawOf(registers), format);
    if (const auto integer = typedInteger(rawOf(registers), format))
      sample.value = double(*integer) / std::pow(10.0, s.decimals);
  } else {
    sample.value = double(rawOf(registers));
    sample.text = QString::number(rawOf(registers));
  }
  return sample;
}

void HeardSamples::take(const TrafficEvent& event, std::vector<PlotSample>& out) {
  if (event.kind == EventKind::Request) {
    const auto poll = requestOf(event.bytes);
    if (!poll) return;
    if (outstanding_) {
      // The next poll came first: the one before it went unanswered, at its own time.
      PlotSample missed = outstanding_->sample;
      missed.poll = false;
      missed.shown = PlotSample::Shown::Unanswered;
      missed.text = QStringLiteral("no reply heard");
      out.push_back(std::move(missed));
    }
    outstanding_ = Outstanding{*poll, pollSample(*poll, event.time)};
    out.push_back(outstanding_->sample);
    return;
  }
  if ((event.kind != EventKind::Response && event.kind != EventKind::Exception) || !outstanding_ ||
      !answers(outstanding_->poll, event.bytes))
    return;
  out.push_back(replied(event));
  outstanding_.reset();
}

}  // namespace vantor
