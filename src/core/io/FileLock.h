#pragma once

// An advisory lock (flock; on Windows LockFileEx) on a lock file beside the file it guards, so
// that programs sharing the file take turns. Taking it never waits for ever: another holder is
// waited for up to a limit, and someone is told once the wait gets long. Programs waiting take
// turns with one that takes the lock again and again.

#include <QString>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

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

  bool locked() const { return handle_ != -1 && error_.isEmpty(); }
  // Why the lock is not held: a sentence naming the lock file and what to do about it.
  const QString& error() const { return error_; }
  // The lock file could not be had at all (as opposed to a wait that ran out or was given up).
  bool unusable() const { return unusable_; }
  // When the lock was taken, in milliseconds since the epoch; files older than that were left
  // by a holder that is gone.
  qint64 takenAtMs() const { return takenAtMs_; }

 private:
  // Why the lock file could not be opened.
  struct OpenFailure {
    enum Kind { None, Link, NotRegular, Denied, FolderReadOnly, Other } kind = None;
    QString words;  // the system's, for Denied, FolderReadOnly and Other
    QString owner;  // of a file that was Denied, when the system tells
  };
  enum class Attempt { Taken, Busy, Failed };
  // A thread of its own that waits in the system for the lock, on a descriptor or handle of
  // its own; if the wait was given up before it has the lock, it lets go as soon as it has it.
  struct Waiter {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    bool abandoned = false;
    QString failure;      // the system's words when the wait failed
    qintptr handle = -1;  // Windows: the handle that holds the lock, once taken
  };

  void wait(const QString& path, Kind kind, const LockWait& wait);
  // Waits for `waiter` within the limit, reporting as asked; whether it reported.
  bool await(Waiter& waiter, const QString& path, const LockWait& wait);

  // The system's side (FileLockPosix.cpp, FileLockWin.cpp), where the programs waiting for
  // the lock are made to take turns. Opens the lock file into handle_.
  OpenFailure openFile(const QString& path);
  // Takes the lock at once or not at all: Busy also when others wait for it, so that this
  // program waits its turn behind them. The system's words in `failure` when it failed.
  Attempt tryLock(Kind kind, QString* failure);
  std::shared_ptr<Waiter> startWaiter(const QString& path, Kind kind, QString* failure);
  // The wait is over, however it ended; then, if the waiter took the lock, it becomes this
  // lock's.
  void endWait();
  void adopt(Waiter& waiter);
  void release();

  qintptr handle_ = -1;  // the lock file's descriptor; on Windows its HANDLE
  bool queued_ = false;  // this program is marked as waiting its turn (see the system's side)
  QString error_;
  bool unusable_ = false;
  qint64 takenAtMs_ = 0;
};

}  // namespace vantor
