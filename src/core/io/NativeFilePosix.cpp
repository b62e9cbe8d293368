#include "core/io/NativeFile.h"

#include "core/io/SystemError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <climits>
#include <csignal>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantor {

namespace {

FileStatus statusFrom(const struct stat& st) {
  FileStatus status;
  if (S_ISREG(st.st_mode))
    status.kind = FileKind::Regular;
  else if (S_ISDIR(st.st_mode))
    status.kind = FileKind::Folder;
  else if (S_ISFIFO(st.st_mode))
    status.kind = FileKind::Pipe;
  else if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
    status.kind = FileKind::Device;
  status.size = qint64(st.st_size);
  return status;
}

FileStatus failure(int error) {
  FileStatus status;
  status.absent = error == ENOENT;
  status.error = systemError(error);
  return status;
}

}  // namespace

FileStatus NativeFile::statusOf(const QString& path) {
  struct stat st {};
  if (::stat(QFile::encodeName(path).constData(), &st) != 0) return failure(errno);
  return statusFrom(st);
}

NativeFile::NativeFile(const QString& path) {
  // Non-blocking: a named pipe opens at once, writer or not, and is then refused for what it is.
  const int fd =
      ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    status_ = failure(errno);
    return;
  }
  handle_ = fd;
  struct stat st {};
  status_ = ::fstat(fd, &st) == 0 ? statusFrom(st) : failure(errno);
}

NativeFile::~NativeFile() {
  if (handle_ >= 0) ::close(int(handle_));
}

qint64 NativeFile::read(char* into, qint64 size, QString* error) {
  for (;;) {
    const ssize_t n = ::read(int(handle_), into, std::size_t(size));
    if (n >= 0) return n;
    if (errno == EINTR) continue;
    if (error) *error = systemError(errno);
    return -1;
  }
}

const int NativeFile::kMaxLinkHops = 40;  // where the kernel gives up with ELOOP

std::optional<QString> NativeFile::linkedTo(const QString& path) {
  const QByteArray native = QFile::encodeName(path);
  struct stat st {};
  if (::lstat(native.constData(), &st) != 0 || !S_ISLNK(st.st_mode)) return std::nullopt;
  QByteArray to(PATH_MAX, '\0');
  const ssize_t n = ::readlink(native.constData(), to.data(), std::size_t(to.size()));
  if (n < 0 || n >= to.size()) return QString();
  to.truncate(n);
  const QString next = QFile::decodeName(to);
  // A relative link is read from the folder the link is in.
  return QDir::cleanPath(QDir::isAbsolutePath(next) ? next
                                                    : QFileInfo(path).absoluteDir().filePath(next));
}

unsigned NativeFile::umask() {
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

bool NativeFile::replace(const QString& target, const QString& temporaryPrefix,
                         const QByteArray& bytes, QString* reason) {
  // A file-size limit would otherwise kill the program with a signal instead of letting the
  // write report it.
  std::signal(SIGXFSZ, SIG_IGN);
  QByteArray temporary = QFile::encodeName(temporaryPrefix + QStringLiteral("XXXXXX"));
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) {
    *reason = systemError(errno);
    return false;
  }
  const QByteArray targetName = QFile::encodeName(target);
  struct stat old {};
  const mode_t mode = ::stat(targetName.constData(), &old) == 0
                          ? old.st_mode & 07777
                          : mode_t(0666 & ~NativeFile::umask());
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
  if (!failure && ::rename(temporary.constData(), targetName.constData()) != 0) failure = errno;
  if (failure) {
    ::unlink(temporary.constData());
    *reason = systemError(failure);
    return false;
  }
  return true;
}

}  // namespace vantor
