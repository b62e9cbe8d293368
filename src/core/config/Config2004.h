#pragma once

// Everything the four-line configuration window decides, without the window: its lists, which
// data fields accept input, what it restores from and saves to section Cfg2004 (and key AF of
// section Settings), and the 135-byte frame it sends. The encoding rules are the two-line
// module's (config1602/ConfigFrame.h) with this model's width, codes and layout.

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
//   byte      field                               from              encoding
//   0-79      display rows 0 to 3, 20 each        txtLine0..3       row, 20 wide
//   80        module baud rate                    cboBaud           code: FF 19 0C
//   81        module data format                  cboDF1            code: FF 0E 26
//   82        polling interval (x 100 ms)         cboSampling       position + 1
//   83        number of active data fields        cboAF             position + 1
//   84 + 4k   slave address                       cboSlaveID_k      position + 1
//   85 + 4k   function code                       opt03_k/opt04_k   3 or 4
//   86 + 4k   start register, high byte           cboSAH_k          position
//   87 + 4k   start register, low byte            cboSAL_k          position
//   100 + k   decimal places                      cboDP_k           position
//   104 + k   data type                           cboDT_k           position
//   108 + k   display start location              cboStart_k        position
//   112 + k   digits including decimal point      cboDWidth_k       position + 1
//   116 + k   high alarm trip point, high byte    cboAlarmHi_k      position
//   120 + k   high alarm trip point, low byte     cboAlarmLo_k      position
//   124 + k   low alarm trip point, high byte     cboALH_k          position
//   128 + k   low alarm trip point, low byte      cboALL_k          position
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
}  // namespace frame2004

using Frame2004 = std::array<std::uint8_t, frame2004::kSize>;

// One data field's controls (element k of each control array). List fields hold the 0-based
// position of the selected entry, -1 when the list has none.
struct Field2004 {
  int cboSlaveID = -1;
  int cboSAH = -1;
  int cboSAL = -1;
  bool opt03 = true;  // "Function Code 03" chosen; otherwise "Function Code 04"
  int cboDWidth = -1;
  int cboDP = -1;
  int cboStart = -1;
  int cboDT = -1;
  int cboAlarmHi = -1;  // high trip point, high and low byte
  int cboAlarmLo = -1;
  int cboALH = -1;  // low trip point, high and low byte
  int cboALL = -1;

  friend bool operator==(const Field2004&, const Field2004&) = default;
};

// What the window edits.
struct Config2004 {
  int cboBaud = -1;
  int cboDF1 = -1;
  int cboSampling = -1;
  int cboAF = -1;  // number of active data fields - 1
  std::array<QString, frame2004::kRowCount> txtLine;
  std::array<Field2004, kFieldCount> fields;

  friend bool operator==(const Config2004&, const Config2004&) = default;
};

struct Config2004List {
  int Config2004::*position;
  ChoiceList list;
};

// A list repeated in every data field; element k's control is list.control + "_k".
struct Field2004List {
  int Field2004::*position;
  ChoiceList list;
};

// The window's lists outside the data fields, and those of one data field, in the order the
// window shows them, with their captions and entries.
const std::vector<Config2004List>& config2004Lists();
const std::vector<Field2004List>& field2004Lists();

// How messages name a list of data field k+1, e.g. "Modbus Slave Address (field 3)".
QString fieldCaption(const QString& caption, int k);

// Which data-field frames accept input for cboAF at `cboAF`: fields 1 to cboAF + 1, none
// without a selection. The others only stop taking input: their values are still saved and
// sent. The outcome depends on the current position alone, so nothing of earlier positions
// needs keeping.
std::array<bool, kFieldCount> enabledFields(int cboAF);

struct Config2004Load {
  Config2004 cfg;
  QStringList defaulted;  // numeric keys that fell back to first-use defaults, as read
  QString notice;         // what to tell the user about them; empty when none did
  QString fileError;      // why the settings file could not be read; empty when it could
};

// The opening sequence's restore; every field's alarm trip points at 0xFFFF (high) and
// 0x0000 (low).
Config2004Load loadConfig2004(const IniFile& ini);

// The keys the closing sequence writes after "Yes" (with AF of [Settings]), in its order.
std::vector<IniEntry> config2004Entries(const Config2004& cfg);
// Saves them in one replacement of the file; on failure nothing is saved and `error` says why.
bool saveConfig2004(IniFile& ini, const Config2004& cfg, QString* error = nullptr);

// The frame to send, or a refusal naming every list without a selection. Fields that are not
// active are encoded like the others.
EncodedFrame<frame2004::kSize> encodeConfig2004(const Config2004& cfg);

}  // namespace vantor
