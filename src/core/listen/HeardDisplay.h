#pragma once

// The module's display drawn from a line that is only heard. Each active field of the
// configuration shows the value of the reply heard to the last poll that is exactly the
// field's (its slave, function, start register, and the registers its data type reads), or
// why it has none: the poll was refused, or the next request followed it without a reply. A
// configuration frame heard on the line (the module being configured while it is heard) is
// the configuration from then on, whichever module it is for: the line is the truth.

#include "core/config/Config1602.h"
#include "core/config/Config2004.h"
#include "core/display/DisplayPreview.h"
#include "core/listen/HeardFrames.h"
#include "core/monitor/TrafficEvent.h"
#include "core/simulator/TypedValue.h"

#include <QByteArrayView>
#include <QDateTime>
#include <QString>

#include <array>
#include <optional>
#include <vector>

namespace vantor {

// The configuration of one of the two modules; none when both are empty.
struct ModuleConfig {
  std::optional<Config1602> cfg1602;
  std::optional<Config2004> cfg2004;

  friend bool operator==(const ModuleConfig&, const ModuleConfig&) = default;
};

// An active field as its module polls it and reads the reply.
struct FieldPoll {
  int field = 0;  // 1-based, as the windows and vantor-cli number fields
  ReadRequest poll;
  TypedFormat format;
};

// The active fields of `config` in field order: the two-line module's one field, the four-line
// module's first activeFields.
std::vector<FieldPoll> fieldPolls(const ModuleConfig& config);

// The configuration a heard configuration frame carries, the module told by its length;
// nothing when it is no frame either configuration window could have sent.
std::optional<ModuleConfig> configOf(QByteArrayView frame);

class HeardDisplay {
 public:
  explicit HeardDisplay(const ModuleConfig& saved = {});

  // Takes what was heard, in order; true when what the display shows may have changed.
  bool take(const TrafficEvent& event);

  const ModuleConfig& config() const { return config_; }
  // Index 0 is field 1; a field that is not active stays "not polled yet".
  const std::array<FieldReading, kFieldCount>& readings() const { return readings_; }
  // Whether anything the display shows was heard: a field's poll settled, or a configuration.
  bool heard() const { return heard_; }
  // When the configuration drawn was heard; invalid while the saved one is drawn.
  QDateTime configHeardAt() const { return configHeardAt_; }
  // "Drawing the configuration heard at 14:03:12.345: four-line module, 3 fields" (local
  // time); empty while the saved configuration is drawn.
  QString configNote() const;
  DisplayPreview preview() const;

 private:
  void drawFrom(const ModuleConfig& config);
  // The outstanding poll came to `reading`: every field it is exactly the poll of shows it.
  bool settle(const FieldReading& reading);

  ModuleConfig config_;
  std::vector<FieldPoll> fields_;
  std::array<FieldReading, kFieldCount> readings_;
  std::optional<ReadRequest> outstanding_;  // the last poll heard, while no reply followed it
  bool noiseSincePoll_ = false;             // bytes that were no frame came after it
  bool heard_ = false;
  QDateTime configHeardAt_;
};

}  // namespace vantor
