#pragma once

// Everything the two-line configuration window decides, without the window: its record, what
// it restores from and saves to section Cfg1602, and the 48-byte frame it sends.

#include "core/config/ConfigFrame.h"
#include "core/config/ConfigSettings.h"
#include "core/settings/IniFile.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <vector>

namespace vantor {

// Two-line frame, 48 bytes. Rules named as in ConfigFrame.h.
//
//   byte   field                               from (Config1602)      encoding
//   0-15   display row 0                       rows[0]                row, 16 wide
//   16-31  display row 1                       rows[1]                row, 16 wide
//   32     module baud rate                    line.baud              code: 24 12 09
//   33     module data format                  line.format            code: C0 C2 D0
//   34     polling interval (x 100 ms)         pollInterval           small number
//   35     decimal places                      field.decimals         small number
//   36     data type                           field.dataType         small number: its code
//   37     start register, high byte           field.startRegister    16-bit value
//   38     start register, low byte
//   39     slave address                       field.slaveAddress     small number
//   40     function code                       field.functionCode     small number: 3 or 4
//   41     digits including decimal point      field.digits           small number
//   42     display start location              field.startLocation    small number
//   43     alarm trip point, high byte         alarmTrip              16-bit value
//   44     alarm trip point, low byte
//   45     check sum of bytes 0-44
//   46     check complement
//   47     fill, always 0
namespace frame1602 {
inline constexpr int kRowCount = 2;
inline constexpr int kRowWidth = 16;
inline constexpr int kRow0 = 0;
inline constexpr int kRow1 = 16;
inline constexpr int kBaud = 32;
inline constexpr int kDataFormat = 33;
inline constexpr int kInterval = 34;
inline constexpr int kDecimals = 35;
inline constexpr int kDataType = 36;
inline constexpr int kRegisterHi = 37;
inline constexpr int kRegisterLo = 38;
inline constexpr int kSlaveAddress = 39;
inline constexpr int kFunctionCode = 40;
inline constexpr int kDigits = 41;
inline constexpr int kStart = 42;
inline constexpr int kAlarmHi = 43;
inline constexpr int kAlarmLo = 44;
inline constexpr int kSum = 45;  // covers bytes 0..kSum-1
inline constexpr int kComplement = 46;
inline constexpr int kFill = 47;
inline constexpr int kSize = 48;

inline constexpr LineCodes kLineCodes{{0x24, 0x12, 0x09}, {0xC0, 0xC2, 0xD0}};
inline constexpr FrameShape kShape{kSize, kSum, kComplement, kFill, "two-line"};
}  // namespace frame1602

using Frame1602 = std::array<std::uint8_t, frame1602::kSize>;

// What the window edits. A default record is what a first use shows.
struct Config1602 {
  ModuleLine line;
  // Key CSet as read at opening: a save without a data format keeps its ending, so that a
  // text that matched no format survives.
  QString lineText;
  int pollInterval = 10;  // x 100 ms, 1..255
  DataField field;
  std::uint16_t alarmTrip = 0xFFFF;
  std::array<QString, frame1602::kRowCount> rows;

  friend bool operator==(const Config1602&, const Config1602&) = default;
};

struct Config1602Load {
  Config1602 cfg;
  QStringList defaulted;  // numeric keys that fell back to first-use defaults, as read
  QString notice;         // what to tell the user about them; empty when none did
  QString fileError;      // why the settings file could not be read; empty when it could
  // Nothing of the module's configuration was ever saved: no settings file, or no section of
  // the module's in it. First use, rather than a fault.
  bool firstUse = false;
};

// The opening sequence's restore from section Cfg1602; the alarm trip point always 0xFFFF.
Config1602Load loadConfig1602(const IniFile& ini);

// The keys the closing sequence writes after "Yes", in its order.
std::vector<IniEntry> config1602Entries(const Config1602& cfg);
// Saves them in one replacement of the file; on failure nothing is saved and `error` says why.
bool saveConfig1602(IniFile& ini, const Config1602& cfg, QString* error = nullptr);

// The frame to send, or a refusal naming every setting no entry of its list stands for.
EncodedFrame<frame1602::kSize> encodeConfig1602(const Config1602& cfg);

// The record a received frame was encoded from, its alarm trip point among it; or why it is no
// frame of this model, or holds a value no list offers. A record given encodes to `frame` again.
DecodedConfig<Config1602> decodeConfig1602(QByteArrayView frame);

}  // namespace vantor
