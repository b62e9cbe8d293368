#include "core/settings/Schema.h"

#include <cmath>
#include <limits>

namespace vantor {

namespace {

// No key holds anything near this; it keeps the rounding clear of overflow.
constexpr double kLargestUsable = 1e9;

bool isBlank(QChar c) {
  return c == u' ' || c == u'\t';
}

}  // namespace

std::optional<long long> readNumber(QStringView text) {
  while (!text.isEmpty() && isBlank(text.front())) text = text.sliced(1);
  while (!text.isEmpty() && isBlank(text.back())) text.chop(1);
  if (!text.isEmpty() && (text.front() == u'+' || text.front() == u'-')) {
    // A sign, then digits: "-", "+.5" and "- 3" are no numbers.
    if (text.size() < 2 || !(text[1].isDigit() || text[1] == u'.')) return std::nullopt;
  }
  qsizetype digits = 0;
  bool point = false;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (c >= u'0' && c <= u'9') {
      ++digits;
    } else if (c == u'.' && !point) {
      point = true;
    } else if (!(i == 0 && (c == u'+' || c == u'-'))) {
      return std::nullopt;
    }
  }
  if (digits == 0) return std::nullopt;
  bool ok = false;
  const double value = text.toString().toDouble(&ok);
  if (!ok || std::abs(value) > kLargestUsable) return std::nullopt;
  return std::llround(value);
}

int SectionReader::number(const NumberKey& key, const QString& suffix,
                          std::optional<int> defaultValue) {
  ++numbersRead_;
  const QString name = QString::fromLatin1(key.name) + suffix;
  const auto value = readNumber(file_.value(section_, name));
  if (value && *value >= key.first && *value <= key.last) return int(*value);
  defaulted_ << name;
  return defaultValue.value_or(key.defaultValue);
}

int SectionReader::functionCode(const char* name, const QString& suffix) {
  ++numbersRead_;
  const QString key = QString::fromLatin1(name) + suffix;
  const auto value = readNumber(file_.value(section_, key));
  if (value) return *value == 3 ? 3 : 4;
  defaulted_ << key;
  return 3;
}

QString SectionReader::text(const char* name, const QString& suffix) const {
  return file_.value(section_, QString::fromLatin1(name) + suffix);
}

IniEntry numberEntry(const char* section, const QString& key, long long value) {
  return {QString::fromLatin1(section), key, QString::number(value)};
}

IniEntry textEntry(const char* section, const QString& key, const QString& value) {
  return {QString::fromLatin1(section), key, value};
}

namespace {

QString recentKey(int n) {
  return QLatin1String(ini::benchfiles::kRecent) + QString::number(n);
}

}  // namespace

QStringList readRecentBenches(const IniSnapshot& file) {
  using namespace ini::benchfiles;
  QStringList recent;
  for (int n = 1; n <= kRecentCount; ++n) {
    const QString path = file.value(QLatin1String(kSection), recentKey(n));
    if (!path.isEmpty() && !recent.contains(path)) recent << path;
  }
  return recent;
}

QStringList withRecentBench(const QStringList& recent, const QString& path) {
  QStringList list{path};
  for (const QString& other : recent)
    if (other != path && list.size() < ini::benchfiles::kRecentCount) list << other;
  return list;
}

std::vector<IniEntry> recentBenchEntries(const QStringList& recent, const QString& folder) {
  using namespace ini::benchfiles;
  std::vector<IniEntry> entries;
  int n = 0;
  for (const QString& path : recent)
    if (path.size() <= IniFile::kMaxValueLength && n < kRecentCount)
      entries.push_back(textEntry(kSection, recentKey(++n), path));
  if (folder.size() <= IniFile::kMaxValueLength)
    entries.push_back(textEntry(kSection, QLatin1String(kFolder), folder));
  return entries;
}

}  // namespace vantor
