#pragma once

// Standing in for the module: the requests a module configured from the settings file sends,
// one per active data field in field order. A field's request is the slave the simulator
// answers as for that field (slaveOf), so that Vantor polls as the module exactly what it
// answers as the slaves: one rule, from one read of the file.

#include "core/config/Config1602.h"
#include "core/config/Config2004.h"
#include "core/modbus/LineSettings.h"
#include "core/settings/IniFile.h"
#include "core/simulator/SlaveTable.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace vantor {

// One active field's poll.
struct PolledField {
  int field = 0;       // 1..4, as the windows and vantor-cli number fields
  Slave slave;         // address, function, start register, registers, data type, decimal places
  QByteArray request;  // the 8 bytes on the line, check value included
};

// What polling as the module works from. Immutable once handed to a port's thread.
struct ModulePolls {
  std::vector<PolledField> fields;  // the active ones, in field order
  int intervalMs = 0;               // Interval x 100 ms
  ModuleLine line;                  // the module's own line settings (CSet)
  // The configuration read, to draw the display from the values polled.
  std::optional<Config1602> config1602;
  std::optional<Config2004> config2004;
};

struct ModulePollsLoad {
  std::optional<ModulePolls> polls;
  QString refusal;  // why there is nothing to poll, for the user; empty with polls
  QString notice;   // settings that fell back to first-use defaults; empty when none did
};

// The polls of the saved configuration of the two-line (`twoLine`) or four-line module.
// Nothing to poll when the file cannot be read, the module's configuration was never saved,
// or it holds a setting no frame can carry (the module could not have been configured so).
// `lineGiven`: the line settings come from elsewhere, so a CSet without a baud rate or data
// format does not matter.
ModulePollsLoad loadModulePolls(const IniFile& ini, bool twoLine, bool lineGiven);

// The module's line settings as a port takes them; nothing while its baud rate or data format
// is missing.
std::optional<LineSettings> moduleLineSettings(const ModuleLine& line);

// The read request a module sends for `slave`: address, function, start register, register
// count, check value.
QByteArray readRequest(const Slave& slave);

}  // namespace vantor
