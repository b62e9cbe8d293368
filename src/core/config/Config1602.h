#pragma once

// Everything the two-line configuration window decides, without the window: its lists, what
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
//   byte   field                               from          encoding
//   0-15   display row 0                       txtLine0      row, 16 wide
//   16-31  display row 1                       txtLine1      row, 16 wide
//   32     module baud rate                    cboBaud       code: 24 12 09
//   33     module data format                  cboDF1        code: C0 C2 D0
//   34     polling interval (x 100 ms)         cboSampling   position + 1
//   35     decimal places                      cboDP         position
//   36     data type                           cboDT         position
//   37     start register, high byte           cboSAH        position
//   38     start register, low byte            cboSAL        position
//   39     slave address                       cboSlaveID    position + 1
//   40     function code                       opt03/opt04   3 or 4
//   41     digits including decimal point      cboDWidth     position + 1
//   42     display start location              cboStart      position
//   43     alarm trip point, high byte         cboAlarmHi    position
//   44     alarm trip point, low byte          cboAlarmLo    position
//   45     check sum of bytes 0-44
//   46     check complement
//   47     fill, always 0
namespace frame1602 {
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
}  // namespace frame1602

using Frame1602 = std::array<std::uint8_t, frame1602::kSize>;

// What the window edits. List fields hold the 0-based position of the selected entry, -1 when
// the list has none.
struct Config1602 {
  int cboBaud = -1;
  int cboDF1 = -1;
  int cboSampling = -1;
  int cboSlaveID = -1;
  int cboSAH = -1;
  int cboSAL = -1;
  int cboDWidth = -1;
  int cboDP = -1;
  int cboStart = -1;
  int cboDT = -1;
  int cboAlarmHi = -1;
  int cboAlarmLo = -1;
  bool opt03 = true;  // "Function Code 03" chosen; otherwise "Function Code 04"
  QString txtLine0;
  QString txtLine1;
  QString CSet;  // key CSet as read at opening: saving keeps its ending while cboDF1 has none

  friend bool operator==(const Config1602&, const Config1602&) = default;
};

struct Config1602List {
  int Config1602::*position;
  ChoiceList list;
};

// The window's lists, in the order it fills them, with their captions and entries.
const std::vector<Config1602List>& config1602Lists();

struct Config1602Load {
  Config1602 cfg;
  QStringList defaulted;  // numeric keys that fell back to first-use defaults, as read
  QString notice;         // what to tell the user about them; empty when none did
  QString fileError;      // why the settings file could not be read; empty when it could
};

// The opening sequence's restore from section Cfg1602; alarm trip points always FF FF.
Config1602Load loadConfig1602(const IniFile& ini);

// The keys the closing sequence writes after "Yes", in its order.
std::vector<IniEntry> config1602Entries(const Config1602& cfg);
// Saves them in one replacement of the file; on failure nothing is saved and `error` says why.
bool saveConfig1602(IniFile& ini, const Config1602& cfg, QString* error = nullptr);

// The frame to send, or a refusal naming every list without a selection.
EncodedFrame<frame1602::kSize> encodeConfig1602(const Config1602& cfg);

}  // namespace vantor
