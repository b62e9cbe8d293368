// The serving thread's access to a COM device on Windows. The device is opened for overlapped
// use with reads that return at once (SerialPort::openDevice); waiting is done on a pending
// WaitCommEvent, the wake-up event and a pending write, all in one WaitForMultipleObjects.
#include "serial/LineIo.h"

#include "core/io/SystemError.h"
#include "serial/SerialPort.h"

#include <QElapsedTimer>

#include <thread>

#include <windows.h>

namespace vantor {

namespace {

HANDLE nativeHandle(qintptr handle) {
  return reinterpret_cast<HANDLE>(handle);
}

// How many bytes wait to be read, clearing any line error (parity, framing, overrun) on the
// way; nothing when the device no longer answers.
std::optional<DWORD> bytesWaiting(HANDLE port) {
  DWORD errors = 0;
  COMSTAT status{};
  if (!::ClearCommError(port, &errors, &status)) return std::nullopt;
  return status.cbInQue;
}

}  // namespace

struct LineIo::Pending {
  HANDLE wake = nullptr;
  // The WaitCommEvent under way, if any.
  OVERLAPPED event{};
  DWORD mask = 0;
  bool waiting = false;
  bool maskSet = false;
  // The write under way, if any, and the bytes it writes from.
  OVERLAPPED write{};
  QByteArray writing;
  bool writingPending = false;
  OVERLAPPED read{};
};

LineIo::LineIo() : pending_(std::make_unique<Pending>()) {
  Pending& p = *pending_;
  p.wake = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
  p.event.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  p.write.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  p.read.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!p.wake || !p.event.hEvent || !p.write.hEvent || !p.read.hEvent)
    error_ = windowsError(::GetLastError());
}

LineIo::~LineIo() {
  Pending& p = *pending_;
  // The system writes into the OVERLAPPED of a wait or write until it ends: cancelled here (or
  // ended by the port's closing), it ends at once.
  for (auto [pending, overlapped] : {std::pair{p.waiting, &p.event}, {p.writingPending, &p.write}}) {
    if (!pending) continue;
    if (handle_ != -1) ::CancelIoEx(nativeHandle(handle_), overlapped);
    ::WaitForSingleObject(overlapped->hEvent, 1000);
  }
  for (HANDLE event : {p.wake, p.event.hEvent, p.write.hEvent, p.read.hEvent})
    if (event) ::CloseHandle(event);
}

LineIo::Woken LineIo::wait(std::optional<std::chrono::nanoseconds> timeout, bool wantWritable) {
  Pending& p = *pending_;
  const HANDLE port = nativeHandle(handle_);
  Woken woken;
  DWORD transferred = 0;
  if (p.writingPending && ::GetOverlappedResult(port, &p.write, &transferred, FALSE))
    p.writingPending = false;
  woken.writable = !p.writingPending;

  const auto waiting = bytesWaiting(port);
  if (!waiting) {
    woken.lost = true;
    return woken;
  }
  woken.input = *waiting > 0;
  if (woken.input || (wantWritable && woken.writable)) return woken;

  if (!p.maskSet) {
    if (!::SetCommMask(port, EV_RXCHAR | EV_ERR)) {
      woken.lost = true;
      return woken;
    }
    p.maskSet = true;
  }
  if (!p.waiting) {
    ::ResetEvent(p.event.hEvent);
    p.mask = 0;
    if (!::WaitCommEvent(port, &p.mask, &p.event)) {
      if (::GetLastError() != ERROR_IO_PENDING) {
        woken.lost = true;
        return woken;
      }
      p.waiting = true;
    }
  }

  HANDLE events[3] = {p.wake, p.event.hEvent, p.write.hEvent};
  const DWORD count = wantWritable && p.writingPending ? 3 : 2;
  DWORD limit = INFINITE;
  if (timeout) {
    // Rounded up: waking a little early would only spin.
    const qint64 ns = std::max<qint64>(timeout->count(), 0);
    limit = DWORD(std::min<qint64>((ns + 999'999) / 1'000'000, INFINITE - 1));
  }
  if (p.waiting) ::WaitForMultipleObjects(count, events, FALSE, limit);

  if (p.waiting && ::WaitForSingleObject(p.event.hEvent, 0) == WAIT_OBJECT_0) {
    p.waiting = false;
    if (!::GetOverlappedResult(port, &p.event, &transferred, FALSE)) {
      // The wait ended without an event: the device went away (or the port was closed).
      woken.lost = true;
      return woken;
    }
  }
  if (p.writingPending && ::GetOverlappedResult(port, &p.write, &transferred, FALSE))
    p.writingPending = false;
  woken.writable = !p.writingPending;
  const auto now = bytesWaiting(port);
  woken.lost = !now;
  woken.input = now && *now > 0;
  return woken;
}

void LineIo::wake() {
  ::SetEvent(pending_->wake);
}

QByteArray LineIo::read(QString* error) {
  Pending& p = *pending_;
  const HANDLE port = nativeHandle(handle_);
  QByteArray bytes;
  char buffer[512];
  for (;;) {
    ::ResetEvent(p.read.hEvent);
    DWORD n = 0;
    if ((!::ReadFile(port, buffer, sizeof buffer, nullptr, &p.read) &&
         ::GetLastError() != ERROR_IO_PENDING) ||
        !::GetOverlappedResult(port, &p.read, &n, TRUE)) {
      if (error) *error = windowsError(::GetLastError());
      return bytes;
    }
    bytes.append(buffer, qsizetype(n));
    if (n < sizeof buffer) return bytes;
  }
}

qint64 LineIo::write(QByteArrayView bytes, QString* error) {
  Pending& p = *pending_;
  const HANDLE port = nativeHandle(handle_);
  DWORD n = 0;
  if (p.writingPending) {
    if (!::GetOverlappedResult(port, &p.write, &n, FALSE)) {
      if (::GetLastError() == ERROR_IO_INCOMPLETE) return 0;  // no room before that one is done
      p.writingPending = false;
      if (error) *error = windowsError(::GetLastError());
      return -1;
    }
    p.writingPending = false;
  }
  if (bytes.isEmpty()) return 0;
  p.writing = bytes.toByteArray();
  ::ResetEvent(p.write.hEvent);
  if (::WriteFile(port, p.writing.constData(), DWORD(p.writing.size()), nullptr, &p.write)) {
    if (::GetOverlappedResult(port, &p.write, &n, TRUE)) return qint64(n);
  } else if (::GetLastError() == ERROR_IO_PENDING) {
    // The driver has the bytes and sends them on its own; the next write waits for that.
    p.writingPending = true;
    return bytes.size();
  }
  if (error) *error = windowsError(::GetLastError());
  return -1;
}

bool drainOutput(qintptr handle, std::chrono::milliseconds limit) {
  // The output queue is asked a little at a time, so that a line that takes nothing cannot
  // hold anyone up for longer than the limit.
  QElapsedTimer waited;
  waited.start();
  for (;;) {
    DWORD errors = 0;
    COMSTAT status{};
    if (!::ClearCommError(nativeHandle(handle), &errors, &status) || status.cbOutQue == 0) {
      qCDebug(lcSerial) << "drained";
      return true;
    }
    if (waited.elapsed() >= limit.count()) {
      qCDebug(lcSerial) << "drain gave up with" << status.cbOutQue << "bytes queued";
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

}  // namespace vantor
