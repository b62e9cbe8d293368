#pragma once

#include <QByteArray>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace vantor::cli {

// Writes lines to a file descriptor from a thread of its own, so that a reader who falls
// behind (a paused pager, a slow disk) never holds up the caller: when too many lines wait,
// new ones are dropped, and how many is written once the reader catches up.
class AsyncWriter {
 public:
  static constexpr std::size_t kMaxWaiting = 10000;

  // `dropNotice` is what to write when lines were dropped, with %1 for their number.
  AsyncWriter(int fd, QByteArray dropNotice);
  ~AsyncWriter();
  AsyncWriter(const AsyncWriter&) = delete;
  AsyncWriter& operator=(const AsyncWriter&) = delete;

  // Takes one line (with its line end); never waits.
  void post(QByteArray line);
  // Writes what waits, waiting at most `ms` for a reader that does not read.
  void finish(int ms);
  qint64 dropped() const;

 private:
  void run();

  int fd_;
  QByteArray dropNotice_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<QByteArray> lines_;
  qint64 dropped_ = 0;
  qint64 droppedUnsaid_ = 0;
  bool finishing_ = false;
  std::chrono::steady_clock::time_point deadline_{};
  std::thread thread_;
};

}  // namespace vantor::cli
