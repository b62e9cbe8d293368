#pragma once

#include "settings/modINI.h"
#include "shared/modVar.h"

#include <QString>
#include <QStringList>

#include <array>
#include <optional>

namespace vantor {

// What one slave's quadrant of the simulator frame must show after a load. Fields left unset
// were not reached by the load: the window keeps what it showed before.
struct SlaveView {
  std::optional<QString> address;  // address label, exactly the text stored
  bool listsReset = false;         // refill the three value lists, select position 0 ("0x00")
  std::optional<QString> firstReg;
  std::optional<QString> secondReg;
};

struct SlaveTableLoad {
  std::array<SlaveView, kSlaveCount> views;
  bool disableOthers = false;    // two-line load completed: slaves 2 to 4 show "Disabled"
  std::optional<QString> error;  // why the load stopped, as a sentence for the user
};

inline constexpr int kValueListsPerSlave = 3;

// Entries of value list `element` of a slave: "0x00".."0xFF" for elements 0 and 1,
// "0x00".."0x0F" for element 2. An entry's position is the byte value it stands for.
QStringList valueListEntries(int element);

// Turn the configuration saved in section Cfg1602 (slave 1) or Cfg2004 (slaves 1 to 4) into
// the slaves' expected requests in `vars` and the views the window shows. A slave answers
// only once its whole load has completed; a load that stops leaves the steps before the
// failure done and the ones after it untouched.
SlaveTableLoad LoadSlaveTable1602(const modINI& ini, modVar& vars);
SlaveTableLoad LoadSlaveTable2004(const modINI& ini, modVar& vars);

}  // namespace vantor
