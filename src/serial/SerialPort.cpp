#include "serial/SerialPort.h"

#include "serial/LineIo.h"

#include <QElapsedTimer>
#include <QMetaObject>

#include <algorithm>
#include <cerrno>
#include <cstring>

#ifndef Q_OS_WIN
#include <sys/file.h>
#include <termios.h>
#endif

namespace vantor {

Q_LOGGING_CATEGORY(lcSerial, "vantor.serial", QtWarningMsg)

#ifndef Q_OS_WIN
namespace {

constexpr int kDrainTimeoutMs = 2000;

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
#endif

PortSettings portSettingsOf(const LineSettings& line) {
  PortSettings p;
  p.baud = line.baud;
  p.dataBits = line.dataBits == 7 ? PortSettings::Data7 : PortSettings::Data8;
  p.parity = line.parity == Parity::Even ? PortSettings::EvenParity : PortSettings::NoParity;
  p.stopBits = line.stopBits == 2 ? PortSettings::TwoStop : PortSettings::OneStop;
  return p;
}

#ifndef Q_OS_WIN
LineSettings lineSettingsOf(const termios& t) {
  LineSettings line;
  line.baud = baudOfSpeed(cfgetospeed(&t));
  line.parity = (t.c_cflag & PARENB) && !(t.c_cflag & PARODD) ? Parity::Even : Parity::None;
  const tcflag_t size = t.c_cflag & CSIZE;
  line.dataBits = size == CS5 ? 5 : size == CS6 ? 6 : size == CS7 ? 7 : 8;
  line.stopBits = (t.c_cflag & CSTOPB) ? 2 : 1;
  return line;
}
#endif

QString WriteResult::message() const {
  if (ok()) return {};
  if (written <= 0) return QStringLiteral("Nothing was sent: %1").arg(error);
  return QStringLiteral("Only %1 of %2 bytes were sent: %3").arg(written).arg(total).arg(error);
}

SerialPort::~SerialPort() {
  close();
}

QString SerialPort::describe() const {
  if (devicePath_) return *devicePath_;
  return device_.isEmpty() ? tr("Port %1").arg(commPort_)
                           : tr("Port %1 (%2)").arg(commPort_).arg(device_);
}

bool SerialPort::open(QString* error) {
  auto fail = [&](const QString& why) {
    if (error) *error = why;
    return false;
  };
  if (isOpen()) return fail(tr("%1 is already open.").arg(describe()));
  actual_.reset();
  if (const QString why = resolveDevice(); !why.isEmpty()) return fail(why);
  if (!line_)
    return fail(tr("%1: the line settings are not complete; choose a baud rate and a data "
                   "format.")
                    .arg(describe()));
  if (const QString why = openDevice(); !why.isEmpty())
    return fail(tr("%1: %2").arg(describe(), why));
  closing_ = false;
  writeError_.clear();
  qCDebug(lcSerial) << "opened" << device_ << formatLineSettings(*line_);
  return true;
}

QString SerialPort::resolveDevice() {
  if (devicePath_) {
    device_ = *devicePath_;
    return device_.isEmpty() ? tr("No device is named: give the path of a serial device.")
                             : QString();
  }
  if (commPort_ < 1) return tr("No port number is chosen.");
  device_ = resolver_ ? resolver_(commPort_) : QString();
  if (device_.isEmpty())
    return tr("Port %1 stands for no serial device on this computer. Name one in the [Ports] "
              "section of the settings file.")
        .arg(commPort_);
  return {};
}

QString SerialPort::settingsNotice() const {
  if (!line_ || !actual_) return {};
  const QString difference = lineSettingsDifference(*line_, *actual_);
  if (difference.isEmpty()) return {};
  return tr("%1 runs at %2, not at %3 as chosen: %4.")
      .arg(describe(), formatLineSettings(*actual_), formatLineSettings(*line_), difference);
}

WriteResult SerialPort::write(const QByteArray& bytes) {
  return hand(bytes, false);
}

WriteResult SerialPort::writeAndDrain(const QByteArray& bytes) {
  return hand(bytes, true);
}

#ifndef Q_OS_WIN
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
    const QString why =
        locked ? tr("the device is in use by another program.") : port_.errorString();
    port_.clearError();
    return why;
  }
  // Lock files only keep out programs that honour them, and root passes the terminal's
  // exclusive mode; an advisory lock on the descriptor covers the rest.
  if (::flock(int(port_.handle()), LOCK_EX | LOCK_NB) != 0) {
    port_.close();
    port_.clearError();
    return tr("the device is in use by another program.");
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
    result.error = tr("%1 is not open.").arg(describe());
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
  if (result.error.isEmpty() && !drained)
    result.error = tr("the device took no more within %1 s.")
                       .arg(double(waited.elapsed()) / 1000.0, 0, 'f', 1);
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
      what = tr("writing to the device failed");
      break;
    case QSerialPort::ResourceError:
      what = tr("the device is no longer there (unplugged or switched off?)");
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
  const QString reason = tr("%1 was lost: %2").arg(describe(), what);
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

#endif

}  // namespace vantor
