#include "PtyBus.h"

#include <QFile>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <utility>

namespace vantor::test {

namespace {

// Terminal speeds as bits per second.
constexpr std::array<std::pair<speed_t, int>, 19> kSpeeds{{
    {B300, 300},         {B600, 600},         {B1200, 1200},       {B2400, 2400},
    {B4800, 4800},       {B9600, 9600},       {B19200, 19200},     {B38400, 38400},
    {B57600, 57600},     {B115200, 115200},   {B230400, 230400},   {B460800, 460800},
    {B500000, 500000},   {B576000, 576000},   {B921600, 921600},   {B1000000, 1000000},
    {B1152000, 1152000}, {B1500000, 1500000}, {B2000000, 2000000},
}};

int baudOf(speed_t speed) {
  for (const auto& [code, baud] : kSpeeds)
    if (code == speed) return baud;
  return 0;
}

// What the program on an end has set, read through the end's master: the kernel shows the
// terminal's attributes on both sides.
struct LineSetting {
  int sendBaud = 0;
  int receiveBaud = 0;
  int stopBits = 1;
};

LineSetting settingOf(int master) {
  termios t{};
  if (tcgetattr(master, &t) != 0) return {};
  const int out = baudOf(cfgetospeed(&t));
  const int in = cfgetispeed(&t) == B0 ? out : baudOf(cfgetispeed(&t));  // B0: as the output
  return {out, in, (t.c_cflag & CSTOPB) ? 2 : 1};
}

}  // namespace

QByteArray resample(const QByteArray& bytes, int fromBaud, int toBaud, int stopBitsFrom) {
  if (fromBaud <= 0 || toBaud <= 0 || fromBaud == toBaud) return bytes;
  // The sent line, one level per sent bit: start, data LSB first, stop(s).
  std::vector<bool> sent;
  sent.reserve(size_t(bytes.size()) * 11);
  for (const char c : bytes) {
    sent.push_back(false);
    for (int b = 0; b < 8; ++b) sent.push_back((std::uint8_t(c) >> b) & 1);
    for (int s = 0; s < (stopBitsFrom > 1 ? 2 : 1); ++s) sent.push_back(true);
  }
  // Time in units of 1 / (2 * fromBaud * toBaud) s: a sent bit lasts 2 * toBaud of them, a
  // received one 2 * fromBaud, so the middle of received bit j after an edge is
  // (2j + 1) * fromBaud later, all in whole numbers. Before and after the bytes the line idles.
  const std::int64_t sentBit = 2LL * toBaud;
  const auto levelAt = [&](std::int64_t t) {
    const auto k = size_t(t / sentBit);
    return k >= sent.size() || sent[k];
  };
  QByteArray out;
  for (std::int64_t hunt = 0;;) {
    // The next falling edge at or after `hunt`: a sent bit at 0 after one at 1 (or idle).
    size_t k = size_t((hunt + sentBit - 1) / sentBit);
    while (k < sent.size() && (sent[k] || (k > 0 && !sent[k - 1]))) ++k;
    if (k >= sent.size()) break;
    const std::int64_t edge = std::int64_t(k) * sentBit;
    const auto middleOf = [&](int bit) { return edge + (2LL * bit + 1) * fromBaud; };
    if (levelAt(middleOf(0))) {  // no longer low in the start bit's middle: a glitch
      hunt = middleOf(0);
      continue;
    }
    std::uint8_t byte = 0;
    for (int b = 0; b < 8; ++b)
      if (levelAt(middleOf(1 + b))) byte |= std::uint8_t(1u << b);
    out.append(char(byte));  // a stop bit at 0 (framing error, or a break) is not held against it
    hunt = middleOf(9);      // hunting again from the middle of the stop bit
  }
  return out;
}

PtyBus::PtyBus(int ends) {
  termios raw{};
  cfmakeraw(&raw);
  cfsetspeed(&raw, B9600);
  valid_ = ends > 0;
  for (int i = 0; i < ends; ++i) {
    auto end = std::make_unique<End>();
    char name[256] = {};
    if (openpty(&end->master, &end->slave, name, &raw, nullptr) != 0) {
      end->master = end->slave = -1;
      valid_ = false;
    } else {
      end->path = QString::fromLocal8Bit(name);
      fcntl(end->master, F_SETFL, fcntl(end->master, F_GETFL) | O_NONBLOCK);
    }
    ends_.push_back(std::move(end));
  }
  wake_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  valid_ = valid_ && wake_ >= 0;
}

PtyBus::~PtyBus() {
  stop();
  for (const auto& end : ends_) {
    if (end->master >= 0) ::close(end->master);
    if (end->slave >= 0) ::close(end->slave);
  }
  if (wake_ >= 0) ::close(wake_);
}

QString PtyBus::path(int end) const {
  return end >= 0 && end < size() ? ends_[size_t(end)]->path : QString();
}

void PtyBus::setEcho(int end, bool on) {
  if (end >= 0 && end < size()) ends_[size_t(end)]->echo = on;
}

bool PtyBus::start() {
  if (!valid_) return false;
  if (!isRunning()) thread_ = std::thread([this] { relay(); });
  return true;
}

void PtyBus::stop() {
  if (!isRunning()) return;
  const std::uint64_t one = 1;
  while (::write(wake_, &one, sizeof one) < 0 && errno == EINTR) {
  }
  thread_.join();
  std::uint64_t drained = 0;
  while (::read(wake_, &drained, sizeof drained) < 0 && errno == EINTR) {
  }
}

void PtyBus::relay() {
  std::vector<pollfd> fds;
  for (const auto& end : ends_) fds.push_back({end->master, POLLIN, 0});
  fds.push_back({wake_, POLLIN, 0});
  char buf[4096];
  for (;;) {
    if (::poll(fds.data(), fds.size(), -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds.back().revents != 0) return;
    for (size_t i = 0; i + 1 < fds.size(); ++i) {
      if (fds[i].revents & POLLIN) {
        const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
        if (n > 0) pass(int(i), QByteArray(buf, qsizetype(n)));
      } else if (fds[i].revents != 0) {
        fds[i].fd = -1;  // a master gone bad: leave it be rather than spin on it
      }
    }
  }
}

void PtyBus::pass(int from, const QByteArray& bytes) {
  const LineSetting writer = settingOf(ends_[size_t(from)]->master);
  for (int to = 0; to < size(); ++to) {
    const End& end = *ends_[size_t(to)];
    if (to == from && !end.echo) continue;
    const QByteArray heard =
        resample(bytes, writer.sendBaud, settingOf(end.master).receiveBaud, writer.stopBits);
    // Never block the line for one end: what its input queue cannot take is lost.
    for (qsizetype done = 0; done < heard.size();) {
      const ssize_t n = ::write(end.master, heard.constData() + done, size_t(heard.size() - done));
      if (n > 0) {
        done += n;
      } else if (n < 0 && errno == EINTR) {
        continue;
      } else {
        break;
      }
    }
  }
}

int openEnd(const QString& path, unsigned baud) {
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY);
  if (fd < 0) return -1;
  termios t{};
  if (::tcgetattr(fd, &t) == 0) {
    ::cfmakeraw(&t);
    ::cfsetispeed(&t, speed_t(baud));
    ::cfsetospeed(&t, speed_t(baud));
    if (::tcsetattr(fd, TCSANOW, &t) == 0) return fd;
  }
  ::close(fd);
  return -1;
}

}  // namespace vantor::test
