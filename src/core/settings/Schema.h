#pragma once

// What each section of the settings file holds: its key names, how each value is read (the
// one number reader, the range, the first-use default) and how it is written. Every reader
// and writer of the file goes through these, so the configuration windows, the slave-table
// loads, the main window and the command-line tool can never read one file two ways.

#include "core/settings/IniFile.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <array>
#include <optional>
#include <vector>

namespace vantor {

// The one number reader: a decimal number with blanks around it allowed, an optional sign,
// and a fraction rounded to the nearest whole number (halves away from zero). Nothing for
// anything else, or for a number too large to mean anything here.
std::optional<long long> readNumber(QStringView text);

// A numeric key: the whole numbers it may hold and the value it has on first use.
struct NumberKey {
  const char* name;
  int first;
  int last;
  int defaultValue;
};

// Reads one section's keys from one read of the file. A numeric key that is missing, empty,
// not a number or outside its range reads as its default and is noted.
class SectionReader {
 public:
  SectionReader(const IniSnapshot& file, QString section)
      : file_(file), section_(std::move(section)) {}

  const QString& section() const { return section_; }
  // `suffix` follows the key name (a data field's number); `defaultValue` overrides the key's.
  int number(const NumberKey& key, const QString& suffix = {},
             std::optional<int> defaultValue = std::nullopt);
  // A function code key: a stored 3 is function 03, any other number 04; without a number 03,
  // which is what most slaves serve.
  int functionCode(const char* name, const QString& suffix = {});
  QString text(const char* name, const QString& suffix = {}) const;

  // Keys that fell back to their defaults, as named in the file, in reading order.
  const QStringList& defaulted() const { return defaulted_; }
  // Numeric keys read so far.
  int numbersRead() const { return numbersRead_; }

 private:
  const IniSnapshot& file_;
  QString section_;
  QStringList defaulted_;
  int numbersRead_ = 0;
};

namespace ini {

// [Settings]: the main window's port and line settings, and the four-line module's number of
// active data fields.
namespace settings {
inline constexpr const char* kSection = "Settings";
inline constexpr const char* kCommPort = "CommPort";     // 1..20, 0 for none
inline constexpr const char* kLineSettings = "Setting";  // "9600,n,8,1" and the like
inline constexpr NumberKey kActiveFields{"AF", 1, 4, 1};
}  // namespace settings

// [LCD]: the module chosen on the main window, "1602" for the two-line one.
namespace lcd {
inline constexpr const char* kSection = "LCD";
inline constexpr const char* kModule = "Module";
inline constexpr const char* kTwoLine = "1602";
inline constexpr const char* kFourLine = "2004";
}  // namespace lcd

// [Window]: how the main window was left: its size ("980x700") and the heights the
// splitters gave their parts ("420,280": controls and bus monitor; log and counters).
namespace window {
inline constexpr const char* kSection = "Window";
inline constexpr const char* kSize = "Size";
inline constexpr const char* kMainSplit = "Split";
inline constexpr const char* kMonitorSplit = "MonitorSplit";
}  // namespace window

// [Ports]: "3=/dev/ttyUSB1" puts a device behind port number 3.
namespace ports {
inline constexpr const char* kSection = "Ports";
}

// Keys both module sections have.
inline constexpr const char* kModuleLineSettings = "CSet";     // the module's own line settings
inline constexpr NumberKey kInterval{"Interval", 1, 255, 10};  // x 100 ms
inline constexpr const char* kFunctionCode = "Fcode";          // 3, or 4 for any other number

// [Cfg1602]: the two-line module. First-use defaults describe a typical first set-up: one
// slave at the address most devices leave the factory with, read once a second from its first
// holding register as a plain 16-bit number.
namespace cfg1602 {
inline constexpr const char* kSection = "Cfg1602";
inline constexpr NumberKey kAddress{"Saddr", 1, 255, 1};
inline constexpr NumberKey kRegisterHi{"RHigh", 0, 255, 0};
inline constexpr NumberKey kRegisterLo{"RLow", 0, 255, 0};
inline constexpr NumberKey kDigits{"Dwidth1", 1, 6, 5};  // all digits of 0..65535
inline constexpr NumberKey kStart{"SP1", 0, 30, 0};
inline constexpr NumberKey kDecimals{"DP1", 0, 5, 0};
inline constexpr NumberKey kDataType{"DT", 0, 4, 0};  // a type's code (DataType.h): unsigned
inline constexpr std::array<const char*, 2> kRows{"UDT1", "UDT2"};
}  // namespace cfg1602

// [Cfg2004]: the four-line module; data field k's keys end in k (1..4). Fields 2 to 4 default
// to the next registers of the same slave, so that raising the number of active fields shows
// four consecutive registers at once.
namespace cfg2004 {
inline constexpr const char* kSection = "Cfg2004";
inline constexpr NumberKey kAddress{"Saddr", 1, 255, 1};
inline constexpr NumberKey kRegisterHi{"RHigh", 0, 255, 0};
inline constexpr NumberKey kRegisterLo{"RLow", 0, 255, 0};  // field k: k - 1
inline constexpr NumberKey kDigits{"Dwidth", 1, 9, 5};
inline constexpr const char* kDigitsWritten = "DWidth";  // written with a capital W
inline constexpr NumberKey kDecimals{"DP", 0, 5, 0};
inline constexpr NumberKey kStart{"SP", 0, 18, 0};
inline constexpr NumberKey kDataType{"DT", 0, 4, 0};
inline constexpr std::array<const char*, 4> kRows{"UDT1", "UDT2", "UDT3", "UDT4"};
}  // namespace cfg2004

// [Bench1602], [Bench2004]: the value each slave of the module answered with when the main
// window closed, set again at the first Connect of the next start. Key "Typed" and the slave's
// number (1..4): the value as typed ("-12.5"), or "0x" and hexadecimal digits for a value
// picked in the lists ("0x1234"); empty for nothing set.
namespace bench {
inline constexpr const char* kSection1602 = "Bench1602";
inline constexpr const char* kSection2004 = "Bench2004";
inline constexpr const char* kTyped = "Typed";
}  // namespace bench

// [Bench]: the bench scenarios opened or saved last, newest first ("Recent1" to "Recent8",
// each a whole path), and the folder the last one was in ("Folder"), where the next file
// dialog opens. A path longer than a value can hold is not kept.
namespace benchfiles {
inline constexpr const char* kSection = "Bench";
inline constexpr const char* kRecent = "Recent";
inline constexpr const char* kFolder = "Folder";
inline constexpr int kRecentCount = 8;
}  // namespace benchfiles

// [AnswerAll]: whether the simulator answers every valid read, and the registers it answers
// where no slave of the module holds them: "Count" entries, keys "Register1" to "RegisterN",
// each "SLAVE:FC:REGISTER=VALUE" (RegisterMap.h). One key an entry: a value holds at most
// IniFile::kMaxValueLength characters.
namespace answerall {
inline constexpr const char* kSection = "AnswerAll";
inline constexpr NumberKey kEnabled{"Enabled", 0, 1, 0};
inline constexpr NumberKey kCount{"Count", 0, 100, 0};
inline constexpr const char* kRegister = "Register";
}  // namespace answerall

}  // namespace ini

// An entry for `key` with `value` written as a decimal number.
IniEntry numberEntry(const char* section, const QString& key, long long value);
IniEntry textEntry(const char* section, const QString& key, const QString& value);

// The recent scenarios as the file keeps them, newest first, without gaps or repeats.
QStringList readRecentBenches(const IniSnapshot& file);
// `path` put first in `recent`, taken out of where it stood, at most kRecentCount kept.
QStringList withRecentBench(const QStringList& recent, const QString& path);
// The keys that keep `recent` and `folder`.
std::vector<IniEntry> recentBenchEntries(const QStringList& recent, const QString& folder);

}  // namespace vantor
