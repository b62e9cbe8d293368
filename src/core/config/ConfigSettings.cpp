#include "core/config/ConfigSettings.h"

#include "core/config/ConfigFrame.h"
#include "core/modbus/LineSettings.h"

#include <array>

namespace vantor {

QStringList numberEntries(int first, int last) {
  QStringList entries;
  for (int value = first; value <= last; ++value) entries << QString::number(value);
  return entries;
}

QStringList hexEntries(const QString& prefix) {
  QStringList entries;
  for (int value = 0; value <= 0xFF; ++value)
    entries << prefix + QString::number(value, 16).toUpper().rightJustified(2, u'0');
  return entries;
}

QStringList baudEntries() {
  QStringList entries;
  for (const int baud : kBaudRates) entries << QString::number(baud);
  return entries;
}

QStringList dataFormatEntries() {
  QStringList entries;
  for (const DataFormat& format : kDataFormats) entries << QString::fromLatin1(format.label);
  return entries;
}

QStringList dataTypeEntries(const char* DataTypeInfo::*name) {
  QStringList entries;
  for (const DataTypeInfo& type : kDataTypes) entries << QString::fromLatin1(type.*name);
  return entries;
}

std::pair<int, int> linePositions(QStringView text) {
  const LineChoice choice = parseLineChoice(text);
  return {choice.baud.value_or(-1), choice.format.value_or(-1)};
}

QString lineSettingsText(int cboBaud, int cboDF1) {
  const auto chosen = [](int position) {
    return position >= 0 ? std::optional<int>(position) : std::nullopt;
  };
  return formatLineChoice({chosen(cboBaud), chosen(cboDF1)});
}

template <typename Read>
auto SettingsRestore::noted(const char* section, const QString& caption, Read read) {
  ++numericKeys_;
  SectionReader reader(file_, QString::fromLatin1(section));
  const auto value = read(reader);
  if (!reader.defaulted().isEmpty()) {
    keys_ << reader.defaulted();
    captions_ << caption;
  }
  return value;
}

int SettingsRestore::position(const char* section, const NumberKey& key, const QString& caption,
                              const QString& suffix, std::optional<int> defaultValue) {
  return noted(section, caption,
               [&](SectionReader& r) { return r.number(key, suffix, defaultValue); }) -
         key.first;
}

bool SettingsRestore::opt03(const char* section, const QString& caption, const QString& suffix) {
  return noted(section, caption,
               [&](SectionReader& r) { return r.functionCode(ini::kFunctionCode, suffix); }) == 3;
}

QString SettingsRestore::text(const char* section, const char* key, const QString& suffix) const {
  return file_.value(QString::fromLatin1(section), QString::fromLatin1(key) + suffix);
}

QString SettingsRestore::notice() const {
  if (!file_.error().isEmpty())
    return file_.error() +
           QStringLiteral(" The window shows first-use defaults; check them before sending.");
  if (keys_.isEmpty()) return {};
  if (keys_.size() == numericKeys_)
    return QStringLiteral(
        "No usable saved configuration was found, so the window shows first-use defaults. "
        "Check them before sending.");
  return QStringLiteral(
             "Some saved settings were missing or unusable, so these show first-use defaults: "
             "%1. Check them before sending.")
      .arg(captions_.join(QStringLiteral(", ")));
}

bool saveSettings(IniFile& ini, std::span<const IniEntry> entries, QString* error) {
  QString why;
  if (ini.save(entries, &why)) return true;
  if (error)
    *error = QStringLiteral(
                 "Nothing of the configuration was saved, and the file keeps its "
                 "earlier contents. %1")
                 .arg(why);
  return false;
}

}  // namespace vantor
