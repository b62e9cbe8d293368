#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>

namespace vantor {

// A port thread's own access to an open device: it waits on nothing but the device, a
// wake-up and its own deadline, and reads and writes without any event loop in between. One
// implementation per platform; the port object that opened the device keeps owning it.
class LineIo {
 public:
  LineIo();
  ~LineIo();
  LineIo(const LineIo&) = delete;
  LineIo& operator=(const LineIo&) = delete;

  // Why the wake-up could not be set up; empty when it could.
  QString error() const { return error_; }
  // The open device's descriptor (or handle) to serve.
  void setHandle(qintptr handle) { handle_ = handle; }

  struct Woken {
    bool input = false;     // bytes wait to be read
    bool writable = false;  // the driver has room again
    bool lost = false;      // the device went away (hung up, unplugged)
  };
  // Waits until one of those, a wake(), or `timeout` (none: no limit).
  Woken wait(std::optional<std::chrono::nanoseconds> timeout, bool wantWritable);
  // Ends a wait() early; from any thread.
  void wake();

  // Everything waiting, without waiting; empty with `error` set when the device failed.
  QByteArray read(QString* error);
  // Hands as much of `bytes` to the driver as it takes now: how much, or -1 with `error`.
  qint64 write(QByteArrayView bytes, QString* error);

 private:
  qintptr handle_ = -1;
#ifdef Q_OS_WIN
  // The wake-up event, and the waits and writes still under way on the device.
  struct Pending;
  std::unique_ptr<Pending> pending_;
#else
  int wakeRead_ = -1;
  int wakeWrite_ = -1;
#endif
  QString error_;
};

// Waits at most `limit` for what was handed to the driver of the open device `handle` to
// leave the line; false when it did not.
bool drainOutput(qintptr handle, std::chrono::milliseconds limit);

}  // namespace vantor
