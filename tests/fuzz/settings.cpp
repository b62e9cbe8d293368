// The settings file reader and writer on arbitrary file contents:
// - reading never crashes, and refuses nothing but a file holding a NUL byte; a save then
//   fails and leaves the file as it was;
// - a save of no keys gives back the same bytes, so nothing the writer does not own is lost;
// - values written then read back are the values written (line breaks turned into blanks),
//   whatever the file held, and every key not written reads as before (unless the file ended
//   in a carriage return, which a save that adds a line makes part of a line end, so that
//   the last line can read otherwise).
// The input is the file's bytes up to a backslash and another character, then the keys and
// values to write.

#include "Require.h"

#include "core/settings/IniFile.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QDir>
#include <QFile>
#include <QStringDecoder>
#include <QTemporaryDir>

#include <algorithm>
#include <cctype>
#include <set>
#include <vector>

using namespace vantor;
using fuzz::require;

namespace {

// One folder for the whole run, in memory where there is a place for it: a save syncs.
const QTemporaryDir& folder() {
  static const QTemporaryDir dir((QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                                      ? QStringLiteral("/dev/shm")
                                      : QDir::tempPath()) +
                                 QStringLiteral("/vantor-fuzz-XXXXXX"));
  return dir;
}

QByteArray contents(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool plainName(const QByteArray& name) {
  return !name.isEmpty() && std::all_of(name.begin(), name.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
  });
}

// Section and key names as a glance at the file finds them, to write and to look up.
struct Names {
  std::vector<std::pair<QByteArray, QByteArray>> pairs;
  std::vector<QByteArray> sections{"Settings", "Cfg1602", "Cfg2004", "ports"};
  std::vector<QByteArray> keys{"CSet", "af", "1", "R0"};
};

Names namesIn(const QByteArray& bytes) {
  Names names;
  QByteArray section;
  for (const QByteArray& raw : bytes.split('\n')) {
    const QByteArray line = raw.trimmed();
    if (line.startsWith('[') && line.endsWith(']')) {
      section = line.mid(1, line.size() - 2).trimmed();
      if (plainName(section)) names.sections.push_back(section);
    } else if (const qsizetype eq = line.indexOf('='); eq > 0) {
      const QByteArray key = line.left(eq).trimmed();
      names.pairs.emplace_back(section, key);
      if (plainName(key)) names.keys.push_back(key);
    }
  }
  return names;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const QByteArray before = QByteArray::fromStdString(in.ConsumeRandomLengthString(size));
  const QString path = folder().filePath(QStringLiteral("modlcd.ini"));
  {
    QFile file(path);
    require(file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                file.write(before) == before.size(),
            "the test's file is written");
  }
  IniFile ini = IniFile::forFile(path);
  const IniSnapshot old = ini.snapshot();
  if (!old.error().isEmpty()) {
    require(before.contains('\0'), "only a file with a NUL byte is refused");
    const IniEntry entry{QStringLiteral("Settings"), QStringLiteral("AF"), QStringLiteral("2")};
    require(!ini.save({&entry, 1}), "a file that cannot be read is not saved over");
    require(contents(path) == before, "a refused file is left as it was");
    return 0;
  }
  require(ini.save({}), "a readable file can be saved");
  require(contents(path) == before, "a save of nothing gives back the same bytes");

  const Names names = namesIn(before);
  std::vector<IniEntry> entries(in.ConsumeIntegralInRange(0, 6));
  for (IniEntry& e : entries) {
    e.section = QString::fromUtf8(
        names.sections[in.ConsumeIntegralInRange<std::size_t>(0, names.sections.size() - 1)]);
    e.key = QString::fromUtf8(
        names.keys[in.ConsumeIntegralInRange<std::size_t>(0, names.keys.size() - 1)]);
    // Any text, even one that begins with U+FEFF, which fromUtf8() would drop.
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::ConvertInitialBom | QStringDecoder::Flag::Stateless);
    e.value = QString(utf8(QByteArray::fromStdString(in.ConsumeRandomLengthString(400))));
    e.value.remove(QChar(0));
    e.value.truncate(IniFile::kMaxValueLength);
    if (!e.value.isEmpty() && e.value.back().isHighSurrogate()) e.value.chop(1);
  }
  require(ini.save(entries), "a readable file takes any value");
  const IniSnapshot now = ini.snapshot();
  require(now.error().isEmpty(), "a saved file can be read");

  std::set<QByteArray> written;
  for (auto e = entries.rbegin(); e != entries.rend(); ++e) {
    written.insert(e->key.toUtf8().toLower());
    if (std::any_of(entries.rbegin(), e, [&](const IniEntry& later) {
          return later.section.compare(e->section, Qt::CaseInsensitive) == 0 &&
                 later.key.compare(e->key, Qt::CaseInsensitive) == 0;
        }))
      continue;  // a later entry for the same key wins
    QString expected = e->value;
    expected.replace(u'\r', u' ').replace(u'\n', u' ');
    require(now.value(e->section, e->key) == expected, "a value written reads back the same");
  }
  if (before.endsWith('\r')) return 0;
  for (const auto& [section, key] : names.pairs) {
    if (written.count(key.toLower())) continue;
    const QString s = QString::fromUtf8(section);
    const QString k = QString::fromUtf8(key);
    require(now.value(s, k) == old.value(s, k), "a key not written reads as before");
  }
  return 0;
}
