#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace vantor::cli {

// Writes records (lines) to a file descriptor from a thread of its own, so that a reader who
// falls behind (a paused pager, a slow disk) never holds up the caller: when too many records
// wait, new ones are dropped and counted. A record is written whole or not at all; when
// writing fails (a full disk, a file-size limit, a reader that went away) that is said once on
// standard error and nothing more is written.
class AsyncWriter {
 public:
  static constexpr std::size_t kMaxWaiting = 10000;

  // `name` names the output in messages: "standard output", or the log file's path.
  AsyncWriter(int fd, QString name);
  ~AsyncWriter();
  AsyncWriter(const AsyncWriter&) = delete;
  AsyncWriter& operator=(const AsyncWriter&) = delete;

  // Takes one record (with its line end); never waits.
  void post(QByteArray record);
  // Writes what waits, giving a reader that does not read at most `limit`; what is still
  // waiting then is dropped too.
  void finish(std::chrono::milliseconds limit);
  // Records dropped so far because the output did not take them in time.
  qint64 dropped() const;
  // Why writing stopped; empty while it has not.
  QString failure() const;

 private:
  void run();
  bool writeWhole(const QByteArray& chunk);
  void fail(int error);

  int fd_;
  QString name_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<QByteArray> records_;
  qint64 dropped_ = 0;
  QString failure_;
  bool finishing_ = false;
  std::chrono::steady_clock::time_point deadline_{};
#ifdef Q_OS_WIN
  // A write to a pipe nobody reads waits inside the system; finishing cancels it through the
  // writing thread's handle once the time is up.
  void* threadHandle_ = nullptr;
  bool ended_ = false;
#endif
  std::thread thread_;
};

}  // namespace vantor::cli
