#include "core/io/FileLock.h"

#include <QDateTime>
#include <QFileInfo>

namespace vantor {

namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(20);

}  // namespace

FileLock::FileLock(const QString& path, Kind kind, const LockWait& lockWait) {
  const OpenFailure failure = openFile(path);
  if (failure.kind == OpenFailure::None) {
    wait(path, kind, lockWait);
    return;
  }
  unusable_ = true;
  const QString name = QFileInfo(path).fileName();
  switch (failure.kind) {
    case OpenFailure::None:
      break;
    case OpenFailure::Link:
      error_ = QStringLiteral("its lock file %1 is a symbolic link; remove %2 and try again")
                   .arg(path, name);
      break;
    case OpenFailure::NotRegular:
      error_ = QStringLiteral("its lock file %1 is not a regular file; remove %2 and try again")
                   .arg(path, name);
      break;
    case OpenFailure::Denied:
      error_ =
          QStringLiteral("its lock file %1 cannot be opened (%2); remove %3")
              .arg(path, failure.words, name) +
          (failure.owner.isEmpty() ? QStringLiteral(" and try again")
                                   : QStringLiteral(", which belongs to %1").arg(failure.owner));
      break;
    case OpenFailure::FolderReadOnly:
      error_ = QStringLiteral(
                   "its lock file %1 cannot be created because its folder cannot be "
                   "written (%2)")
                   .arg(path, failure.words);
      break;
    case OpenFailure::Other:
      error_ = QStringLiteral("its lock file %1 cannot be opened (%2)").arg(path, failure.words);
      break;
  }
}

FileLock::~FileLock() {
  if (handle_ != -1) release();
}

void FileLock::wait(const QString& path, Kind kind, const LockWait& lockWait) {
  const auto cannotLock = [&](const QString& words) {
    error_ = QStringLiteral("its lock file %1 cannot be locked (%2)").arg(path, words);
  };
  QString failure;
  switch (tryLock(kind, &failure)) {
    case Attempt::Taken:
      takenAtMs_ = QDateTime::currentMSecsSinceEpoch();
      return;
    case Attempt::Failed:
      return cannotLock(failure);
    case Attempt::Busy:
      break;
  }
  const std::shared_ptr<Waiter> waiter = startWaiter(path, kind, &failure);
  if (!waiter) {
    endWait();
    return cannotLock(failure);
  }
  const bool reported = await(*waiter, path, lockWait);
  endWait();
  if (reported) lockWait.report(-1);
  if (error_.isEmpty() && !waiter->failure.isEmpty()) cannotLock(waiter->failure);
  if (!error_.isEmpty()) return;
  adopt(*waiter);
  takenAtMs_ = QDateTime::currentMSecsSinceEpoch();
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
