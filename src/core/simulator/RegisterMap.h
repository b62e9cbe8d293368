#pragma once

// What "answer every poll" answers a read no configured slave matches with, where no enabled
// slave holds the register: a small map of registers, written "SLAVE:FC:REGISTER=VALUE" on the
// command line and in the settings file, each number decimal or 0x-prefixed hexadecimal.

#include "core/settings/IniFile.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <array>
#include <compare>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace vantor {

struct RegisterKey {
  std::uint8_t slave = 0;     // the polled address, 1..247
  std::uint8_t function = 0;  // 3 or 4
  std::uint16_t reg = 0;      // register number as on the wire, 0-based
  friend auto operator<=>(const RegisterKey&, const RegisterKey&) = default;
};
using RegisterMap = std::map<RegisterKey, std::uint16_t>;

// The four items of an entry (the register map table's columns), in the order it is written.
enum class RegisterItem { Slave, Function, Register, Value };
inline constexpr int kRegisterItems = 4;
using RegisterCells = std::array<QString, kRegisterItems>;

// One item as typed; nothing when it is not a number the item allows.
std::optional<std::uint16_t> parseRegisterItem(RegisterItem item, QStringView text);
// What an item allows, in words: "a slave address 1 to 247", ...
QString registerItemRule(RegisterItem item);

// "1:3:0x64=5" taken apart as typed; nothing when the text is not of that shape.
std::optional<RegisterCells> registerCellsOf(const QString& text);
QString registerEntryText(const RegisterCells& cells);

struct RegisterEntry {
  RegisterKey key;
  std::uint16_t value = 0;
};
// A whole entry; nothing, with why in `why`, when it cannot be used.
std::optional<RegisterEntry> parseRegisterEntry(const QString& text, QString* why = nullptr);

// [AnswerAll] of the settings file: whether every poll is answered, and the register map's
// entries as typed (one a key, a bad one kept so that it can be put right).
struct AnswerAllSettings {
  bool enabled = false;
  QStringList entries;
  int keys = 0;  // how many Register keys the file counted, empty ones too
};
AnswerAllSettings readAnswerAll(const IniSnapshot& file);
// The keys that store `settings`; the entries a file held beyond them (`storedBefore` of them)
// are emptied.
std::vector<IniEntry> answerAllEntries(const AnswerAllSettings& settings, int storedBefore);

}  // namespace vantor
