#pragma once

// An advisory lock (flock; on Windows LockFileEx) on a lock file beside the file it guards, so
// that programs sharing the file take turns. Taking it never waits for ever: another holder is waited for up to a
// limit, and someone is told once the wait gets long.

#include <QString>

#include <chrono>
#include <functional>

namespace vantor {

struct LockWait {
  std::chrono::milliseconds limit{10000};
  std::chrono::milliseconds reportAfter{1000};
  // Called every few tens of milliseconds once `reportAfter` has passed, with the time waited
  // so far; returning false gives up at once. Called a last time with -1 when the wait ends,
  // however it ends, if it was called before.
  std::function<bool(qint64 waitedMs)> report;
};

class FileLock {
 public:
  enum class Kind { Shared, Exclusive };

  // Takes the lock on the file at `path`, creating the file when absent: never through a
  // symbolic link, and when the file cannot be opened for writing (another user's), opened for
  // reading, which locks all the same.
  FileLock(const QString& path, Kind kind, const LockWait& wait = {});
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  bool locked() const { return held() && error_.isEmpty(); }
  // Why the lock is not held: a sentence naming the lock file and what to do about it.
  const QString& error() const { return error_; }
  // The lock file could not be had at all (as opposed to a wait that ran out or was given up).
  bool unusable() const { return unusable_; }
  // When the lock was taken, in milliseconds since the epoch; files older than that were left
  // by a holder that is gone.
  qint64 takenAtMs() const { return takenAtMs_; }

 private:
  struct Waiter;
  bool open(const QString& path);
  void wait(const QString& path, Kind kind, const LockWait& wait);
  // Waits for `waiter` within the limit, reporting as asked; whether it reported.
  bool await(Waiter& waiter, const QString& path, const LockWait& wait);

#ifdef Q_OS_WIN
  bool held() const { return handle_ != nullptr; }
  void* handle_ = nullptr;  // the lock file's HANDLE, opened for overlapped locking
#else
  bool held() const { return fd_ >= 0; }
  int fd_ = -1;
#endif
  QString error_;
  bool unusable_ = false;
  qint64 takenAtMs_ = 0;
};

}  // namespace vantor
