#include "core/settings/IniFile.h"

#include "core/Logging.h"
#include "core/io/RegularFile.h"
#include "core/io/ReplaceFile.h"
#include "core/io/SystemError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStringDecoder>
#include <QTemporaryFile>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <memory>
#include <system_error>
#include <utility>
#include <vector>

namespace vantor {

namespace {

constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";

// The whole file, or why not. Only "no such file" counts as absent.
struct FileRead {
  QByteArray bytes;
  bool absent = false;
  QString reason;
};

// What a look at the file or a read of it found, in a settings file's terms: absent is no
// fault, and a file of NUL bytes is no text.
FileRead settingsFile(RegularFileRead read) {
  FileRead r{std::move(read.bytes), read.absent, read.absent ? QString() : read.reason};
  if (read.tooLarge) r.reason += QStringLiteral(", too large for a settings file");
  if (r.reason.isEmpty() && r.bytes.contains('\0'))
    r.reason = QStringLiteral(
        "it holds NUL bytes, so it is not a text settings file (UTF-16 "
        "or binary?)");
  if (!r.reason.isEmpty()) r.bytes.clear();
  return r;
}

FileRead inspect(const QString& path) {
  return settingsFile(checkRegularFile(path, IniFile::kMaxFileSize));
}

FileRead readFile(const QString& path) {
  return settingsFile(readRegularFile(path, IniFile::kMaxFileSize));
}

QString lockPathOf(const QString& path) {
  return path + QStringLiteral(".lock");
}

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

QByteArrayView trimBlanks(QByteArrayView s) {
  while (!s.isEmpty() && isBlank(s.front())) s = s.sliced(1);
  while (!s.isEmpty() && isBlank(s.back())) s.chop(1);
  return s;
}

bool sameName(QByteArrayView a, const QByteArray& b) {
  return a.compare(b, Qt::CaseInsensitive) == 0;
}

// One line of the file: its text, and the line end that followed it ("\n", "\r\n", or none
// for a last line without one).
struct Line {
  QByteArray text;
  QByteArray end;
};

QList<Line> splitLines(const QByteArray& bytes) {
  QList<Line> lines;
  qsizetype from = 0;
  while (from < bytes.size()) {
    const qsizetype nl = bytes.indexOf('\n', from);
    const qsizetype stop = nl < 0 ? bytes.size() : nl;
    Line line{bytes.mid(from, stop - from), nl < 0 ? QByteArray() : QByteArray("\n")};
    if (nl >= 0 && line.text.endsWith('\r')) {
      line.text.chop(1);
      line.end = "\r\n";
    }
    lines.append(line);
    from = stop + 1;
  }
  return lines;
}

// A line as the parser sees it: without a byte-order mark on the first line, and trimmed.
QByteArrayView content(const QList<Line>& lines, qsizetype i) {
  QByteArrayView text = lines[i].text;
  if (i == 0 && text.startsWith(kUtf8Bom)) text = text.sliced(3);
  return trimBlanks(text);
}

bool isHeader(QByteArrayView line) {
  return line.size() >= 2 && line.front() == '[' && line.back() == ']';
}

// Where a key and its section sit; -1 when absent.
struct Location {
  qsizetype header = -1;     // first header of the section
  qsizetype key = -1;        // first line holding the key inside that section
  qsizetype lastEntry = -1;  // last line of that section's first block that is no blank or comment
};

Location locate(const QList<Line>& lines, const QByteArray& section, const QByteArray& key) {
  Location loc;
  bool inSection = false;
  bool inFirstBlock = false;
  for (qsizetype i = 0; i < lines.size(); ++i) {
    const QByteArrayView line = content(lines, i);
    if (line.isEmpty() || line.front() == ';') continue;
    if (isHeader(line)) {
      inSection = sameName(trimBlanks(line.sliced(1, line.size() - 2)), section);
      inFirstBlock = inSection && loc.header < 0;
      if (inFirstBlock) loc.header = loc.lastEntry = i;
      continue;
    }
    if (inFirstBlock) loc.lastEntry = i;
    const qsizetype eq = line.indexOf('=');
    if (inSection && eq >= 0 && sameName(trimBlanks(line.first(eq)), key)) {
      loc.key = i;
      break;
    }
  }
  return loc;
}

QString decodeValue(QByteArrayView line) {
  QByteArrayView value = trimBlanks(line.sliced(line.indexOf('=') + 1));
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
    value = value.sliced(1, value.size() - 2);
  // A value may begin with U+FEFF, which fromUtf8() would drop as a byte-order mark; a
  // character cut short at its end is still one U+FFFD.
  QStringDecoder utf8(QStringDecoder::Utf8,
                      QStringDecoder::Flag::ConvertInitialBom | QStringDecoder::Flag::Stateless);
  QString result = QString(utf8(value)).left(IniFile::kMaxValueLength);
  // Never hand back half of a character that needs two UTF-16 units.
  if (result.size() == IniFile::kMaxValueLength && result.back().isHighSurrogate()) result.chop(1);
  return result;
}

// The inverse of decodeValue(): quotes protect what reading would strip, namely blanks at
// either end and a pair of quotes that belongs to the value itself.
QByteArray encodeValue(const QString& value) {
  QString text = value;
  // A line break would end the entry early and turn the rest into a line of its own.
  text.replace(u'\r', u' ').replace(u'\n', u' ');
  const bool quoted = text.size() >= 2 && text.front() == u'"' && text.back() == u'"';
  const auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
  if (!text.isEmpty() && (blank(text.front()) || blank(text.back()) || quoted))
    text = u'"' + text + u'"';
  return text.toUtf8();
}

void apply(QList<Line>& lines, const IniEntry& entry, const QByteArray& eol) {
  const QByteArray section = entry.section.toUtf8();
  const QByteArray key = entry.key.toUtf8();
  const QByteArray text = entryLine(entry);
  const Location loc = locate(lines, section, key);
  if (loc.key >= 0) {
    lines[loc.key].text = text;  // its line end stays
    return;
  }
  if (!lines.isEmpty() && lines.back().end.isEmpty()) lines.back().end = eol;
  if (loc.header >= 0) {
    lines.insert(loc.lastEntry + 1, Line{text, eol});
    return;
  }
  if (!lines.isEmpty() && !content(lines, lines.size() - 1).isEmpty())
    lines.append(Line{{}, eol});  // one blank line between sections
  lines.append(Line{'[' + section + ']', eol});
  lines.append(Line{text, eol});
}

QString fileError(const QString& path, const QString& reason) {
  return QStringLiteral("Could not write %1: %2").arg(path, reason);
}

}  // namespace

QByteArray entryLine(const IniEntry& entry) {
  return entry.key.toUtf8() + '=' + encodeValue(entry.value);
}

QString IniSnapshot::value(const QString& section, const QString& key) const {
  const QList<Line> lines = splitLines(bytes_);
  const Location loc = locate(lines, section.toUtf8(), key.toUtf8());
  return loc.key < 0 ? QString() : decodeValue(content(lines, loc.key));
}

bool IniSnapshot::has(const QString& section, const QString& key) const {
  return locate(splitLines(bytes_), section.toUtf8(), key.toUtf8()).key >= 0;
}

bool IniSnapshot::hasSection(const QString& section) const {
  // No key holds a line break, so only the header can be found.
  return locate(splitLines(bytes_), section.toUtf8(), "\n").header >= 0;
}

IniFile::IniFile(QString folder) : folder_(std::move(folder)) {
  // Whether the program's folder can be written is settled once: probing it on every read
  // would litter it with throwaway files.
  if (folder_.isEmpty())
    folder_ = settingsFolderFor(QCoreApplication::applicationDirPath(), userSettingsFolder());
}

IniFile IniFile::forFile(const QString& filePath, bool mustExist) {
  const QFileInfo info(filePath);
  IniFile store(info.absolutePath());
  store.fileName_ = info.fileName();
  store.mustExist_ = mustExist;
  return store;
}

QString IniFile::filePath() const {
  QString folder = folder_;
  if (!folder.endsWith(u'/')) folder += u'/';
  return folder + fileName_;
}

QString IniFile::lockPath() const {
  return waitingFor_.isEmpty() ? lockPathOf(linkTarget(filePath())) : waitingFor_;
}

// The locks a read or save of the file takes, in the order taken: the one beside the name it
// was given, when that is a symbolic link, then the one beside the file it leads to. Every
// name of the file takes the latter, so saves through any of them take turns; each takes it
// last, so no two programs can each hold a lock the other waits for; and a script locking
// either keeps out the saves it means to, those through its link or all of them. One wait
// limit covers both.
class IniFile::Locks {
 public:
  Locks(const IniFile& ini, FileLock::Kind kind) {
    const QString path = ini.filePath();
    const QString target = linkTarget(path);
    QStringList paths{lockPathOf(target)};
    if (target != path) paths.prepend(lockPathOf(path));
    const auto start = std::chrono::steady_clock::now();
    for (const QString& lockPath : paths) {
      LockWait wait = ini.lockWait_;
      const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
          std::chrono::steady_clock::now() - start);
      wait.limit = std::max(wait.limit - waited, std::chrono::milliseconds(0));
      wait.reportAfter = std::max(wait.reportAfter - waited, std::chrono::milliseconds(0));
      ini.waitingFor_ = lockPath;
      locks_.push_back(std::make_unique<FileLock>(lockPath, kind, wait));
      ini.waitingFor_.clear();
      // A save goes no further without a lock; a read only stops for a holder that does not
      // let go (see snapshot()).
      const FileLock& lock = *locks_.back();
      if (!lock.locked() && (kind == FileLock::Kind::Exclusive || !lock.unusable())) break;
    }
  }

  // The first lock not held, or none.
  const FileLock* missing() const {
    for (const auto& lock : locks_)
      if (!lock->locked()) return lock.get();
    return nullptr;
  }
  // The first lock that could be had but was not: another holder did not let go, or the wait
  // was given up.
  const FileLock* waitedOut() const {
    for (const auto& lock : locks_)
      if (!lock->locked() && !lock->unusable()) return lock.get();
    return nullptr;
  }
  // When the lock beside the file itself was taken.
  qint64 takenAtMs() const { return locks_.back()->takenAtMs(); }

 private:
  std::vector<std::unique_ptr<FileLock>> locks_;
};

IniSnapshot IniFile::snapshot() const {
  const QString path = filePath();
  IniSnapshot snap;
  FileRead look = inspect(path);
  bool absent = look.absent;
  QString reason = look.reason;
  // Nothing that is not a settings file gets a lock file beside it (a device's folder, say).
  if (reason.isEmpty()) {
    const Locks locks(*this, FileLock::Kind::Shared);
    // A lock file that cannot be had keeps no reader out: a save replaces the file in one
    // rename, so a read sees a whole file either way. Only a holder that never lets go does.
    if (const FileLock* lock = locks.waitedOut()) {
      reason = lock->error();
    } else {
      FileRead read = readFile(path);
      snap.bytes_ = std::move(read.bytes);
      absent = read.absent;
      reason = read.reason;
    }
  }
  if (absent && mustExist_) reason = systemError(ENOENT);
  snap.absent_ = absent && !mustExist_;
  if (!reason.isEmpty())
    snap.error_ = QStringLiteral("The settings file %1 could not be read: %2.").arg(path, reason);
  qCDebug(lcSettings) << "read" << path << (snap.absent_ ? "(absent)" : "") << snap.error_;
  return snap;
}

QString IniFile::read(const QString& section, const QString& key) const {
  return snapshot().value(section, key);
}

bool IniFile::write(const QString& section, const QString& key, const QString& value,
                    QString* error) {
  const IniEntry entry{section, key, value};
  return save({&entry, 1}, error);
}

bool IniFile::save(std::span<const IniEntry> entries, QString* error) {
  const QString path = filePath();
  const auto fail = [&](const QString& reason) {
    qCDebug(lcSettings) << "save failed:" << reason;
    if (error) *error = fileError(path, reason);
    return false;
  };
  if (const QString reason = inspect(path).reason; !reason.isEmpty()) return fail(reason);

  // std::filesystem, unlike QDir::mkpath(), says why a folder could not be made. A settings
  // file that is a symbolic link stays one: the file it leads to is read and replaced.
  std::error_code ec;
  std::filesystem::create_directories(
      QDir(QFileInfo(linkTarget(path)).absolutePath()).filesystemPath(), ec);
  if (ec) return fail(QString::fromLocal8Bit(ec.message()));

  // From reading the file to renaming the new one over it, no other save may come between;
  // a save never runs without its locks.
  const Locks locks(*this, FileLock::Kind::Exclusive);
  if (const FileLock* lock = locks.missing()) return fail(lock->error());
  removeLeftovers(path, locks.takenAtMs());
  const FileRead read = readFile(path);
  if (!read.reason.isEmpty()) return fail(read.reason);

  QList<Line> lines = splitLines(read.bytes);
  const QByteArray eol = read.bytes.contains("\r\n") ? "\r\n" : "\n";
  for (const IniEntry& entry : entries) apply(lines, entry, eol);
  QByteArray bytes;
  for (const Line& line : lines) bytes += line.text + line.end;

  QString reason;
  if (!replaceFile(path, bytes, &reason)) return fail(reason);
  qCDebug(lcSettings) << "saved" << entries.size() << "keys to" << path;
  return true;
}

QString settingsFolderFor(const QString& programFolder, const QString& fallbackFolder) {
  if (programFolder.isEmpty()) return fallbackFolder;
  // An installed copy keeps each user's settings in their own folder, even when run by root
  // (or an administrator), who could write beside it.
  if (isSystemProgramFolder(programFolder)) return fallbackFolder;
  const QFileInfo info(programFolder);
  if (!info.isDir() || !info.isWritable()) return fallbackFolder;
  // Permission bits are not the last word (root passes every check, and some file systems
  // refuse new files regardless), so a throwaway file settles it.
  QTemporaryFile probe(programFolder + QStringLiteral("/.modlcd-probe-XXXXXX"));
  return probe.open() ? programFolder : fallbackFolder;
}

}  // namespace vantor
