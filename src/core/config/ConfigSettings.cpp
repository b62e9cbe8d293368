#include "core/config/ConfigSettings.h"

#include "core/config/ConfigFrame.h"
#include "core/modbus/LineSettings.h"

#include <QRegularExpression>

#include <array>
#include <cmath>

namespace vantor {

namespace {

// No list reaches this far; it keeps the rounding clear of overflow.
constexpr double kLargestUsable = 1e6;

std::optional<long long> storedNumber(const QString& text) {
  static const QRegularExpression decimal(QStringLiteral(R"(^\s*-?(\d+(\.\d*)?|\.\d+)\s*$)"));
  if (!decimal.match(text).hasMatch()) return std::nullopt;
  const double value = text.trimmed().toDouble();
  if (std::abs(value) > kLargestUsable) return std::nullopt;
  return std::llround(value);
}

}  // namespace

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

std::optional<int> storedPosition(const QString& text, int firstEntry, qsizetype count) {
  const auto value = storedNumber(text);
  if (!value || *value - firstEntry < 0 || *value - firstEntry >= count) return std::nullopt;
  return static_cast<int>(*value - firstEntry);
}

int SettingsRestore::position(const QString& section, const QString& key, const ChoiceList& list,
                              int defaultValue, const QString& caption) {
  ++numericKeys_;
  const auto stored =
      storedPosition(ini_.read(section, key), list.firstEntry, list.entries.size());
  if (stored) return *stored;
  defaulted(key, caption);
  return defaultValue - list.firstEntry;
}

bool SettingsRestore::opt03(const QString& section, const QString& key, const QString& caption) {
  ++numericKeys_;
  const auto stored = storedNumber(ini_.read(section, key));
  if (stored) return *stored == 3;
  defaulted(key, caption);
  return true;
}

void SettingsRestore::defaulted(const QString& key, const QString& caption) {
  keys_ << key;
  captions_ << caption;
}

QString SettingsRestore::notice() const {
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

bool writeSettings(IniFile& ini, std::span<const SettingWrite> writes, QString* error) {
  for (const SettingWrite& w : writes) {
    QString why;
    if (ini.write(w.section, w.key, w.value, &why)) continue;
    if (error)
      *error = QStringLiteral(
                   "The configuration was not saved completely. Key %1 of section [%2] could not "
                   "be written (%3), so it and the keys after it keep their earlier values.")
                   .arg(w.key, w.section, why);
    return false;
  }
  return true;
}

}  // namespace vantor
