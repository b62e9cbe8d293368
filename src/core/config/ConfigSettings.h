#pragma once

// How both configuration windows keep their records in the settings file: the line-settings
// text of key CSet, reading stored numbers back with first-use defaults, which values a
// module's keys (and so its lists) allow, and writing a window's keys in one replacement.

#include "core/config/ConfigRecord.h"
#include "core/settings/IniFile.h"
#include "core/settings/Schema.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>
#include <span>

namespace vantor {

// The module line a line-settings text (key CSet) chooses, without the baud rate or data
// format it matches none of (see parseLineChoice); and the text for a module line, with
// nothing where the baud rate or data format is missing.
ModuleLine moduleLineOf(QStringView text);
QString moduleLineText(const ModuleLine& line);

// Whether `value` is one `key` may hold, which is also what the key's list offers.
constexpr bool allows(const NumberKey& key, int value) {
  return value >= key.first && value <= key.last;
}

// The keys a module keeps a data field's bounded settings under.
struct FieldKeys {
  const NumberKey& address;
  const NumberKey& digits;
  const NumberKey& decimals;
  const NumberKey& start;
  const NumberKey& dataType;
};

// Captions of the settings of `field` its keys do not allow, in the order the windows show
// them.
QStringList unlistedSettings(const DataField& field, const FieldKeys& keys);

// Restores a window's values from one read of the settings file. A numeric key that is
// missing, empty, not a number or outside its range gets its first-use default, and is noted
// so the window can say it opened on defaults. Nothing is written back: opening never changes
// the file.
class SettingsRestore {
 public:
  explicit SettingsRestore(const IniFile& ini) : file_(ini.snapshot()) {}

  // The key's value, or its default; `caption` names the setting in the notice.
  int number(const char* section, const NumberKey& key, const QString& caption,
             const QString& suffix = {}, std::optional<int> defaultValue = std::nullopt);
  // 3 or 4 (see SectionReader::functionCode).
  int functionCode(const char* section, const QString& caption, const QString& suffix = {});
  QString text(const char* section, const char* key, const QString& suffix = {}) const;

  const IniSnapshot& file() const { return file_; }
  // The file was read and holds no `section`: the window was never saved.
  bool nothingSaved(const char* section) const {
    return file_.error().isEmpty() && !file_.hasSection(QString::fromLatin1(section));
  }
  // Keys that fell back to their defaults, as named in the file.
  const QStringList& defaultedKeys() const { return keys_; }
  // A sentence naming the defaulted settings by caption (and saying why, when the file could
  // not be read); empty when none was.
  QString notice() const;

 private:
  template <typename Read>
  auto noted(const char* section, const QString& caption, Read read);

  IniSnapshot file_;
  int numericKeys_ = 0;
  QStringList keys_;
  QStringList captions_;
};

// Saves a window's keys in one replacement of the file; on failure `error` says that nothing
// was saved and why.
bool saveSettings(IniFile& ini, std::span<const IniEntry> entries, QString* error);

}  // namespace vantor
