#include "core/config/ConfigSettings.h"

#include "core/config/ConfigFrame.h"
#include "core/modbus/LineSettings.h"

#include <array>

namespace vantor {

ModuleLine moduleLineOf(QStringView text) {
  const LineChoice choice = parseLineChoice(text);
  ModuleLine line;
  if (choice.baud) line.baud = kBaudRates.at(std::size_t(*choice.baud));
  line.format = choice.format;
  return line;
}

QString moduleLineText(const ModuleLine& line) {
  LineChoice choice{std::nullopt, line.format};
  for (std::size_t i = 0; line.baud && i < kBaudRates.size(); ++i)
    if (kBaudRates[i] == *line.baud) choice.baud = int(i);
  return formatLineChoice(choice);
}

QStringList unlistedSettings(const DataField& field, const FieldKeys& keys) {
  QStringList unlisted;
  const auto check = [&](const NumberKey& key, int value, const char* caption) {
    if (!allows(key, value)) unlisted << QString::fromLatin1(caption);
  };
  check(keys.address, field.slaveAddress, captions::kSlaveAddress);
  check(keys.digits, field.digits, captions::kDigits);
  check(keys.decimals, field.decimals, captions::kDecimals);
  check(keys.start, field.startLocation, captions::kStartLocation);
  check(keys.dataType, int(field.dataType), captions::kDataType);
  return unlisted;
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

int SettingsRestore::number(const char* section, const NumberKey& key, const QString& caption,
                            const QString& suffix, std::optional<int> defaultValue) {
  return noted(section, caption,
               [&](SectionReader& r) { return r.number(key, suffix, defaultValue); });
}

int SettingsRestore::functionCode(const char* section, const QString& caption,
                                  const QString& suffix) {
  return noted(section, caption,
               [&](SectionReader& r) { return r.functionCode(ini::kFunctionCode, suffix); });
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
