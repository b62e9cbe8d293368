#include "core/io/ReplaceFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantor {

namespace {

constexpr char kTemporaryInfix[] = ".tmp-";

QString systemError(int error) {
  return QString::fromLocal8Bit(std::strerror(error));
}

QString temporaryPrefix(const QFileInfo& info) {
  return info.fileName() + QLatin1String(kTemporaryInfix);
}

}  // namespace

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

  const QFileInfo info(path);
  QByteArray temporary = QFile::encodeName(
      info.absoluteDir().filePath(temporaryPrefix(info) + QStringLiteral("XXXXXX")));
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) return fail(systemError(errno));
  struct stat old {};
  const mode_t mode = ::stat(QFile::encodeName(path).constData(), &old) == 0
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
  if (!failure && ::rename(temporary.constData(), QFile::encodeName(path).constData()) != 0)
    failure = errno;
  if (failure) {
    ::unlink(temporary.constData());
    return fail(systemError(failure));
  }
  return true;
}

void removeLeftovers(const QString& path, qint64 beforeMs) {
  const QFileInfo info(path);
  QDir folder = info.absoluteDir();
  const QFileInfoList leftovers = folder.entryInfoList({temporaryPrefix(info) + u'*'},
                                                       QDir::Files | QDir::Hidden | QDir::System);
  for (const QFileInfo& leftover : leftovers)
    if (leftover.lastModified().toMSecsSinceEpoch() < beforeMs) folder.remove(leftover.fileName());
}

}  // namespace vantor
