#include "serial/LineIo.h"

#include "core/io/SystemError.h"
#include "serial/SerialPort.h"

#include <QElapsedTimer>

#include <cerrno>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace vantor {

namespace {

// What one read() hands over at most, so that a job still looks at its deadlines
// and its stop flag while a flood comes in.
constexpr qsizetype kMostPerRead = 64 * 1024;

}  // namespace

LineIo::LineIo() {
  int fds[2];
  if (::pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0) {
    error_ = systemError(errno);
    return;
  }
  wakeRead_ = fds[0];
  wakeWrite_ = fds[1];
}

LineIo::~LineIo() {
  if (wakeRead_ >= 0) ::close(wakeRead_);
  if (wakeWrite_ >= 0) ::close(wakeWrite_);
}

LineIo::Woken LineIo::wait(std::optional<std::chrono::nanoseconds> timeout, bool wantWritable) {
  pollfd fds[2] = {{int(handle_), short(POLLIN | (wantWritable ? POLLOUT : 0)), 0},
                   {wakeRead_, POLLIN, 0}};
  timespec limit{};
  if (timeout) {
    const qint64 ns = std::max<qint64>(timeout->count(), 0);
    limit.tv_sec = time_t(ns / 1'000'000'000);
    limit.tv_nsec = long(ns % 1'000'000'000);
  }
  Woken woken;
  if (::ppoll(fds, 2, timeout ? &limit : nullptr, nullptr) <= 0) return woken;
  if (fds[1].revents & POLLIN) {
    char drop[64];
    while (::read(wakeRead_, drop, sizeof drop) > 0) {
    }
  }
  woken.input = fds[0].revents & POLLIN;
  woken.writable = fds[0].revents & POLLOUT;
  woken.lost = fds[0].revents & (POLLHUP | POLLERR | POLLNVAL);
  return woken;
}

void LineIo::wake() {
  const char byte = 1;
  [[maybe_unused]] const auto n = ::write(wakeWrite_, &byte, 1);
}

QByteArray LineIo::read(QString* error) {
  // The line runs with VMIN=0 and VTIME=0: a read returns what there is, 0 bytes when there is
  // nothing more. So 0 is no end of file: a device that goes away is told by the wait's
  // POLLHUP/POLLERR, or by a read that fails (EIO once the far end hung up, ENXIO once the
  // device is gone). A full buffer says nothing about what follows: reading goes on until the
  // driver has no more, or until a good share is in (the wait reports the rest at once).
  QByteArray bytes;
  char buffer[4096];
  while (bytes.size() < kMostPerRead) {
    const ssize_t n = ::read(int(handle_), buffer, sizeof buffer);
    if (n > 0) {
      bytes.append(buffer, n);
      continue;
    }
    if (n == 0 || errno == EAGAIN || errno == EWOULDBLOCK) break;
    if (errno == EINTR) continue;
    if (error) *error = systemError(errno);
    break;
  }
  return bytes;
}

qint64 LineIo::write(QByteArrayView bytes, QString* error) {
  const ssize_t n = ::write(int(handle_), bytes.data(), std::size_t(bytes.size()));
  if (n >= 0) return n;
  if (errno == EAGAIN || errno == EINTR) return 0;
  if (error) *error = systemError(errno);
  return -1;
}

bool drainOutput(qintptr handle, std::chrono::milliseconds limit) {
  // tcdrain() can wait for ever on a line that takes nothing; the output queue is asked
  // instead, a little at a time.
  QElapsedTimer waited;
  waited.start();
  for (;;) {
    int queued = 0;
    if (::ioctl(int(handle), TIOCOUTQ, &queued) != 0 || queued <= 0) {
      qCDebug(lcSerial) << "drained";
      return true;
    }
    if (waited.elapsed() >= limit.count()) {
      qCDebug(lcSerial) << "drain gave up with" << queued << "bytes queued";
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

}  // namespace vantor
