#include "core/settings/IniFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryFile>

#include <filesystem>
#include <system_error>
#include <utility>

namespace vantor {

namespace {

constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";

// The file as lines, plus what is needed to write it back the way it was found.
struct IniText {
  QStringList lines;
  bool crlf = false;
  bool bom = false;
};

// Where a key and its section sit in IniText::lines; -1 when absent.
struct Location {
  qsizetype header = -1;     // first header of the section
  qsizetype key = -1;        // first line holding the key inside that section
  qsizetype lastEntry = -1;  // last line of that section that is neither blank nor comment
};

bool isBlank(QChar c) {
  return c == u' ' || c == u'\t';
}

// Only spaces and tabs: QString::trimmed() would also eat characters that belong to a value.
QStringView trimBlanks(QStringView s) {
  while (!s.isEmpty() && isBlank(s.front())) s = s.mid(1);
  while (!s.isEmpty() && isBlank(s.back())) s.chop(1);
  return s;
}

bool sameName(QStringView a, QStringView b) {
  return a.compare(b, Qt::CaseInsensitive) == 0;
}

bool isHeader(QStringView line) {
  return line.size() >= 2 && line.front() == u'[' && line.back() == u']';
}

// An absent file reads as empty; false only when a file is there but cannot be read, so a
// write never replaces something it could not see.
bool load(const QString& path, IniText& ini, QString* reason) {
  QFile file(path);
  if (!file.exists()) return true;
  if (!file.open(QIODevice::ReadOnly)) {
    if (reason) *reason = file.errorString();
    return false;
  }
  QByteArray bytes = file.readAll();
  ini.bom = bytes.startsWith(kUtf8Bom);
  if (ini.bom) bytes.remove(0, 3);
  ini.crlf = bytes.contains("\r\n");
  if (bytes.isEmpty()) return true;
  if (bytes.endsWith('\n')) bytes.chop(1);
  ini.lines = QString::fromUtf8(bytes).split(u'\n');
  for (QString& line : ini.lines) {
    if (line.endsWith(u'\r')) line.chop(1);
  }
  return true;
}

Location locate(const QStringList& lines, QStringView section, QStringView key) {
  Location loc;
  bool inSection = false;
  bool inFirstBlock = false;
  for (qsizetype i = 0; i < lines.size(); ++i) {
    const QStringView line = trimBlanks(lines[i]);
    if (line.isEmpty() || line.front() == u';') continue;
    if (isHeader(line)) {
      inSection = sameName(trimBlanks(line.mid(1, line.size() - 2)), section);
      inFirstBlock = inSection && loc.header < 0;
      if (inFirstBlock) loc.header = loc.lastEntry = i;
      continue;
    }
    if (inFirstBlock) loc.lastEntry = i;
    const qsizetype eq = line.indexOf(u'=');
    if (inSection && eq >= 0 && sameName(trimBlanks(line.left(eq)), key)) {
      loc.key = i;
      break;
    }
  }
  return loc;
}

QString decodeValue(QStringView line) {
  QStringView value = trimBlanks(line.mid(line.indexOf(u'=') + 1));
  if (value.size() >= 2 && value.front() == u'"' && value.back() == u'"') {
    value = value.mid(1, value.size() - 2);
  }
  QString result = value.left(IniFile::kMaxValueLength).toString();
  // Never hand back half of a character that needs two UTF-16 units.
  if (result.size() == IniFile::kMaxValueLength && result.back().isHighSurrogate()) result.chop(1);
  return result;
}

// The inverse of decodeValue(): quotes protect what reading would strip, namely blanks at
// either end and a pair of quotes that belongs to the value itself.
QString encodeValue(const QString& value) {
  QString text = value;
  // A line break would end the entry early and turn the rest into a line of its own.
  text.replace(u'\r', u' ').replace(u'\n', u' ');
  const bool quoted = text.size() >= 2 && text.front() == u'"' && text.back() == u'"';
  if (!text.isEmpty() && (isBlank(text.front()) || isBlank(text.back()) || quoted)) {
    return u'"' + text + u'"';
  }
  return text;
}

}  // namespace

IniFile::IniFile(QString folder) : folder_(std::move(folder)) {
  // Whether the program's folder can be written is settled once: probing it on every read
  // would litter it with throwaway files.
  if (folder_.isEmpty()) {
    folder_ = settingsFolderFor(QCoreApplication::applicationDirPath(),
                                QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
  }
}

IniFile IniFile::forFile(const QString& filePath) {
  const QFileInfo info(filePath);
  IniFile store(info.absolutePath());
  store.fileName_ = info.fileName();
  return store;
}

QString IniFile::filePath() const {
  QString folder = folder_;
  if (!folder.endsWith(u'/')) folder += u'/';
  return folder + fileName_;
}

QString IniFile::read(const QString& section, const QString& key) const {
  IniText ini;
  if (!load(filePath(), ini, nullptr)) return {};
  const Location loc = locate(ini.lines, section, key);
  return loc.key < 0 ? QString() : decodeValue(trimBlanks(ini.lines[loc.key]));
}

bool IniFile::write(const QString& section, const QString& key, const QString& value,
                      QString* error) {
  const QString path = filePath();
  const auto fail = [&](const QString& reason) {
    if (error) *error = QStringLiteral("Could not write %1: %2").arg(path, reason);
    return false;
  };

  IniText ini;
  QString reason;
  if (!load(path, ini, &reason)) return fail(reason);

  const QString entry = key + u'=' + encodeValue(value);
  const Location loc = locate(ini.lines, section, key);
  if (loc.key >= 0) {
    ini.lines[loc.key] = entry;
  } else if (loc.header >= 0) {
    ini.lines.insert(loc.lastEntry + 1, entry);
  } else {
    if (!ini.lines.isEmpty() && !trimBlanks(ini.lines.back()).isEmpty()) {
      ini.lines.append(QString());  // one blank line between sections
    }
    ini.lines << u'[' + section + u']' << entry;
  }

  const QString eol = ini.crlf ? QStringLiteral("\r\n") : QStringLiteral("\n");
  QByteArray bytes = ini.bom ? QByteArray(kUtf8Bom) : QByteArray();
  bytes += (ini.lines.join(eol) + eol).toUtf8();

  // std::filesystem, unlike QDir::mkpath(), says why a folder could not be made.
  std::error_code ec;
  std::filesystem::create_directories(QFile::encodeName(QFileInfo(path).absolutePath()).data(), ec);
  if (ec) return fail(QString::fromLocal8Bit(ec.message()));

  // Unbuffered, so a short write (full disk, file size limit) surfaces here; a buffered one
  // can be lost in the flush inside commit(), which then still reports success.
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return fail(file.errorString());
  for (qsizetype done = 0; done < bytes.size();) {
    const qint64 n = file.write(bytes.constData() + done, bytes.size() - done);
    if (n <= 0) return fail(file.errorString());  // uncommitted, the temporary file is dropped
    done += n;
  }
  if (!file.commit()) return fail(file.errorString());
  return true;
}

QString settingsFolderFor(const QString& programFolder, const QString& fallbackFolder) {
  if (programFolder.isEmpty()) return fallbackFolder;
  const QFileInfo info(programFolder);
  if (!info.isDir() || !info.isWritable()) return fallbackFolder;
  // Permission bits are not the last word (root passes every check, and some file systems
  // refuse new files regardless), so a throwaway file settles it.
  QTemporaryFile probe(programFolder + QStringLiteral("/.modlcd-probe-XXXXXX"));
  return probe.open() ? programFolder : fallbackFolder;
}

}  // namespace vantor
