#include "cli/AsyncWriter.h"

#include <cerrno>

#include <poll.h>
#include <unistd.h>

namespace vantor::cli {

namespace {

// A write of at most this much goes through at once whenever a pipe says it has room.
constexpr qsizetype kChunk = 4096;
constexpr int kPollMs = 100;

}  // namespace

AsyncWriter::AsyncWriter(int fd, QByteArray dropNotice)
    : fd_(fd), dropNotice_(std::move(dropNotice)), thread_([this] { run(); }) {}

AsyncWriter::~AsyncWriter() {
  finish(1000);
}

void AsyncWriter::post(QByteArray line) {
  {
    const std::lock_guard lock(mutex_);
    if (lines_.size() >= kMaxWaiting) {
      ++dropped_;
      ++droppedUnsaid_;
      return;
    }
    if (droppedUnsaid_ > 0) {
      lines_.push_back(QByteArray(dropNotice_).replace("%1", QByteArray::number(droppedUnsaid_)));
      droppedUnsaid_ = 0;
    }
    lines_.push_back(std::move(line));
  }
  wake_.notify_one();
}

void AsyncWriter::finish(int ms) {
  {
    const std::lock_guard lock(mutex_);
    if (finishing_) return;
    finishing_ = true;
    deadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    if (droppedUnsaid_ > 0) {
      lines_.push_back(QByteArray(dropNotice_).replace("%1", QByteArray::number(droppedUnsaid_)));
      droppedUnsaid_ = 0;
    }
  }
  wake_.notify_one();
  if (thread_.joinable()) thread_.join();
}

qint64 AsyncWriter::dropped() const {
  const std::lock_guard lock(mutex_);
  return dropped_;
}

void AsyncWriter::run() {
  QByteArray pending;
  for (;;) {
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [&] { return !lines_.empty() || finishing_ || !pending.isEmpty(); });
      while (!lines_.empty() && pending.size() < kChunk) {
        pending += lines_.front();
        lines_.pop_front();
      }
      if (pending.isEmpty() && finishing_) return;
      if (finishing_ && std::chrono::steady_clock::now() > deadline_) return;
    }
    // Waits for room a little at a time, so that finishing is never held up by a reader
    // that has stopped reading.
    pollfd p{fd_, POLLOUT, 0};
    if (::poll(&p, 1, kPollMs) <= 0) continue;
    if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) return;  // nobody reads any more
    const ssize_t n =
        ::write(fd_, pending.constData(), std::size_t(std::min(pending.size(), kChunk)));
    if (n > 0)
      pending.remove(0, n);
    else if (n < 0 && errno != EAGAIN && errno != EINTR)
      return;
  }
}

}  // namespace vantor::cli
