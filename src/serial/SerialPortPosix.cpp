// The serial port on Linux and other POSIX systems: a terminal device through QSerialPort, with
// an advisory lock besides its lock file.
#include "serial/SerialPort.h"

#include "serial/LineIo.h"

#include <QElapsedTimer>
#include <QMetaObject>

#include <algorithm>

#include <sys/file.h>
#include <termios.h>

namespace vantor {

namespace {

int baudOfSpeed(speed_t speed) {
  switch (speed) {
    case B1200:
      return 1200;
    case B2400:
      return 2400;
    case B4800:
      return 4800;
    case B9600:
      return 9600;
    case B19200:
      return 19200;
    case B38400:
      return 38400;
    case B57600:
      return 57600;
    case B115200:
      return 115200;
    default:
      return 0;
  }
}

}  // namespace

LineSettings lineSettingsOf(const termios& t) {
  LineSettings line;
  line.baud = baudOfSpeed(cfgetospeed(&t));
  line.parity = (t.c_cflag & PARENB) && !(t.c_cflag & PARODD) ? Parity::Even : Parity::None;
  const tcflag_t size = t.c_cflag & CSIZE;
  line.dataBits = size == CS5 ? 5 : size == CS6 ? 6 : size == CS7 ? 7 : 8;
  line.stopBits = (t.c_cflag & CSTOPB) ? 2 : 1;
  return line;
}

SerialPort::SerialPort(DeviceResolver resolver, QObject* parent)
    : QObject(parent), resolver_(std::move(resolver)) {
  connect(&port_, &QSerialPort::errorOccurred, this, &SerialPort::onError);
}

QString SerialPort::openDevice() {
  const PortSettings settings = portSettingsOf(*line_);
  port_.setPortName(device_);
  port_.setBaudRate(settings.baud);
  port_.setDataBits(QSerialPort::DataBits(settings.dataBits));
  port_.setParity(QSerialPort::Parity(settings.parity));
  port_.setStopBits(QSerialPort::StopBits(settings.stopBits));
  port_.setFlowControl(QSerialPort::NoFlowControl);
  if (!port_.open(QIODevice::ReadWrite)) {
    // The lock file of another opener shows up as a permission problem; say what it is.
    const bool locked = port_.error() == QSerialPort::PermissionError &&
                        port_.errorString().contains(QLatin1String("lock"), Qt::CaseInsensitive);
    const QString why = locked ? inUseText() : port_.errorString();
    port_.clearError();
    return why;
  }
  // Lock files only keep out programs that honour them, and root passes the terminal's
  // exclusive mode; an advisory lock on the descriptor covers the rest.
  if (::flock(int(port_.handle()), LOCK_EX | LOCK_NB) != 0) {
    port_.close();
    port_.clearError();
    return inUseText();
  }
  // The driver may quietly keep a setting it cannot do (some pseudo-terminals have no
  // parity); read back what it runs at rather than trust what was asked.
  termios attributes{};
  if (::tcgetattr(int(port_.handle()), &attributes) == 0) actual_ = lineSettingsOf(attributes);
  port_.clearError();
  port_.clear(QSerialPort::Input);
  return {};
}

PortSettings SerialPort::applied() const {
  return {port_.baudRate(), PortSettings::DataBits(port_.dataBits()),
          PortSettings::Parity(port_.parity()), PortSettings::StopBits(port_.stopBits())};
}

void SerialPort::close() {
  if (!port_.isOpen()) return;
  closing_ = true;
  if (port_.bytesToWrite() > 0) port_.waitForBytesWritten(kDrainTimeoutMs);
  drainOutput(port_.handle(), std::chrono::milliseconds(kDrainTimeoutMs));
  port_.close();
  port_.clearError();
  qCDebug(lcSerial) << "closed" << device_;
}

WriteResult SerialPort::hand(const QByteArray& bytes, bool drain) {
  WriteResult result{0, bytes.size(), {}};
  if (!port_.isOpen()) {
    result.error = notOpenText();
    return result;
  }
  if (bytes.isEmpty()) return result;
  writeError_.clear();
  const qint64 accepted = port_.write(bytes);
  if (accepted < 0) {
    result.error = port_.errorString();
    return result;
  }
  port_.flush();
  // One time limit for all of the drain, and the message gives the time really waited.
  QElapsedTimer waited;
  waited.start();
  const auto left = [&] { return std::max<qint64>(0, kDrainTimeoutMs - waited.elapsed()); };
  bool drained = !drain;
  if (drain) {
    while (port_.isOpen() && port_.bytesToWrite() > 0 && left() > 0)
      port_.waitForBytesWritten(int(left()));
    drained = port_.isOpen() && port_.bytesToWrite() == 0 &&
              drainOutput(port_.handle(), std::chrono::milliseconds(left()));
  }
  const qint64 pending = port_.isOpen() ? port_.bytesToWrite() : accepted;
  result.written = accepted - pending;
  if (!writeError_.isEmpty()) result.error = writeError_;
  if (result.error.isEmpty() && !drained) result.error = tookNoMoreText(waited.elapsed());
  qCDebug(lcSerial) << "out:" << bytes.first(result.written).toHex(' ')
                    << (result.ok() ? "" : qPrintable(result.error));
  return result;
}

void SerialPort::onError(QSerialPort::SerialPortError error) {
  QString what;
  switch (error) {
    case QSerialPort::ReadError:
      what = tr("reading from the device failed");
      break;
    case QSerialPort::WriteError:
      what = writeFailedText();
      break;
    case QSerialPort::ResourceError:
      what = goneText();
      break;
    default:
      // Modem-line calls are not supported on every device (pseudo-terminals among them);
      // that is no reason to drop the line.
      return;
  }
  // Said in our own words: the port's error text (and errno) can be left over from an
  // earlier call that failed harmlessly, such as a modem-line query on a pseudo-terminal.
  if (error == QSerialPort::WriteError) writeError_ = what;
  if (closing_ || !port_.isOpen()) return;
  closing_ = true;
  const QString reason = lostText(what);
  qCDebug(lcSerial) << "lost:" << reason;
  // The port reports this from inside its own notifier; close it once that has returned.
  QMetaObject::invokeMethod(
      this,
      [this, reason] {
        if (!port_.isOpen()) return;
        port_.close();
        port_.clearError();
        emit lost(reason);
      },
      Qt::QueuedConnection);
}

}  // namespace vantor
