#pragma once

#include "core/config/Config1602.h"
#include "core/config/Config2004.h"
#include "core/config/DataType.h"
#include "core/settings/IniFile.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>

namespace vantor {

inline constexpr int kSlaveCount = 4;
inline constexpr int kValueListsPerSlave = 3;

// One simulated slave: the poll it answers. Only an enabled slave answers anything.
struct Slave {
  bool enabled = false;
  std::uint8_t address = 0;
  std::uint8_t functionCode = 0;
  std::uint16_t startRegister = 0;
  std::uint8_t registerCount = 0;  // 1, or 2 for the two-register data types
  // How the module shows the value: its data type and decimal places.
  DataType dataType = DataType::Unsigned;
  int decimals = 0;
  // The module's polling interval, in milliseconds.
  int intervalMs = 0;

  friend bool operator==(const Slave&, const Slave&) = default;
};

// Simulated slaves 1 to 4, index 0 = slave 1.
using SlaveTable = std::array<Slave, kSlaveCount>;

// What one slave's part of the simulator shows after a load. A disabled slave only shows
// "Disabled": its register labels and value lists stay as they were.
struct SlaveView {
  QString address;          // address label: the address, or "Disabled"
  bool listsReset = false;  // refill the three value lists, select position 0 ("0x00")
  // Register labels: Modbus reference numbers, "n / a" for the unused one.
  std::optional<QString> firstReg;
  std::optional<QString> secondReg;
};

struct SlaveTableLoad {
  SlaveTable table;
  std::array<SlaveView, kSlaveCount> views;
  // Where the slaves' configuration came from when the file did not give all of it, in the
  // words of whoever set up the module; empty when the file gave every value.
  QString notice;
  // The notice tells of a fault to look into (a file that could not be read, values that
  // could not be used), not of a configuration that was simply never saved.
  bool noticeWarns = false;
  // The settings file and the keys behind the notice, for whoever asks.
  QString noticeDetails;
  // The module's configuration the table was made from (the one of the module loaded), so
  // that what is drawn of the display is what is served.
  std::optional<Config1602> config1602;
  std::optional<Config2004> config2004;
};

// How a simulated slave is named in the log, the counters and every message: by the Modbus
// address it answers at, and the module's field it stands for (its quadrant in the window):
// "slave 3 (field 2)". A slave alone is always an address.
QString slaveName(int address, int field);

// Entries of value list `element` of a slave: "0x00".."0xFF" for elements 0 and 1,
// "0x00".."0x0F" for element 2. An entry's position is the byte value it stands for.
QStringList valueListEntries(int element);

// The slave a data field polls, as the frame tells the module to poll it: what the simulator
// answers as, and what Vantor sends when it polls as the module.
Slave slaveOf(const DataField& field, int pollInterval);

// The slaves a module configured from the settings file polls: exactly the polls the frame
// built from the same file would make the module send. Section Cfg1602 configures slave 1
// (2 to 4 are disabled), Cfg2004 all four. Keys that are missing or unusable take the
// first-use defaults the configuration window would show.
SlaveTableLoad loadSlaveTable1602(const IniFile& ini);
SlaveTableLoad loadSlaveTable2004(const IniFile& ini);

}  // namespace vantor
