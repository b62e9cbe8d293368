#include "PtyPair.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QElapsedTimer>

namespace vantor::test {

PtyPair::PtyPair() {
  char name[256] = {};
  termios raw{};
  cfmakeraw(&raw);
  if (openpty(&master_, &slave_, name, &raw, nullptr) != 0) {
    master_ = slave_ = -1;
    return;
  }
  path_ = QString::fromLocal8Bit(name);
  // Our own slave descriptor only keeps the line alive until the program opens it; closing it
  // now lets the far end see the program's close as a hang-up, as a real line would.
  ::close(slave_);
  slave_ = -1;
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtyPair::~PtyPair() { closeMaster(); }

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

}  // namespace vantor::test
