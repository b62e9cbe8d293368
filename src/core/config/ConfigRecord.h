#pragma once

// What both modules' configuration records are made of. A record holds values as the module
// uses them, never positions in a window's lists: the windows turn values into list entries
// and back, and the settings file keeps them as Schema.h says.

#include "core/config/DataType.h"

#include <cstdint>
#include <optional>

namespace vantor {

// The module's own line settings. Key CSet can choose a baud rate, a data format, both or
// neither, so either may be missing.
struct ModuleLine {
  std::optional<int> baud;    // bits per second: one of kBaudRates
  std::optional<int> format;  // which of kDataFormats: 8N1, 8N2 or 8E1

  friend bool operator==(const ModuleLine&, const ModuleLine&) = default;
};

// One value the module polls and shows: the request it sends and how it shows the answer.
// A default field is what a first use shows: slave 1's first holding register as an unsigned
// number of up to five digits.
struct DataField {
  int slaveAddress = 1;  // 1..255
  int functionCode = 3;  // 3 reads holding registers, 4 input registers
  std::uint16_t startRegister = 0;
  DataType dataType = DataType::Unsigned;
  int digits = 5;         // shown, the decimal point counting as one
  int decimals = 0;       // decimal places
  int startLocation = 0;  // display position of its first character

  friend bool operator==(const DataField&, const DataField&) = default;
};

// What the windows call each setting they store: beside its list, and where an opening names
// the settings that fell back to defaults or a send the lists without a choice.
namespace captions {
inline constexpr const char* kBaud = "LCD Baud Rate";
inline constexpr const char* kDataFormat = "LCD Data Format";
inline constexpr const char* kPollInterval = "Polling Interval (x 100ms )";
inline constexpr const char* kActiveFields = "Select Number of Active Data Fields";
inline constexpr const char* kSlaveAddress = "Modbus Slave Address";
inline constexpr const char* kRegisterHi = "Reg Address Hi";
inline constexpr const char* kRegisterLo = "Reg Address Lo";
inline constexpr const char* kFunctionCode = "Function Code";
inline constexpr const char* kDigits = "Number of digits including decimal point";
inline constexpr const char* kDecimals = "Number of decimal place";
inline constexpr const char* kStartLocation = "Data Display Start Location";
inline constexpr const char* kDataType = "Data Type";
}  // namespace captions

}  // namespace vantor
