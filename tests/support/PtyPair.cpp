#include "PtyPair.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QElapsedTimer>

namespace vantor::test {

PtyPair::PtyPair(bool keepSlaveOpen) {
  char name[256] = {};
  termios raw{};
  cfmakeraw(&raw);
  if (openpty(&master_, &slave_, name, &raw, nullptr) != 0) {
    master_ = slave_ = -1;
    return;
  }
  path_ = QString::fromLocal8Bit(name);
  if (!keepSlaveOpen) {
    ::close(slave_);
    slave_ = -1;
  }
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtyPair::~PtyPair() {
  closeMaster();
  if (slave_ >= 0) ::close(slave_);
}

void PtyPair::closeMaster() {
  if (master_ >= 0) ::close(master_);
  master_ = -1;
}

bool PtyPair::write(const QByteArray& bytes) {
  qsizetype done = 0;
  QElapsedTimer t;
  t.start();
  while (done < bytes.size() && t.elapsed() < 2000) {
    const ssize_t n = ::write(master_, bytes.constData() + done, size_t(bytes.size() - done));
    if (n > 0) {
      done += n;
    } else {
      pollfd p{master_, POLLOUT, 0};
      ::poll(&p, 1, 10);
    }
  }
  return done == bytes.size();
}

QByteArray PtyPair::read(int expected, int timeoutMs) {
  QByteArray out;
  QElapsedTimer t;
  t.start();
  for (;;) {
    const int left = timeoutMs - int(t.elapsed());
    if (left <= 0) break;
    pollfd p{master_, POLLIN, 0};
    const int r = ::poll(&p, 1, left);
    if (r <= 0) break;
    char buf[512];
    const ssize_t n = ::read(master_, buf, sizeof buf);
    if (n <= 0) break;
    out.append(buf, n);
    if (expected > 0 && out.size() >= expected) break;
    if (expected <= 0) t.restart();
  }
  return out;
}

PtyBridge::PtyBridge() {
  if (::pipe(stop_) != 0) return;
  thread_ = std::thread([this] { relay(); });
}

PtyBridge::~PtyBridge() {
  if (thread_.joinable()) {
    const char quit = 0;
    [[maybe_unused]] const auto n = ::write(stop_[1], &quit, 1);
    thread_.join();
  }
  for (int fd : stop_)
    if (fd >= 0) ::close(fd);
}

void PtyBridge::relay() {
  const int ends[2] = {a_.masterFd(), b_.masterFd()};
  for (;;) {
    pollfd p[3] = {{ends[0], POLLIN, 0}, {ends[1], POLLIN, 0}, {stop_[0], POLLIN, 0}};
    if (::poll(p, 3, -1) < 0) continue;
    if (p[2].revents) return;
    for (int i = 0; i < 2; ++i) {
      if (!(p[i].revents & POLLIN)) continue;
      char buf[512];
      const ssize_t n = ::read(ends[i], buf, sizeof buf);
      if (n <= 0) continue;
      ssize_t done = 0;
      while (done < n) {
        const ssize_t w = ::write(ends[1 - i], buf + done, size_t(n - done));
        if (w > 0) done += w;
        else {
          pollfd out{ends[1 - i], POLLOUT, 0};
          ::poll(&out, 1, 10);
        }
      }
    }
  }
}

}  // namespace vantor::test
