#pragma once

// How both configuration windows keep their values in the settings file and fill their lists:
// list entries, the line-settings text of key CSet, reading stored numbers back as list
// positions with first-use defaults, and writing a window's keys in order.

#include "core/settings/IniFile.h"

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

// List positions of the baud rate and data format a line-settings text (key CSet) chooses,
// -1 where it chooses none; and the text for a choice, the baud part empty without one.
std::pair<int, int> linePositions(QStringView text);
QString lineSettingsText(int cboBaud, int cboDF1);

// The position that a stored number selects in a list whose first entry stands for
// `firstEntry`: the text read as a decimal number (blanks around it allowed, a fraction
// rounded to the nearest whole number, halves away from zero) minus `firstEntry`. Nothing when
// the text is no such number or the position is outside the list.
std::optional<int> storedPosition(const QString& text, int firstEntry, qsizetype count);

// Restores a window's values one key at a time. A numeric key that is missing, empty, not a
// number or outside its list gets its first-use default, and is noted so the window can say
// it opened on defaults. Nothing is written back: opening never changes the file.
class SettingsRestore {
 public:
  explicit SettingsRestore(const IniFile& ini) : ini_(ini) {}

  // Position for `key`, or the position of the entry standing for `defaultValue`.
  int position(const QString& section, const QString& key, const ChoiceList& list, int defaultValue,
               const QString& caption);
  // Whether "Function Code 03" is chosen: a stored 3 chooses it and any other number
  // "Function Code 04"; without a number, 03, which is what most slaves serve.
  bool opt03(const QString& section, const QString& key, const QString& caption);
  QString text(const QString& section, const QString& key) const {
    return ini_.read(section, key);
  }

  const QStringList& defaultedKeys() const { return keys_; }
  // A sentence naming the defaulted settings by caption; empty when none was.
  QString notice() const;

 private:
  void defaulted(const QString& key, const QString& caption);

  const IniFile& ini_;
  int numericKeys_ = 0;
  QStringList keys_;
  QStringList captions_;
};

struct SettingWrite {
  QString section;
  QString key;
  QString value;
};

// Writes `writes` in order and stops at the first that fails; `error` then names that key and
// says that it and the keys after it keep their earlier values.
bool writeSettings(IniFile& ini, std::span<const SettingWrite> writes, QString* error);

}  // namespace vantor
