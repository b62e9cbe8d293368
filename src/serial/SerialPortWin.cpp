// The serial port on Windows: a COM device opened for overlapped use, so that a serving thread
// can wait on it and on a wake-up at once (see LineIoWin.cpp).
#include "serial/SerialPort.h"

#include "core/io/SystemError.h"
#include "serial/LineIo.h"

#include <QElapsedTimer>
#include <QMetaObject>
#include <QRegularExpression>

#include <algorithm>
#include <string>

#include <windows.h>

namespace vantor {

namespace {

HANDLE nativeHandle(qintptr handle) {
  return reinterpret_cast<HANDLE>(handle);
}

// What CreateFileW is given for `device`: "COM12" as "\\.\COM12" (the only form that reaches
// ports from 10 on, and good for all), anything else as it is.
std::wstring deviceFileName(const QString& device) {
  static const QRegularExpression comPort(QStringLiteral("^COM\\d+$"),
                                          QRegularExpression::CaseInsensitiveOption);
  const QString name =
      comPort.match(device).hasMatch() ? QStringLiteral("\\\\.\\") + device : device;
  return name.toStdWString();
}

// Errors that say the device itself is gone rather than that one transfer failed.
bool deviceGone(DWORD error) {
  switch (error) {
    case ERROR_OPERATION_ABORTED:
    case ERROR_BAD_COMMAND:
    case ERROR_DEVICE_REMOVED:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_GEN_FAILURE:
    case ERROR_ACCESS_DENIED:
    case ERROR_INVALID_HANDLE:
    case ERROR_NOT_READY:
      return true;
    default:
      return false;
  }
}

}  // namespace

SerialPort::SerialPort(DeviceResolver resolver, QObject* parent)
    : QObject(parent), resolver_(std::move(resolver)) {}

QString SerialPort::openDevice() {
  const PortSettings settings = portSettingsOf(*line_);
  // Not shared: a second opener, here or in another program, is refused.
  HANDLE port = ::CreateFileW(deviceFileName(device_).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                              nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (port == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) return inUseText();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
      return tr("there is no such port on this computer.");
    return windowsError(error);
  }
  const auto failWith = [port](DWORD error) {
    ::CloseHandle(port);
    return windowsError(error);
  };
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!::GetCommState(port, &dcb)) return failWith(::GetLastError());
  dcb.BaudRate = DWORD(settings.baud);
  dcb.ByteSize = BYTE(settings.dataBits);
  dcb.Parity = settings.parity == PortSettings::EvenParity ? EVENPARITY : NOPARITY;
  dcb.StopBits = settings.stopBits == PortSettings::TwoStop ? TWOSTOPBITS : ONESTOPBIT;
  dcb.fBinary = TRUE;
  dcb.fParity = settings.parity == PortSettings::EvenParity;
  // No flow control of any kind, and a line error never stops the reads.
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fErrorChar = FALSE;
  dcb.fNull = FALSE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  dcb.fAbortOnError = FALSE;
  if (!::SetCommState(port, &dcb)) return failWith(::GetLastError());
  // A read hands back what is there at once, never waiting for more (see LineIoWin.cpp for
  // how a serving thread waits).
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = MAXDWORD;
  if (!::SetCommTimeouts(port, &timeouts)) return failWith(::GetLastError());
  ::PurgeComm(port, PURGE_RXCLEAR | PURGE_TXCLEAR | PURGE_RXABORT | PURGE_TXABORT);

  // The driver may quietly keep a setting it cannot do; read back what it runs at rather than
  // trust what was asked.
  DCB now{};
  now.DCBlength = sizeof now;
  if (::GetCommState(port, &now)) {
    LineSettings actual;
    actual.baud = int(now.BaudRate);
    actual.dataBits = now.ByteSize;
    actual.parity = now.Parity == EVENPARITY ? Parity::Even : Parity::None;
    actual.stopBits = now.StopBits == TWOSTOPBITS ? 2 : 1;
    actual_ = actual;
  }
  applied_ = settings;
  handle_ = reinterpret_cast<qintptr>(port);
  return {};
}

PortSettings SerialPort::applied() const {
  return applied_;
}

void SerialPort::close() {
  if (!isOpen()) return;
  closing_ = true;
  drainOutput(handle_, std::chrono::milliseconds(kDrainTimeoutMs));
  // Whatever a serving thread still has pending on the device ends with the handle.
  ::CancelIoEx(nativeHandle(handle_), nullptr);
  ::CloseHandle(nativeHandle(handle_));
  handle_ = -1;
  qCDebug(lcSerial) << "closed" << device_;
}

WriteResult SerialPort::hand(const QByteArray& bytes, bool drain) {
  WriteResult result{0, bytes.size(), {}};
  if (!isOpen()) {
    result.error = notOpenText();
    return result;
  }
  if (bytes.isEmpty()) return result;
  writeError_.clear();
  // One time limit for all of the write and the drain, and the message gives the time really
  // waited.
  QElapsedTimer waited;
  waited.start();
  const auto left = [&] { return std::max<qint64>(0, kDrainTimeoutMs - waited.elapsed()); };
  OVERLAPPED overlapped{};
  overlapped.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  DWORD error = 0;
  DWORD written = 0;
  if (!::WriteFile(nativeHandle(handle_), bytes.constData(), DWORD(bytes.size()), nullptr,
                   &overlapped))
    error = ::GetLastError();
  if (error == ERROR_IO_PENDING) {
    error = 0;
    if (::WaitForSingleObject(overlapped.hEvent, DWORD(left())) != WAIT_OBJECT_0)
      ::CancelIoEx(nativeHandle(handle_), &overlapped);
  }
  // Waits for the write's end (at once, after a cancel): `overlapped` must outlive it.
  if (!::GetOverlappedResult(nativeHandle(handle_), &overlapped, &written, TRUE) && !error)
    error = ::GetLastError();
  ::CloseHandle(overlapped.hEvent);
  result.written = qint64(written);
  bool drained = !drain;
  if (!error && drain) drained = drainOutput(handle_, std::chrono::milliseconds(left()));
  if (error && error != ERROR_OPERATION_ABORTED) {
    result.error = writeFailedText();
    if (deviceGone(error)) loseDevice(goneText());
  }
  if (result.error.isEmpty() && (result.written < bytes.size() || !drained))
    result.error = tookNoMoreText(waited.elapsed());
  qCDebug(lcSerial) << "out:" << bytes.first(result.written).toHex(' ')
                    << (result.ok() ? "" : qPrintable(result.error));
  return result;
}

void SerialPort::loseDevice(const QString& what) {
  if (closing_ || !isOpen()) return;
  closing_ = true;
  const QString reason = lostText(what);
  qCDebug(lcSerial) << "lost:" << reason;
  ::CloseHandle(nativeHandle(handle_));
  handle_ = -1;
  QMetaObject::invokeMethod(
      this, [this, reason] { emit lost(reason); }, Qt::QueuedConnection);
}

}  // namespace vantor
