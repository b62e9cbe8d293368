#include "core/settings/IniFile.h"

#include "core/Logging.h"
#include "core/io/ReplaceFile.h"
#include "core/io/SystemError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QTemporaryFile>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vantor {

namespace {

constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";

// The whole file, or why not. Only "no such file" counts as absent.
struct FileRead {
  QByteArray bytes;
  bool absent = false;
  QString reason;
};

#ifdef Q_OS_WIN

// What a path is called in the system's own calls.
std::wstring nativePath(const QString& path) {
  return QDir::toNativeSeparators(path).toStdWString();
}

// Why the thing at `path` is not a settings file we can read; empty when it is one (or when
// nothing is there, which `absent` then says).
QString inspect(const QString& path, bool* absent) {
  *absent = false;
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(nativePath(path).c_str(), GetFileExInfoStandard, &data)) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
      *absent = true;
      return {};
    }
    return windowsError(error);
  }
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
    return QStringLiteral("it is a folder, not a file");
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE)
    return QStringLiteral("it is a device, not a regular file");
  const qint64 size = (qint64(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  if (size > IniFile::kMaxFileSize)
    return QStringLiteral("it is larger than 1 MB, too large for a settings file");
  return {};
}

FileRead readFile(const QString& path) {
  FileRead r;
  r.reason = inspect(path, &r.absent);
  if (r.absent || !r.reason.isEmpty()) return r;
  // Shared every way, so that reading keeps no editor or replacement out.
  HANDLE file = ::CreateFileW(nativePath(path).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    r.absent = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    if (!r.absent) r.reason = windowsError(error);
    return r;
  }
  if (::GetFileType(file) != FILE_TYPE_DISK) {
    ::CloseHandle(file);
    r.reason = QStringLiteral("it is a device, not a regular file");
    return r;
  }
  char buffer[16384];
  for (;;) {
    DWORD n = 0;
    if (!::ReadFile(file, buffer, sizeof buffer, &n, nullptr)) {
      r.reason = windowsError(::GetLastError());
      break;
    }
    if (n == 0) break;
    r.bytes.append(buffer, qsizetype(n));
    if (r.bytes.size() > IniFile::kMaxFileSize) {
      r.reason = QStringLiteral("it is larger than 1 MB, too large for a settings file");
      break;
    }
  }
  ::CloseHandle(file);
  if (r.reason.isEmpty() && r.bytes.contains('\0'))
    r.reason = QStringLiteral(
        "it holds NUL bytes, so it is not a text settings file (UTF-16 "
        "or binary?)");
  if (!r.reason.isEmpty()) r.bytes.clear();
  return r;
}

#else

QByteArray nativePath(const QString& path) {
  return QFile::encodeName(path);
}

// Why the thing at `path` is not a settings file we can read; empty when it is one (or when
// nothing is there, which `absent` then says).
QString inspect(const QString& path, bool* absent) {
  *absent = false;
  struct stat st {};
  if (::stat(nativePath(path).constData(), &st) != 0) {
    if (errno == ENOENT) {
      *absent = true;
      return {};
    }
    return systemError(errno);
  }
  if (S_ISDIR(st.st_mode)) return QStringLiteral("it is a folder, not a file");
  if (S_ISFIFO(st.st_mode)) return QStringLiteral("it is a named pipe, not a regular file");
  if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
    return QStringLiteral("it is a device, not a regular file");
  if (!S_ISREG(st.st_mode)) return QStringLiteral("it is not a regular file");
  if (st.st_size > IniFile::kMaxFileSize)
    return QStringLiteral("it is larger than 1 MB, too large for a settings file");
  return {};
}

FileRead readFile(const QString& path) {
  FileRead r;
  r.reason = inspect(path, &r.absent);
  if (r.absent || !r.reason.isEmpty()) return r;
  // Non-blocking, so that something swapped in for the file since the look above cannot
  // hang the program.
  const int fd = ::open(nativePath(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    r.absent = errno == ENOENT;
    if (!r.absent) r.reason = systemError(errno);
    return r;
  }
  char buffer[16384];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      r.reason = systemError(errno);
      break;
    }
    if (n == 0) break;
    r.bytes.append(buffer, n);
    if (r.bytes.size() > IniFile::kMaxFileSize) {
      r.reason = QStringLiteral("it is larger than 1 MB, too large for a settings file");
      break;
    }
  }
  ::close(fd);
  if (r.reason.isEmpty() && r.bytes.contains('\0'))
    r.reason = QStringLiteral(
        "it holds NUL bytes, so it is not a text settings file (UTF-16 "
        "or binary?)");
  if (!r.reason.isEmpty()) r.bytes.clear();
  return r;
}

#endif

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
  if (folder_.isEmpty()) {
#ifdef Q_OS_WIN
    // %APPDATA%\vantor: the user's roaming settings, where Windows programs keep theirs.
    const QString appData = qEnvironmentVariable("APPDATA");
    const QString fallback =
        appData.isEmpty()
            ? QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation)
            : QDir::fromNativeSeparators(appData) + u'/' + QCoreApplication::applicationName();
#else
    const QString fallback = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
#endif
    folder_ = settingsFolderFor(QCoreApplication::applicationDirPath(), fallback);
  }
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

IniSnapshot IniFile::snapshot() const {
  const QString path = filePath();
  IniSnapshot snap;
  bool absent = false;
  QString reason = inspect(path, &absent);
  // Nothing that is not a settings file gets a lock file beside it (a device's folder, say).
  if (reason.isEmpty()) {
    const FileLock lock(lockPath(), FileLock::Kind::Shared, lockWait_);
    // A lock file that cannot be had keeps no reader out: a save replaces the file in one
    // rename, so a read sees a whole file either way. Only a holder that never lets go does.
    if (!lock.locked() && !lock.unusable()) {
      reason = lock.error();
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
  bool absent = false;
  if (const QString reason = inspect(path, &absent); !reason.isEmpty()) return fail(reason);

  // std::filesystem, unlike QDir::mkpath(), says why a folder could not be made. A settings
  // file that is a symbolic link stays one: the file it leads to is read and replaced, while
  // the lock stays beside the name the program was given, where every other user looks.
  std::error_code ec;
  std::filesystem::create_directories(
      nativePath(QFileInfo(linkTarget(path)).absolutePath()).data(), ec);
  if (ec) return fail(QString::fromLocal8Bit(ec.message()));

  // From reading the file to renaming the new one over it, no other save may come between;
  // a save never runs without the lock.
  const FileLock lock(lockPath(), FileLock::Kind::Exclusive, lockWait_);
  if (!lock.locked()) return fail(lock.error());
  removeLeftovers(path, lock.takenAtMs());
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
  // An installed copy keeps each user's settings in their own folder, even when run by root,
  // who could write beside it.
#ifdef Q_OS_WIN
  // The same for a copy installed under Program Files, even when run as administrator.
  for (const char* variable : {"ProgramFiles", "ProgramW6432", "ProgramFiles(x86)"}) {
    const QString system = QDir::fromNativeSeparators(qEnvironmentVariable(variable));
    if (!system.isEmpty() &&
        (programFolder + u'/').startsWith(system + u'/', Qt::CaseInsensitive))
      return fallbackFolder;
  }
#else
  for (const char* system : {"/usr/", "/bin/", "/sbin/"})
    if ((programFolder + u'/').startsWith(QLatin1String(system))) return fallbackFolder;
#endif
  const QFileInfo info(programFolder);
  if (!info.isDir() || !info.isWritable()) return fallbackFolder;
  // Permission bits are not the last word (root passes every check, and some file systems
  // refuse new files regardless), so a throwaway file settles it.
  QTemporaryFile probe(programFolder + QStringLiteral("/.modlcd-probe-XXXXXX"));
  return probe.open() ? programFolder : fallbackFolder;
}

}  // namespace vantor
