#include "core/listen/HeardDisplay.h"

#include "core/modbus/HexText.h"
#include "core/modbus/RtuFrame.h"

#include <algorithm>

namespace vantor {

namespace {

FieldPoll pollOf(const DataField& f, int field) {
  return {field,
          {std::uint8_t(f.slaveAddress), std::uint8_t(f.functionCode), f.startRegister,
           std::uint16_t(registerCount(f.dataType))},
          {f.dataType, f.decimals}};
}

FieldReading notPolledYet() {
  return {std::nullopt, QStringLiteral("not polled yet")};
}

}  // namespace

std::vector<FieldPoll> fieldPolls(const ModuleConfig& config) {
  std::vector<FieldPoll> polls;
  if (config.cfg1602) {
    polls.push_back(pollOf(config.cfg1602->field, 1));
  } else if (config.cfg2004) {
    const int active = std::clamp(config.cfg2004->activeFields, 0, kFieldCount);
    for (int k = 0; k < active; ++k) polls.push_back(pollOf(config.cfg2004->fields[k], k + 1));
  }
  return polls;
}

std::optional<ModuleConfig> configOf(QByteArrayView frame) {
  if (frame.size() == frame1602::kSize) {
    if (auto decoded = decodeConfig1602(frame); decoded.cfg)
      return ModuleConfig{std::move(decoded.cfg), std::nullopt};
  } else if (frame.size() == frame2004::kSize) {
    if (auto decoded = decodeConfig2004(frame); decoded.cfg)
      return ModuleConfig{std::nullopt, std::move(decoded.cfg)};
  }
  return std::nullopt;
}

HeardDisplay::HeardDisplay(const ModuleConfig& saved) {
  drawFrom(saved);
}

void HeardDisplay::drawFrom(const ModuleConfig& config) {
  config_ = config;
  fields_ = fieldPolls(config);
  readings_.fill(notPolledYet());
  outstanding_.reset();
  noiseSincePoll_ = false;
}

bool HeardDisplay::take(const TrafficEvent& e) {
  switch (e.kind) {
    case EventKind::ConfigFrame: {
      const std::optional<ModuleConfig> heard = configOf(e.bytes);
      if (!heard) return false;  // the monitor says why it is none
      drawFrom(*heard);
      configHeardAt_ = e.time;
      heard_ = true;
      return true;
    }
    case EventKind::Request: {
      const std::optional<ReadRequest> poll = requestOf(e.bytes);
      if (!poll) return false;
      // The poll before went unanswered: a module shows no value for it either.
      const bool changed =
          outstanding_ &&
          settle({std::nullopt, noiseSincePoll_ ? QStringLiteral("no valid reply heard")
                                                : QStringLiteral("no reply heard")});
      outstanding_ = poll;
      noiseSincePoll_ = false;
      return changed;
    }
    case EventKind::Response:
    case EventKind::Exception: {
      if (!outstanding_ || !answers(*outstanding_, e.bytes)) return false;
      // An exception reply's code sits where a response's byte count does.
      const auto code = std::uint8_t(e.bytes[rtu::kByteCount]);
      const bool changed = settle(
          e.kind == EventKind::Response
              ? FieldReading{registerValue(registersOf(e.bytes)), {}}
              : FieldReading{std::nullopt, QStringLiteral("exception %1 (%2)")
                                               .arg(hexDigits(code),
                                                    QLatin1String(rtu::exceptionMeaning(code)))});
      outstanding_.reset();
      return changed;
    }
    case EventKind::CrcError:
    case EventKind::Fragment:
      noiseSincePoll_ = outstanding_.has_value();
      return false;
    default:
      return false;
  }
}

bool HeardDisplay::settle(const FieldReading& reading) {
  bool matched = false;
  for (const FieldPoll& f : fields_) {
    if (f.poll != *outstanding_) continue;
    readings_[std::size_t(f.field - 1)] = reading;
    matched = true;
  }
  heard_ = heard_ || matched;
  return matched;
}

QString HeardDisplay::configNote() const {
  if (!configHeardAt_.isValid()) return {};
  const auto fields = qsizetype(fields_.size());
  return QStringLiteral("Drawing the configuration heard at %1: %2 module, %3 field%4")
      .arg(configHeardAt_.toLocalTime().toString(QStringLiteral("HH:mm:ss.zzz")),
           QLatin1String(config_.cfg1602 ? frame1602::kShape.model : frame2004::kShape.model))
      .arg(fields)
      .arg(fields == 1 ? "" : "s");
}

DisplayPreview HeardDisplay::preview() const {
  if (config_.cfg1602) return previewDisplay(*config_.cfg1602, readings_[0]);
  if (config_.cfg2004) return previewDisplay(*config_.cfg2004, readings_);
  return {};
}

}  // namespace vantor
