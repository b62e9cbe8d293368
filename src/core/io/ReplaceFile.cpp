#include "core/io/ReplaceFile.h"

#include "core/io/SystemError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <string>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>

#ifdef Q_OS_WIN
#include <QRandomGenerator>

#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vantor {

namespace {

constexpr char kTemporaryInfix[] = ".tmp-";

QString temporaryPrefix(const QFileInfo& info) {
  return info.fileName() + QLatin1String(kTemporaryInfix);
}

}  // namespace

#ifdef Q_OS_WIN

QString linkTarget(const QString& path) {
  // As many links as Windows itself follows before it gives up.
  constexpr int kMaxLinks = 63;
  QString at = path;
  for (int hop = 0; hop < kMaxLinks; ++hop) {
    const QFileInfo info(at);
    if (!info.isSymLink()) return at;
    at = QDir::cleanPath(info.symLinkTarget());
  }
  return path;
}

unsigned currentUmask() {
  // Windows has none: a new file's access comes from its folder.
  return 0;
}

bool replaceFile(const QString& path, const QByteArray& bytes, QString* error) {
  const auto fail = [&](const QString& reason) {
    if (error) *error = reason;
    return false;
  };
  // Renaming over a link would put a plain file in its place: the link's target is replaced
  // instead, from beside it, since a rename cannot cross volumes.
  const QString target = linkTarget(path);
  const QFileInfo info(target);
  const std::wstring targetName = QDir::toNativeSeparators(info.absoluteFilePath()).toStdWString();
  std::wstring temporary;
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
    const QString name = temporaryPrefix(info) +
                         QString::number(QRandomGenerator::global()->generate(), 36).rightJustified(6, u'0');
    temporary = QDir::toNativeSeparators(info.absoluteDir().filePath(name)).toStdWString();
    file = ::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS)
      return fail(windowsError(::GetLastError()));
  }
  if (file == INVALID_HANDLE_VALUE) return fail(windowsError(ERROR_FILE_EXISTS));

  DWORD failure = 0;
  for (qsizetype done = 0; done < bytes.size() && !failure;) {
    const DWORD chunk = DWORD(std::min<qsizetype>(bytes.size() - done, 1 << 20));
    DWORD n = 0;
    if (!::WriteFile(file, bytes.constData() + done, chunk, &n, nullptr))
      failure = ::GetLastError();
    else if (n == 0)
      failure = ERROR_DISK_FULL;
    else
      done += n;
  }
  if (!failure && !::FlushFileBuffers(file)) failure = ::GetLastError();
  if (!::CloseHandle(file) && !failure) failure = ::GetLastError();
  if (!failure && !::MoveFileExW(temporary.c_str(), targetName.c_str(),
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    failure = ::GetLastError();
  if (failure) {
    ::DeleteFileW(temporary.c_str());
    return fail(windowsError(failure));
  }
  return true;
}

#else

QString linkTarget(const QString& path) {
  // As many links as the kernel itself follows before it gives up with ELOOP.
  constexpr int kMaxLinks = 40;
  QString at = path;
  for (int hop = 0; hop < kMaxLinks; ++hop) {
    const QByteArray native = QFile::encodeName(at);
    struct stat st {};
    if (::lstat(native.constData(), &st) != 0 || !S_ISLNK(st.st_mode)) return at;
    QByteArray to(PATH_MAX, '\0');
    const ssize_t n = ::readlink(native.constData(), to.data(), std::size_t(to.size()));
    if (n < 0 || n >= to.size()) return path;
    to.truncate(n);
    const QString next = QFile::decodeName(to);
    // A relative link is read from the folder the link is in.
    at = QDir::cleanPath(QDir::isAbsolutePath(next) ? next
                                                    : QFileInfo(at).absoluteDir().filePath(next));
  }
  return path;
}

unsigned currentUmask() {
  // Read rather than set and reset: another thread may be creating a file meanwhile.
  QFile status(QStringLiteral("/proc/self/status"));
  if (status.open(QIODevice::ReadOnly)) {
    for (const QByteArray& line : status.readAll().split('\n')) {
      if (!line.startsWith("Umask:")) continue;
      bool ok = false;
      const unsigned mask = line.mid(6).trimmed().toUInt(&ok, 8);
      if (ok) return mask;
    }
  }
  return 022;
}

bool replaceFile(const QString& path, const QByteArray& bytes, QString* error) {
  const auto fail = [&](const QString& reason) {
    if (error) *error = reason;
    return false;
  };
  // A file-size limit would otherwise kill the program with a signal instead of letting the
  // write report it.
  std::signal(SIGXFSZ, SIG_IGN);

  // Renaming over a link would put a plain file in its place: the link's target is replaced
  // instead, from beside it, since a rename cannot cross file systems.
  const QString target = linkTarget(path);
  const QFileInfo info(target);
  QByteArray temporary = QFile::encodeName(
      info.absoluteDir().filePath(temporaryPrefix(info) + QStringLiteral("XXXXXX")));
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) return fail(systemError(errno));
  struct stat old {};
  const mode_t mode = ::stat(QFile::encodeName(target).constData(), &old) == 0
                          ? old.st_mode & 07777
                          : mode_t(0666 & ~currentUmask());
  ::fchmod(fd, mode);

  int failure = 0;
  for (qsizetype done = 0; done < bytes.size() && !failure;) {
    const ssize_t n = ::write(fd, bytes.constData() + done, std::size_t(bytes.size() - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0)
      failure = n < 0 ? errno : ENOSPC;
    else
      done += n;
  }
  if (!failure && ::fsync(fd) != 0) failure = errno;
  if (::close(fd) != 0 && !failure) failure = errno;
  if (!failure && ::rename(temporary.constData(), QFile::encodeName(target).constData()) != 0)
    failure = errno;
  if (failure) {
    ::unlink(temporary.constData());
    return fail(systemError(failure));
  }
  return true;
}

#endif

void removeLeftovers(const QString& path, qint64 beforeMs) {
  const QFileInfo info(linkTarget(path));
  QDir folder = info.absoluteDir();
  const QFileInfoList leftovers = folder.entryInfoList({temporaryPrefix(info) + u'*'},
                                                       QDir::Files | QDir::Hidden | QDir::System);
  for (const QFileInfo& leftover : leftovers)
    if (leftover.lastModified().toMSecsSinceEpoch() < beforeMs) folder.remove(leftover.fileName());
}

}  // namespace vantor
