#include "core/io/FileLock.h"

#include "core/io/SystemError.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantor {

namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(20);

// "root", or the number of a user the system has no name for.
QString ownerOf(const QByteArray& path) {
  struct stat st {};
  if (::lstat(path.constData(), &st) != 0) return {};
  if (const passwd* user = ::getpwuid(st.st_uid)) return QString::fromLocal8Bit(user->pw_name);
  return QStringLiteral("user %1").arg(st.st_uid);
}

// Waiters queue up: each holds a read lock (an open-file-description lock, which works on a
// descriptor opened for reading only and is independent of flock) on the first byte of the
// lock file while it waits. A program that finds anyone queued does not take the lock while
// it happens to be free between two turns of another saver, but queues up too: otherwise a
// program saving again and again would keep the lock from a waiter for ever.
struct flock queueByte(short type) {
  struct flock range {};
  range.l_type = type;
  range.l_whence = SEEK_SET;
  range.l_start = 0;
  range.l_len = 1;
  return range;
}

bool othersQueued(int fd) {
  struct flock range = queueByte(F_WRLCK);
  return ::fcntl(fd, F_OFD_GETLK, &range) == 0 && range.l_type != F_UNLCK;
}

void queue(int fd, bool waiting) {
  struct flock range = queueByte(waiting ? F_RDLCK : F_UNLCK);
  ::fcntl(fd, F_OFD_SETLK, &range);
}

}  // namespace

FileLock::FileLock(const QString& path, Kind kind, const LockWait& lockWait) {
  if (open(path)) wait(path, kind, lockWait);
}

FileLock::~FileLock() {
  if (fd_ >= 0) ::close(fd_);  // closing drops the lock
}

bool FileLock::open(const QString& path) {
  const QByteArray native = QFile::encodeName(path);
  const QString name = QFileInfo(path).fileName();
  // Non-blocking and never following a link: something that is no lock file must neither hang
  // the program nor get a file made where it points.
  const int flags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  fd_ = ::open(native.constData(), O_RDWR | O_CREAT | flags, 0666);
  if (fd_ < 0 && (errno == EACCES || errno == EPERM || errno == EROFS))
    fd_ = ::open(native.constData(), O_RDONLY | flags);
  struct stat st {};
  if (fd_ >= 0 && ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode)) return true;
  const int failure = fd_ >= 0 ? 0 : errno;
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  unusable_ = true;
  if (failure == ELOOP)
    error_ = QStringLiteral("its lock file %1 is a symbolic link; remove %2 and try again")
                 .arg(path, name);
  else if (failure == 0)
    error_ = QStringLiteral("its lock file %1 is not a regular file; remove %2 and try again")
                 .arg(path, name);
  else if (failure == EACCES || failure == EPERM)
    error_ =
        QStringLiteral("its lock file %1 cannot be opened (%2); remove %3, which belongs to %4")
            .arg(path, systemError(failure), name, ownerOf(native));
  else
    error_ =
        QStringLiteral("its lock file %1 cannot be opened (%2)").arg(path, systemError(failure));
  return false;
}

// A thread of its own that waits in the kernel for the lock, on a descriptor of the same open
// file: the kernel wakes a blocked waiter the moment the holder lets go, where trying again now
// and then would rarely catch the lock free from a holder that saves again and again. If the
// wait is given up before the thread gets the lock, it lets go of the lock as soon as it has
// it.
struct FileLock::Waiter {
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  bool abandoned = false;
  int result = 0;

  static std::shared_ptr<Waiter> start(int fd, int operation) {
    const int descriptor = ::dup(fd);
    if (descriptor < 0) return nullptr;
    auto waiter = std::make_shared<Waiter>();
    std::thread([waiter, descriptor, operation] {
      int result;
      while ((result = ::flock(descriptor, operation)) != 0 && errno == EINTR) {
      }
      const std::lock_guard lock(waiter->mutex);
      if (waiter->abandoned && result == 0) ::flock(descriptor, LOCK_UN);
      ::close(descriptor);
      waiter->result = result == 0 ? 0 : errno;
      waiter->finished = true;
      waiter->done.notify_one();
    }).detach();
    return waiter;
  }
};

void FileLock::wait(const QString& path, Kind kind, const LockWait& lockWait) {
  const int operation = kind == Kind::Shared ? LOCK_SH : LOCK_EX;
  const auto cannotLock = [&](int error) {
    error_ = QStringLiteral("its lock file %1 cannot be locked (%2)").arg(path, systemError(error));
  };
  if (!othersQueued(fd_)) {
    if (::flock(fd_, operation | LOCK_NB) == 0) {
      takenAtMs_ = QDateTime::currentMSecsSinceEpoch();
      return;
    }
    if (errno != EWOULDBLOCK) return cannotLock(errno);
  }
  queue(fd_, true);
  const std::shared_ptr<Waiter> waiter = Waiter::start(fd_, operation);
  if (!waiter) return cannotLock(errno);
  const bool reported = await(*waiter, path, lockWait);
  if (!waiter->abandoned) queue(fd_, false);
  if (reported) lockWait.report(-1);
  if (error_.isEmpty() && waiter->result != 0) cannotLock(waiter->result);
  if (error_.isEmpty()) takenAtMs_ = QDateTime::currentMSecsSinceEpoch();
}

bool FileLock::await(Waiter& waiter, const QString& path, const LockWait& lockWait) {
  const auto start = std::chrono::steady_clock::now();
  bool reported = false;
  std::unique_lock lock(waiter.mutex);
  while (!waiter.done.wait_for(lock, kPollInterval, [&] { return waiter.finished; })) {
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    if (waited >= lockWait.limit) {
      error_ = QStringLiteral("another program has held its lock file %1 for %2 s")
                   .arg(path)
                   .arg(double(waited.count()) / 1000.0, 0, 'f', 0);
    } else if (waited >= lockWait.reportAfter && lockWait.report) {
      reported = true;
      lock.unlock();
      const bool goOn = lockWait.report(waited.count());
      lock.lock();
      if (!goOn && !waiter.finished)
        error_ = QStringLiteral("the wait for its lock file %1 was given up").arg(path);
    }
    if (!error_.isEmpty()) {
      waiter.abandoned = true;
      break;
    }
  }
  return reported;
}

}  // namespace vantor
