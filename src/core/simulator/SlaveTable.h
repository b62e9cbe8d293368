#pragma once

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

  friend bool operator==(const Slave&, const Slave&) = default;
};

// Simulated slaves 1 to 4, index 0 = slave 1.
using SlaveTable = std::array<Slave, kSlaveCount>;

// What one slave's part of the simulator must show after a load. Fields left unset were not
// reached by the load: the window keeps what it showed before.
struct SlaveView {
  std::optional<QString> address;  // address label, exactly the text stored
  bool listsReset = false;         // refill the three value lists, select position 0 ("0x00")
  std::optional<QString> firstReg;
  std::optional<QString> secondReg;
};

struct SlaveTableLoad {
  SlaveTable table;
  std::array<SlaveView, kSlaveCount> views;
  bool disableOthers = false;    // two-line load completed: slaves 2 to 4 show "Disabled"
  std::optional<QString> error;  // why the load stopped, as a sentence for the user
};

// Entries of value list `element` of a slave: "0x00".."0xFF" for elements 0 and 1,
// "0x00".."0x0F" for element 2. An entry's position is the byte value it stands for.
QStringList valueListEntries(int element);

// The slaves the configuration saved in section Cfg1602 (slave 1) or Cfg2004 (slaves 1 to 4)
// polls, starting from `previous`. A slave answers only once its whole load has completed; a
// load that stops leaves the steps before the failure done and the ones after it as they were.
SlaveTableLoad loadSlaveTable1602(const IniFile& ini, const SlaveTable& previous = {});
SlaveTableLoad loadSlaveTable2004(const IniFile& ini, const SlaveTable& previous = {});

}  // namespace vantor
