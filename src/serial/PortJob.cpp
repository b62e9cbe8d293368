#include "serial/PortJob.h"

#include "serial/SerialPort.h"

#include <chrono>

namespace vantor {

namespace {

using namespace std::chrono_literals;

// What was written gets this long to leave the line when a job stops.
constexpr auto kDrainLimit = 250ms;

}  // namespace

qint64 monotonicNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

JobLine::JobLine(LineIo& io, qintptr handle, const LineSettings& settings,
                 const std::atomic<bool>& stop, QString describe, Publish publish)
    : io_(io),
      handle_(handle),
      settings_(settings),
      stop_(stop),
      describe_(std::move(describe)),
      publish_(std::move(publish)) {}

JobLine::Turn JobLine::wait(std::optional<qint64> dueNs) {
  std::optional<std::chrono::nanoseconds> timeout;
  if (dueNs) timeout = std::chrono::nanoseconds(std::max<qint64>(*dueNs - monotonicNs(), 0));
  const LineIo::Woken woken = io_.wait(timeout, !unsent_.isEmpty());
  Turn turn;
  // The time the bytes were read: taken as the thread wakes, before anything else.
  turn.readNs = monotonicNs();
  QString readError;
  if (woken.input) {
    turn.bytes = io_.read(&readError);
    turn.input = true;
    qCDebug(lcSerial) << "in:" << turn.bytes.toHex(' ');
  }
  turn.lost = woken.lost || !readError.isEmpty();
  if (woken.writable && !unsent_.isEmpty()) flushUnsent();
  return turn;
}

qsizetype JobLine::write(const QByteArray& bytes, QString* error) {
  if (bytes.isEmpty()) return 0;
  if (!unsent_.isEmpty()) {
    unsent_ += bytes;
    return bytes.size();
  }
  const qint64 n = io_.write(bytes, error);
  if (n < 0) return 0;
  // What the driver had no room for yet goes out as soon as it has.
  if (n < bytes.size()) unsent_ = bytes.sliced(n);
  return bytes.size();
}

void JobLine::flushUnsent() {
  QString error;
  const qint64 n = io_.write(unsent_, &error);
  unsent_ = n < 0 ? QByteArray() : unsent_.sliced(n);
}

void JobLine::post(TrafficEvent event) {
  ServeEvent e;
  e.traffic = std::move(event);
  events_.push_back(std::move(e));
}

void JobLine::publish() {
  if (events_.empty()) return;
  publish_(events_);
  events_.clear();
}

void JobLine::lose() {
  ServeEvent closed;
  closed.type = ServeEvent::Type::Closed;
  closed.reason =
      QStringLiteral("%1 was lost: the device is no longer there (unplugged or switched off?)")
          .arg(describe_);
  events_.push_back(std::move(closed));
  publish();
}

void JobLine::drain() {
  const qint64 deadline = monotonicNs() + std::chrono::nanoseconds(kDrainLimit).count();
  while (!unsent_.isEmpty() && monotonicNs() < deadline) {
    flushUnsent();
    if (!unsent_.isEmpty()) io_.wait(10ms, true);
  }
  drainOutput(handle_, kDrainLimit);
}

}  // namespace vantor
