#include "cli/AsyncWriter.h"

#include "core/io/SystemError.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#else
#include <poll.h>
#include <unistd.h>
#endif

namespace vantor::cli {

namespace {

// Whole records are gathered into writes of at most this much: a pipe takes a write of up to
// PIPE_BUF bytes whole or not at all.
constexpr qsizetype kChunk = 4096;
constexpr int kPollMs = 50;

}  // namespace

AsyncWriter::AsyncWriter(int fd, QString name)
    : fd_(fd), name_(std::move(name)), thread_([this] { run(); }) {}

AsyncWriter::~AsyncWriter() {
  finish(std::chrono::milliseconds(500));
}

void AsyncWriter::post(QByteArray record) {
  {
    const std::lock_guard lock(mutex_);
    if (!failure_.isEmpty() || finishing_) return;
    if (records_.size() >= kMaxWaiting) {
      ++dropped_;
      return;
    }
    records_.push_back(std::move(record));
  }
  wake_.notify_one();
}

void AsyncWriter::finish(std::chrono::milliseconds limit) {
  {
    const std::lock_guard lock(mutex_);
    if (finishing_) return;
    finishing_ = true;
    deadline_ = std::chrono::steady_clock::now() + limit;
  }
  wake_.notify_one();
#ifdef Q_OS_WIN
  {
    std::unique_lock lock(mutex_);
    auto until = deadline_ + std::chrono::milliseconds(kPollMs);
    while (!wake_.wait_until(lock, until, [this] { return ended_; })) {
      if (threadHandle_) ::CancelSynchronousIo(threadHandle_);
      until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPollMs);
    }
  }
#endif
  if (thread_.joinable()) thread_.join();
  const std::lock_guard lock(mutex_);
  dropped_ += qint64(records_.size());
  records_.clear();
}

qint64 AsyncWriter::dropped() const {
  const std::lock_guard lock(mutex_);
  return dropped_;
}

QString AsyncWriter::failure() const {
  const std::lock_guard lock(mutex_);
  return failure_;
}

void AsyncWriter::run() {
#ifdef Q_OS_WIN
  {
    const std::lock_guard lock(mutex_);
    threadHandle_ = ::OpenThread(THREAD_TERMINATE, FALSE, ::GetCurrentThreadId());
  }
  struct Ended {
    AsyncWriter* writer;
    ~Ended() {
      {
        const std::lock_guard lock(writer->mutex_);
        if (writer->threadHandle_) ::CloseHandle(writer->threadHandle_);
        writer->threadHandle_ = nullptr;
        writer->ended_ = true;
      }
      writer->wake_.notify_all();
    }
  } ended{this};
#endif
  for (;;) {
    QByteArray chunk;
    qint64 records = 0;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [&] { return !records_.empty() || finishing_; });
      if (records_.empty() || !failure_.isEmpty()) return;
      if (finishing_ && std::chrono::steady_clock::now() > deadline_) return;
      do {
        chunk += records_.front();
        records_.pop_front();
        ++records;
      } while (!records_.empty() && chunk.size() + records_.front().size() <= kChunk);
    }
    if (!writeWhole(chunk)) {
      // Given up at the end of the time to finish: these are dropped like the rest.
      const std::lock_guard lock(mutex_);
      if (failure_.isEmpty()) dropped_ += records;
      return;
    }
  }
}

// Writes `chunk` (whole records), waiting for room a little at a time so that finishing is
// never held up by a reader that has stopped reading. A file that takes only part of it is cut
// back to where it was, so that no record is left half written.
bool AsyncWriter::writeWhole(const QByteArray& chunk) {
#ifdef Q_OS_WIN
  // Windows has no waiting for room on a descriptor: the write itself waits.
  const qint64 start = ::_lseeki64(fd_, 0, SEEK_CUR);
  qsizetype done = 0;
  while (done < chunk.size()) {
    const int n = ::_write(fd_, chunk.constData() + done, unsigned(chunk.size() - done));
    if (n > 0) {
      done += n;
      continue;
    }
    {
      // Cancelled at the end of the time to finish: not a failure of the output.
      const std::lock_guard lock(mutex_);
      if (finishing_ && std::chrono::steady_clock::now() > deadline_) return false;
    }
    const int error = n < 0 ? errno : ENOSPC;
    if (start >= 0 && done > 0 && ::_chsize_s(fd_, start) != 0) {
      // Nothing more can be done about a file that cannot be cut either; it is said below.
    }
    fail(error);
    return false;
  }
  return true;
#else
  const off_t start = ::lseek(fd_, 0, SEEK_CUR);
  qsizetype done = 0;
  while (done < chunk.size()) {
    pollfd p{fd_, POLLOUT, 0};
    if (::poll(&p, 1, kPollMs) <= 0) {
      const std::lock_guard lock(mutex_);
      if (finishing_ && std::chrono::steady_clock::now() > deadline_) return false;
      continue;
    }
    const ssize_t n = ::write(fd_, chunk.constData() + done, std::size_t(chunk.size() - done));
    if (n > 0) {
      done += n;
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    const int error = n < 0 ? errno : ENOSPC;
    if (start >= 0 && done > 0 && ::ftruncate(fd_, start) != 0) {
      // Nothing more can be done about a file that cannot be cut either; it is said below.
    }
    fail(error);
    return false;
  }
  return true;
#endif
}

void AsyncWriter::fail(int error) {
  {
    const std::lock_guard lock(mutex_);
    failure_ = systemError(error);
    records_.clear();
  }
  const QByteArray line = "vantor-cli: " + name_.toLocal8Bit() +
                          " could not be written: " + failure_.toLocal8Bit() +
                          "; nothing more is written to it, and the simulator goes on answering\n";
  std::fwrite(line.constData(), 1, std::size_t(line.size()), stderr);
}

}  // namespace vantor::cli
