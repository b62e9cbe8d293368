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

#ifdef Q_OS_WIN
#include <QDir>

#include <string>

#include <windows.h>
#else
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vantor {

namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(20);

}  // namespace

#ifdef Q_OS_WIN
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// The lock is on the first byte of the lock file; waiters queue up on the second (see below).
constexpr DWORD kLockByte = 0;
constexpr DWORD kQueueByte = 1;

std::wstring nativeName(const QString& path) {
  return QDir::toNativeSeparators(path).toStdWString();
}

// The lock file, for reading and writing, or for reading alone when it may not be written
// (another user's). A link is opened as itself, never followed.
HANDLE openLockFile(const std::wstring& path, DWORD disposition) {
  const DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
  HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                                disposition, flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_ACCESS_DENIED)
    handle = ::CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, flags,
                           nullptr);
  return handle;
}

// Takes one byte of the lock file at once or not at all: 0, or the reason
// (ERROR_LOCK_VIOLATION while someone else holds it).
DWORD tryLock(HANDLE handle, DWORD offset, DWORD flags) {
  OVERLAPPED range{};
  range.Offset = offset;
  return ::LockFileEx(handle, flags | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &range)
             ? 0
             : ::GetLastError();
}

void unlock(HANDLE handle, DWORD offset) {
  OVERLAPPED range{};
  range.Offset = offset;
  ::UnlockFileEx(handle, 0, 1, 0, &range);
}

// Waiters queue up: each holds a shared lock on the second byte of the lock file while it
// waits. A program that finds anyone queued does not take the lock while it happens to be free
// between two turns of another saver, but queues up too: otherwise a program saving again and
// again would keep the lock from a waiter for ever.
bool othersQueued(HANDLE handle) {
  if (tryLock(handle, kQueueByte, LOCKFILE_EXCLUSIVE_LOCK) != 0) return true;
  unlock(handle, kQueueByte);
  return false;
}

}  // namespace

FileLock::FileLock(const QString& path, Kind kind, const LockWait& lockWait) {
  if (open(path)) wait(path, kind, lockWait);
}

FileLock::~FileLock() {
  if (!handle_) return;
  // Closing drops the lock too, but only once the system gets round to it: let go now.
  if (locked()) unlock(handle_, kLockByte);
  ::CloseHandle(handle_);
}

bool FileLock::open(const QString& path) {
  const QString name = QFileInfo(path).fileName();
  HANDLE handle = openLockFile(nativeName(path), OPEN_ALWAYS);
  DWORD failure = handle == INVALID_HANDLE_VALUE ? ::GetLastError() : 0;
  BY_HANDLE_FILE_INFORMATION info{};
  const bool link = handle != INVALID_HANDLE_VALUE &&
                    ::GetFileInformationByHandle(handle, &info) &&
                    (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
  if (handle != INVALID_HANDLE_VALUE && !link && ::GetFileType(handle) == FILE_TYPE_DISK &&
      !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    handle_ = handle;
    return true;
  }
  if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
  // A folder cannot be opened as a file at all, which Windows calls a denied access.
  const DWORD attributes = ::GetFileAttributesW(nativeName(path).c_str());
  if (failure == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_DIRECTORY))
    failure = 0;
  unusable_ = true;
  if (link)
    error_ = QStringLiteral("its lock file %1 is a symbolic link; remove %2 and try again")
                 .arg(path, name);
  else if (failure == 0)
    error_ = QStringLiteral("its lock file %1 is not a regular file; remove %2 and try again")
                 .arg(path, name);
  else if (failure == ERROR_ACCESS_DENIED)
    error_ = QStringLiteral("its lock file %1 cannot be opened (%2); remove %3 and try again")
                 .arg(path, windowsError(failure), name);
  else
    error_ =
        QStringLiteral("its lock file %1 cannot be opened (%2)").arg(path, windowsError(failure));
  return false;
}

// A thread of its own that waits in the system for the lock, on a handle of its own to the
// lock file: the system hands the lock to a blocked waiter the moment the holder lets go. Once
// it has the lock, its handle becomes the lock's; if the wait was given up before, it lets go
// of the lock as soon as it has it.
struct FileLock::Waiter {
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  bool abandoned = false;
  DWORD result = 0;
  HANDLE handle = nullptr;  // the handle that holds the lock, once taken

  static std::shared_ptr<Waiter> start(const QString& path, DWORD flags, DWORD* error) {
    HANDLE handle = openLockFile(nativeName(path), OPEN_EXISTING);
    if (handle == INVALID_HANDLE_VALUE) {
      *error = ::GetLastError();
      return nullptr;
    }
    auto waiter = std::make_shared<Waiter>();
    std::thread([waiter, handle, flags] {
      OVERLAPPED range{};
      range.Offset = kLockByte;
      const DWORD result = ::LockFileEx(handle, flags, 0, 1, 0, &range) ? 0 : ::GetLastError();
      const std::lock_guard lock(waiter->mutex);
      if (result == 0 && !waiter->abandoned) {
        waiter->handle = handle;
      } else {
        if (result == 0) unlock(handle, kLockByte);
        ::CloseHandle(handle);
      }
      waiter->result = result;
      waiter->finished = true;
      waiter->done.notify_one();
    }).detach();
    return waiter;
  }
};

void FileLock::wait(const QString& path, Kind kind, const LockWait& lockWait) {
  const DWORD flags = kind == Kind::Shared ? 0 : LOCKFILE_EXCLUSIVE_LOCK;
  const auto cannotLock = [&](DWORD error) {
    error_ =
        QStringLiteral("its lock file %1 cannot be locked (%2)").arg(path, windowsError(error));
  };
  if (!othersQueued(handle_)) {
    const DWORD error = tryLock(handle_, kLockByte, flags);
    if (error == 0) {
      takenAtMs_ = QDateTime::currentMSecsSinceEpoch();
      return;
    }
    if (error != ERROR_LOCK_VIOLATION) return cannotLock(error);
  }
  const bool queued = tryLock(handle_, kQueueByte, 0) == 0;
  DWORD startError = 0;
  const std::shared_ptr<Waiter> waiter = Waiter::start(path, flags, &startError);
  if (!waiter) {
    if (queued) unlock(handle_, kQueueByte);
    return cannotLock(startError);
  }
  const bool reported = await(*waiter, path, lockWait);
  if (queued) unlock(handle_, kQueueByte);
  if (reported) lockWait.report(-1);
  if (error_.isEmpty() && waiter->result != 0) cannotLock(waiter->result);
  if (!error_.isEmpty()) return;
  // The waiter's handle holds the lock from here on.
  ::CloseHandle(handle_);
  handle_ = waiter->handle;
  takenAtMs_ = QDateTime::currentMSecsSinceEpoch();
}
#else

namespace {

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

#endif

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
