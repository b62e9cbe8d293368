#pragma once

// Everything the four-line configuration window decides, without the window: its record, which
// data fields accept input, what it restores from and saves to section Cfg2004 (and key AF of
// section Settings), and the 135-byte frame it sends. The encoding rules are the two-line
// module's (ConfigFrame.h) with this model's width, codes and layout.

#include "core/config/ConfigFrame.h"
#include "core/config/ConfigSettings.h"
#include "core/settings/IniFile.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <vector>

namespace vantor {

inline constexpr int kFieldCount = 4;

// Four-line frame, 135 bytes; k = 0..3 is data field k+1. Rules named as in ConfigFrame.h.
//
//   byte      field                               from (Config2004)          encoding
//   0-79      display rows 0 to 3, 20 each        rows                       row, 20 wide
//   80        module baud rate                    line.baud                  code: FF 19 0C
//   81        module data format                  line.format                code: FF 0E 26
//   82        polling interval (x 100 ms)         pollInterval               small number
//   83        number of active data fields        activeFields               small number
//   84 + 4k   slave address                       fields[k].slaveAddress     small number
//   85 + 4k   function code                       fields[k].functionCode     small number
//   86 + 4k   start register, high byte           fields[k].startRegister    16-bit value
//   87 + 4k   start register, low byte
//   100 + k   decimal places                      fields[k].decimals         small number
//   104 + k   data type                           fields[k].dataType         small number
//   108 + k   display start location              fields[k].startLocation    small number
//   112 + k   digits including decimal point      fields[k].digits           small number
//   116 + k   high alarm trip point, high byte    fields[k].highTrip         16-bit value,
//   120 + k   high alarm trip point, low byte                                the bytes apart
//   124 + k   low alarm trip point, high byte     fields[k].lowTrip          16-bit value,
//   128 + k   low alarm trip point, low byte                                 the bytes apart
//   132       check sum of bytes 0-131
//   133       check complement
//   134       fill, always 0
//
// The module's requests are grouped by field, its display settings by attribute.
namespace frame2004 {
inline constexpr int kRowCount = 4;
inline constexpr int kRowWidth = 20;
inline constexpr int kRows = 0;  // row r at kRows + r * kRowWidth
inline constexpr int kBaud = 80;
inline constexpr int kDataFormat = 81;
inline constexpr int kInterval = 82;
inline constexpr int kActiveFields = 83;
inline constexpr int kRequests = 84;  // field k's request at kRequests + k * kRequestSize
inline constexpr int kRequestSize = 4;
inline constexpr int kSlaveAddress = 0;  // within a request
inline constexpr int kFunctionCode = 1;
inline constexpr int kRegisterHi = 2;
inline constexpr int kRegisterLo = 3;
inline constexpr int kDecimals = 100;  // field k's byte at kDecimals + k, and so on
inline constexpr int kDataType = 104;
inline constexpr int kStart = 108;
inline constexpr int kDigits = 112;
inline constexpr int kHighAlarmHi = 116;
inline constexpr int kHighAlarmLo = 120;
inline constexpr int kLowAlarmHi = 124;
inline constexpr int kLowAlarmLo = 128;
inline constexpr int kSum = 132;  // covers bytes 0..kSum-1
inline constexpr int kComplement = 133;
inline constexpr int kFill = 134;
inline constexpr int kSize = 135;

inline constexpr LineCodes kLineCodes{{0xFF, 0x19, 0x0C}, {0xFF, 0x0E, 0x26}};
inline constexpr FrameShape kShape{kSize, kSum, kComplement, kFill, "four-line"};
}  // namespace frame2004

using Frame2004 = std::array<std::uint8_t, frame2004::kSize>;

// A data field of the four-line module: what it polls and shows, and its alarm trip points.
struct Field2004 : DataField {
  std::uint16_t highTrip = 0xFFFF;
  std::uint16_t lowTrip = 0x0000;

  friend bool operator==(const Field2004&, const Field2004&) = default;
};

// What the window edits. A default record is what a first use shows, but for the start
// registers of fields 2 to 4.
struct Config2004 {
  ModuleLine line;
  int pollInterval = 10;  // x 100 ms, 1..255
  int activeFields = 1;   // 1..4
  std::array<QString, frame2004::kRowCount> rows;
  std::array<Field2004, kFieldCount> fields;

  friend bool operator==(const Config2004&, const Config2004&) = default;
};

// How messages name a setting of data field k+1, e.g. "Modbus Slave Address (field 3)".
QString fieldCaption(const QString& caption, int k);

// Which data-field frames accept input with `activeFields` active: fields 1 to activeFields,
// none without a number. The others only stop taking input: their values are still saved and
// sent. The outcome depends on the current number alone, so nothing of earlier ones needs
// keeping.
std::array<bool, kFieldCount> enabledFields(int activeFields);

struct Config2004Load {
  Config2004 cfg;
  QStringList defaulted;  // numeric keys that fell back to first-use defaults, as read
  QString notice;         // what to tell the user about them; empty when none did
  QString fileError;      // why the settings file could not be read; empty when it could
  // Nothing of the module's configuration was ever saved: no settings file, or no section of
  // the module's in it. First use, rather than a fault.
  bool firstUse = false;
};

// The opening sequence's restore; every field's alarm trip points at 0xFFFF (high) and
// 0x0000 (low).
Config2004Load loadConfig2004(const IniFile& ini);

// The keys the closing sequence writes after "Yes" (with AF of [Settings]), in its order.
std::vector<IniEntry> config2004Entries(const Config2004& cfg);
// Saves them in one replacement of the file; on failure nothing is saved and `error` says why.
bool saveConfig2004(IniFile& ini, const Config2004& cfg, QString* error = nullptr);

// The frame to send, or a refusal naming every setting no entry of its list stands for. Fields
// that are not active are encoded like the others.
EncodedFrame<frame2004::kSize> encodeConfig2004(const Config2004& cfg);

// The record a received frame was encoded from, the alarm trip points among it; or why it is no
// frame of this model, or holds a value no list offers. A record given encodes to `frame` again.
DecodedConfig<Config2004> decodeConfig2004(QByteArrayView frame);

}  // namespace vantor
