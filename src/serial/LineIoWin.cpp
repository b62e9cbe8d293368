// The serving thread's access to a COM device on Windows. The device is opened for overlapped
// use with reads that hand back what is there without waiting for more (SerialPort::
// openDevice). With nothing there, drivers differ: Windows' own ends such a read at once,
// empty, and a pending WaitCommEvent(EV_RXCHAR) says when bytes come; others (Wine's, on a
// pseudo-terminal) keep the read under way until the first byte comes and never raise
// EV_RXCHAR. So a wait waits on whichever of the two is under way, with the wake-up event and
// a write under way, in one WaitForMultipleObjects; what a read brought is handed out by the
// next read().
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

}  // namespace

struct LineIo::Pending {
  HANDLE wake = nullptr;
  // The read under way, if any, its buffer, and what reads brought that is not handed out yet.
  OVERLAPPED read{};
  char buffer[512];
  bool reading = false;
  QByteArray received;
  // The write under way, if any, and the bytes it writes from.
  OVERLAPPED write{};
  QByteArray writing;
  bool writingPending = false;
  // The WaitCommEvent under way, if any.
  OVERLAPPED event{};
  DWORD mask = 0;
  bool waiting = false;
  bool maskSet = false;

  // Starts a WaitCommEvent unless one is under way; false with the system's error code when
  // the device refuses. `signalled` says when it ended at once.
  bool startEventWait(HANDLE port, DWORD* error) {
    if (!maskSet) {
      if (!::SetCommMask(port, EV_RXCHAR | EV_ERR)) {
        *error = ::GetLastError();
        return false;
      }
      maskSet = true;
    }
    if (waiting) return true;
    ::ResetEvent(event.hEvent);
    mask = 0;
    if (::WaitCommEvent(port, &mask, &event)) {
      ::SetEvent(event.hEvent);  // ended at once: seen as ended below
    } else if (::GetLastError() != ERROR_IO_PENDING) {
      *error = ::GetLastError();
      return false;
    }
    waiting = true;
    return true;
  }

  // Takes the end of the WaitCommEvent under way, if it has ended; false when it failed, which
  // a device that went away makes it do.
  bool finishEventWait(HANDLE port, DWORD* error) {
    if (!waiting || ::WaitForSingleObject(event.hEvent, 0) != WAIT_OBJECT_0) return true;
    waiting = false;
    DWORD n = 0;
    if (!::GetOverlappedResult(port, &event, &n, FALSE)) {
      *error = ::GetLastError();
      return false;
    }
    if (mask & EV_ERR) {
      // A parity, framing or overrun error: cleared, so that reading goes on.
      DWORD errors = 0;
      ::ClearCommError(port, &errors, nullptr);
    }
    return true;
  }

  // Starts a read unless one is under way: what it brings at once goes to `received`. False,
  // with the system's error code, when the device refuses to be read.
  bool startRead(HANDLE port, DWORD* error) {
    for (int turn = 0; turn < 64 && !reading; ++turn) {
      ::ResetEvent(read.hEvent);
      if (!::ReadFile(port, buffer, sizeof buffer, nullptr, &read)) {
        if (::GetLastError() != ERROR_IO_PENDING) {
          *error = ::GetLastError();
          return false;
        }
        reading = true;
        return true;
      }
      DWORD n = 0;
      if (!::GetOverlappedResult(port, &read, &n, FALSE)) {
        *error = ::GetLastError();
        return false;
      }
      received.append(buffer, qsizetype(n));
      if (n < sizeof buffer) return true;  // all there was: the next read waits
    }
    return true;
  }

  // Takes the end of the read under way, if it has ended. False, with the system's error code,
  // when it failed.
  bool finishRead(HANDLE port, DWORD* error) {
    if (!reading || ::WaitForSingleObject(read.hEvent, 0) != WAIT_OBJECT_0) return true;
    reading = false;
    DWORD n = 0;
    if (!::GetOverlappedResult(port, &read, &n, FALSE)) {
      *error = ::GetLastError();
      return false;
    }
    received.append(buffer, qsizetype(n));
    return true;
  }

  void finishWrite(HANDLE port) {
    DWORD n = 0;
    if (writingPending && ::GetOverlappedResult(port, &write, &n, FALSE)) writingPending = false;
  }
};

LineIo::LineIo() : pending_(std::make_unique<Pending>()) {
  Pending& p = *pending_;
  p.wake = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
  p.read.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  p.write.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  p.event.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!p.wake || !p.read.hEvent || !p.write.hEvent || !p.event.hEvent)
    error_ = windowsError(::GetLastError());
}

LineIo::~LineIo() {
  Pending& p = *pending_;
  // The system writes into the OVERLAPPED of a read or write until it ends: cancelled here (or
  // ended by the port's closing), it ends at once.
  for (auto [pending, overlapped] : {std::pair{p.reading, &p.read},
                                     {p.writingPending, &p.write},
                                     {p.waiting, &p.event}}) {
    if (!pending) continue;
    if (handle_ != -1) ::CancelIoEx(nativeHandle(handle_), overlapped);
    ::WaitForSingleObject(overlapped->hEvent, 1000);
  }
  for (HANDLE event : {p.wake, p.read.hEvent, p.write.hEvent, p.event.hEvent})
    if (event) ::CloseHandle(event);
}

LineIo::Woken LineIo::wait(std::optional<std::chrono::nanoseconds> timeout, bool wantWritable) {
  Pending& p = *pending_;
  const HANDLE port = nativeHandle(handle_);
  Woken woken;
  DWORD error = 0;
  // Whatever ended since, and whatever is there now.
  const auto look = [&] {
    p.finishWrite(port);
    woken.writable = !p.writingPending;
    if (!p.finishEventWait(port, &error) || !p.finishRead(port, &error) ||
        !p.startRead(port, &error))
      woken.lost = true;
    woken.input = !p.received.isEmpty();
  };
  look();
  if (woken.lost || woken.input || (wantWritable && woken.writable)) return woken;
  // Nothing there: the read under way waits for bytes, or else the event does.
  if (!p.reading && !p.startEventWait(port, &error)) {
    woken.lost = true;
    return woken;
  }

  HANDLE events[3] = {p.wake, p.reading ? p.read.hEvent : p.event.hEvent, p.write.hEvent};
  const DWORD count = wantWritable && p.writingPending ? 3 : 2;
  DWORD limit = INFINITE;
  if (timeout) {
    // Rounded up: waking a little early would only spin.
    const qint64 ns = std::max<qint64>(timeout->count(), 0);
    limit = DWORD(std::min<qint64>((ns + 999'999) / 1'000'000, INFINITE - 1));
  }
  ::WaitForMultipleObjects(count, events, FALSE, limit);
  look();
  return woken;
}

void LineIo::wake() {
  ::SetEvent(pending_->wake);
}

QByteArray LineIo::read(QString* error) {
  Pending& p = *pending_;
  const HANDLE port = nativeHandle(handle_);
  DWORD failure = 0;
  // What the read under way brought, then whatever else is there already; a read that has to
  // wait stays under way for the next wait().
  if (p.finishRead(port, &failure)) p.startRead(port, &failure);
  if (failure && error) *error = windowsError(failure);
  return std::exchange(p.received, QByteArray());
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
