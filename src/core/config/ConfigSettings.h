#pragma once

// How both configuration windows keep their values in the settings file and fill their lists:
// list entries, the line-settings text of key CSet, reading stored numbers back as list
// positions with first-use defaults, and writing a window's keys in order.

#include "core/config/DataType.h"
#include "core/settings/IniFile.h"
#include "core/settings/Schema.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>
#include <span>
#include <utility>

namespace vantor {

// One drop-down list of a configuration window.
struct ChoiceList {
  QString control;  // objectName of the combo box (element k of a control array adds "_k")
  QString caption;  // what the window shows beside or above it
  QStringList entries;
  int firstEntry = 0;  // the value an entry stands for is its position + firstEntry
};

QStringList numberEntries(int first, int last);  // decimal, no leading zeros
QStringList hexEntries(const QString& prefix);   // prefix + "00".."FF", upper case
QStringList baudEntries();                       // "9600", "19200", "38400"
QStringList dataFormatEntries();                 // "8N1", "8N2", "8E1"
// The data types by code, under the names one place shows them by, e.g.
// &DataTypeInfo::twoLineName.
QStringList dataTypeEntries(const char* DataTypeInfo::*name);

// List positions of the baud rate and data format a line-settings text (key CSet) chooses,
// -1 where it chooses none; and the text for a choice, the baud part empty without one.
std::pair<int, int> linePositions(QStringView text);
QString lineSettingsText(int cboBaud, int cboDF1);

// Restores a window's values from one read of the settings file. A numeric key that is
// missing, empty, not a number or outside its list gets its first-use default, and is noted so
// the window can say it opened on defaults. Nothing is written back: opening never changes
// the file.
class SettingsRestore {
 public:
  explicit SettingsRestore(const IniFile& ini) : file_(ini.snapshot()) {}

  // The position of the entry standing for the key's value (or its default) in a list whose
  // entries stand for key.first..key.last.
  int position(const char* section, const NumberKey& key, const QString& caption,
               const QString& suffix = {}, std::optional<int> defaultValue = std::nullopt);
  // Whether "Function Code 03" is chosen (see SectionReader::functionCode).
  bool opt03(const char* section, const QString& caption, const QString& suffix = {});
  QString text(const char* section, const char* key, const QString& suffix = {}) const;

  const IniSnapshot& file() const { return file_; }
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
