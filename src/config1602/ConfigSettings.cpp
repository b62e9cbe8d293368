#include "config1602/ConfigSettings.h"

#include "config1602/ConfigFrame.h"

#include <QRegularExpression>

#include <array>
#include <cmath>

namespace vantor {

namespace {

// What CSet's ends are matched against, by list position.
constexpr std::array<QStringView, 3> kBaudStarts{u"9600,", u"19200", u"38400"};
constexpr std::array<QStringView, 3> kFormatEnds{u"n,8,1", u"n,8,2", u"e,8,1"};

// No list reaches this far; it keeps the rounding clear of overflow.
constexpr double kLargestUsable = 1e6;

std::optional<long long> storedNumber(const QString& text) {
  static const QRegularExpression decimal(QStringLiteral(R"(^\s*-?(\d+(\.\d*)?|\.\d+)\s*$)"));
  if (!decimal.match(text).hasMatch()) return std::nullopt;
  const double value = text.trimmed().toDouble();
  if (std::abs(value) > kLargestUsable) return std::nullopt;
  return std::llround(value);
}

template <std::size_t N>
int matchIn(const std::array<QStringView, N>& patterns, QStringView part) {
  for (std::size_t i = 0; i < N; ++i)
    if (part == patterns[i]) return static_cast<int>(i);
  return -1;
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
  return {QStringLiteral("9600"), QStringLiteral("19200"), QStringLiteral("38400")};
}

QStringList dataFormatEntries() {
  return {QStringLiteral("8N1"), QStringLiteral("8N2"), QStringLiteral("8E1")};
}

int baudFromLineSettings(QStringView text) {
  return text.size() < 5 ? -1 : matchIn(kBaudStarts, text.first(5));
}

int formatFromLineSettings(QStringView text) {
  return text.size() < 5 ? -1 : matchIn(kFormatEnds, text.last(5));
}

QString formatSuffix(int cboDF1) {
  return selects(cboDF1, kFormatEnds.size()) ? u',' + kFormatEnds[cboDF1].toString() : QString();
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
      storedPosition(ini_.ReadINI(section, key), list.firstEntry, list.entries.size());
  if (stored) return *stored;
  defaulted(key, caption);
  return defaultValue - list.firstEntry;
}

bool SettingsRestore::opt03(const QString& section, const QString& key, const QString& caption) {
  ++numericKeys_;
  const auto stored = storedNumber(ini_.ReadINI(section, key));
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

bool writeSettings(modINI& ini, std::span<const SettingWrite> writes, QString* error) {
  for (const SettingWrite& w : writes) {
    QString why;
    if (ini.WriteINI(w.section, w.key, w.value, &why)) continue;
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
