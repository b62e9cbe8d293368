#include "core/io/FileLock.h"

#include "core/io/SystemError.h"

#include <QFile>

#include <cerrno>
#include <thread>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantor {

namespace {

// "root", or the number of a user the system has no name for.
QString ownerOf(const QByteArray& path) {
  struct stat st {};
  if (::lstat(path.constData(), &st) != 0) return {};
  if (const passwd* user = ::getpwuid(st.st_uid)) return QString::fromLocal8Bit(user->pw_name);
  return QStringLiteral("user %1").arg(st.st_uid);
}

// Programs take turns through a turnstile: an exclusive lock on the first byte of the lock
// file (an open-file-description lock, which works on a descriptor opened for reading only and
// is independent of flock), held from asking for the lock until having it. Whoever finds the
// turnstile taken waits there, so a waiter at the front has only the holder to wait for: a
// program saving again and again finds it taken after each turn and waits behind, where
// without it, it could take the lock again before a woken waiter got round to it. A file
// system without such locks just has no turnstile.
enum class Gate { Passed, Taken, Missing };

Gate enterTurnstile(int fd, bool wait) {
  struct flock range {};
  range.l_type = F_WRLCK;
  range.l_whence = SEEK_SET;
  range.l_start = 0;
  range.l_len = 1;
  for (;;) {
    if (::fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &range) == 0) return Gate::Passed;
    if (errno == EINTR && wait) continue;
    return errno == EAGAIN || errno == EACCES ? Gate::Taken : Gate::Missing;
  }
}

void leaveTurnstile(int fd) {
  struct flock range {};
  range.l_type = F_UNLCK;
  range.l_whence = SEEK_SET;
  range.l_start = 0;
  range.l_len = 1;
  ::fcntl(fd, F_OFD_SETLK, &range);
}

int operationOf(FileLock::Kind kind) {
  return kind == FileLock::Kind::Shared ? LOCK_SH : LOCK_EX;
}

}  // namespace

FileLock::OpenFailure FileLock::openFile(const QString& path) {
  const QByteArray native = QFile::encodeName(path);
  // Non-blocking and never following a link: something that is no lock file must neither hang
  // the program nor get a file made where it points.
  const int flags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  int fd = ::open(native.constData(), O_RDWR | O_CREAT | flags, 0666);
  int failure = fd >= 0 ? 0 : errno;
  if (fd < 0 && (failure == EACCES || failure == EPERM || failure == EROFS)) {
    fd = ::open(native.constData(), O_RDONLY | flags);
    // Nothing to read either: the file is not there and its folder may not be written.
    if (fd < 0 && errno == ENOENT) return {OpenFailure::FolderReadOnly, systemError(failure), {}};
    failure = fd >= 0 ? 0 : errno;
  }
  struct stat st {};
  if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    handle_ = fd;
    return {};
  }
  if (fd >= 0) ::close(fd);
  if (failure == ELOOP) return {OpenFailure::Link, {}, {}};
  if (failure == 0) return {OpenFailure::NotRegular, {}, {}};
  if (failure == EACCES || failure == EPERM)
    return {OpenFailure::Denied, systemError(failure), ownerOf(native)};
  return {OpenFailure::Other, systemError(failure), {}};
}

void FileLock::release() {
  ::close(int(handle_));  // closing drops the lock
}

FileLock::Attempt FileLock::tryLock(Kind kind, QString* failure) {
  const int fd = int(handle_);
  const Gate gate = enterTurnstile(fd, false);
  if (gate == Gate::Taken) return Attempt::Busy;
  queued_ = gate == Gate::Passed;
  if (::flock(fd, operationOf(kind) | LOCK_NB) == 0) {
    endWait();
    return Attempt::Taken;
  }
  // Busy: the turnstile stays taken while this program waits at the front.
  if (errno == EWOULDBLOCK) return Attempt::Busy;
  *failure = systemError(errno);
  endWait();
  return Attempt::Failed;
}

// The waiter blocks in the kernel on a descriptor of the same open file, first at the
// turnstile unless this program stands at the front already, then for the lock: the kernel
// wakes it the moment the holder lets go. What it takes belongs to the open file, so this
// lock holds it from then on; the turnstile is left to the next program once the lock is had.
std::shared_ptr<FileLock::Waiter> FileLock::startWaiter(const QString&, Kind kind,
                                                        QString* failure) {
  const int descriptor = ::dup(int(handle_));
  if (descriptor < 0) {
    *failure = systemError(errno);
    return nullptr;
  }
  auto waiter = std::make_shared<Waiter>();
  std::thread([waiter, descriptor, front = queued_, operation = operationOf(kind)] {
    const bool passed = front || enterTurnstile(descriptor, true) == Gate::Passed;
    int result;
    while ((result = ::flock(descriptor, operation)) != 0 && errno == EINTR) {
    }
    const int error = result == 0 ? 0 : errno;
    if (passed) leaveTurnstile(descriptor);
    const std::lock_guard lock(waiter->mutex);
    if (waiter->abandoned && result == 0) ::flock(descriptor, LOCK_UN);
    ::close(descriptor);
    if (error != 0) waiter->failure = systemError(error);
    waiter->finished = true;
    waiter->done.notify_one();
  }).detach();
  queued_ = false;  // the waiter leaves the turnstile
  return waiter;
}

void FileLock::endWait() {
  if (queued_) leaveTurnstile(int(handle_));
  queued_ = false;
}

void FileLock::adopt(Waiter&) {}

}  // namespace vantor
