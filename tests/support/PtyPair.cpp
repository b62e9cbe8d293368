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
    if (n > 0) done += n;
    pollfd p{master_, POLLOUT, 0};
    if (n <= 0) ::poll(&p, 1, 10);
  }
  return done == bytes.size();
}

QByteArray PtyPair::read(int expected, int timeoutMs) {
  QByteArray out;
  QElapsedTimer t;
  t.start();
  for (int left = timeoutMs; left > 0; left = timeoutMs - int(t.elapsed())) {
    pollfd p{master_, POLLIN, 0};
    char buf[512];
    const ssize_t n = ::poll(&p, 1, left) > 0 ? ::read(master_, buf, sizeof buf) : 0;
    if (n <= 0) break;
    out.append(buf, n);
    if (expected > 0 && out.size() >= expected) break;
    if (expected <= 0) t.restart();
  }
  return out;
}

}  // namespace vantor::test
