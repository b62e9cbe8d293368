#include "platform/SerialPort.h"

#include "platform/LineSettings.h"

#include <QMetaObject>

#include <chrono>
#include <cmath>

#include <sys/file.h>
#include <termios.h>

namespace vantor {

namespace {

constexpr int kDrainTimeoutMs = 2000;

// Silence that ends a frame on an RTU line: 3.5 character times, and a fixed 1.75 ms above
// 19200 baud where character times get too short to time reliably.
std::chrono::milliseconds frameGap(const LineSettings& line) {
  const double ms = line.baud > 19200 ? 1.75 : 3500.0 * line.bitsPerCharacter() / line.baud;
  return std::chrono::milliseconds(int(std::ceil(ms)));
}

}  // namespace

SerialPort::SerialPort(DeviceResolver resolver, QObject* parent)
    : QObject(parent), resolver_(std::move(resolver)) {
  connect(&port_, &QSerialPort::readyRead, this, &SerialPort::onReadyRead);
  connect(&port_, &QSerialPort::errorOccurred, this, &SerialPort::onError);
  silence_.setSingleShot(true);
  silence_.setTimerType(Qt::PreciseTimer);
  connect(&silence_, &QTimer::timeout, this, &SerialPort::onSilence);
}

SerialPort::~SerialPort() { close(); }

QString SerialPort::describe() const {
  if (!devicePath_.isEmpty()) return devicePath_;
  return device_.isEmpty() ? tr("Port %1").arg(commPort_)
                           : tr("Port %1 (%2)").arg(commPort_).arg(device_);
}

bool SerialPort::open(QString* error) {
  auto fail = [&](const QString& why) {
    if (error) *error = why;
    return false;
  };
  if (port_.isOpen()) return fail(tr("%1 is already open.").arg(describe()));

  if (!devicePath_.isEmpty()) {
    device_ = devicePath_;
  } else {
    device_ = commPort_ >= 1 && resolver_ ? resolver_(commPort_) : QString();
    if (commPort_ < 1) return fail(tr("No port number is chosen."));
  }
  if (device_.isEmpty())
    return fail(tr("Port %1 stands for no serial device on this computer. Name one in the "
                   "[Ports] section of the settings file.")
                    .arg(commPort_));

  const auto line = parseLineSettings(settings_);
  if (!line)
    return fail(tr("%1: the line settings \"%2\" are not complete; choose a baud rate and a "
                   "data format.")
                    .arg(describe(), settings_));

  port_.setPortName(device_);
  port_.setBaudRate(line->baud);
  port_.setDataBits(QSerialPort::Data8);
  port_.setParity(line->parity == 'e' ? QSerialPort::EvenParity : QSerialPort::NoParity);
  port_.setStopBits(line->stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop);
  port_.setFlowControl(QSerialPort::NoFlowControl);
  if (!port_.open(QIODevice::ReadWrite)) {
    const QString why = port_.errorString();
    port_.clearError();
    return fail(tr("%1: %2").arg(describe(), why));
  }
  // Lock files only keep out programs that honour them, and root passes the terminal's
  // exclusive mode; an advisory lock on the descriptor covers the rest.
  if (::flock(int(port_.handle()), LOCK_EX | LOCK_NB) != 0) {
    port_.close();
    port_.clearError();
    return fail(tr("%1: the device is in use by another program.").arg(describe()));
  }
  port_.clearError();
  port_.clear(QSerialPort::Input);
  silence_.setInterval(frameGap(*line));
  closing_ = false;
  return true;
}

void SerialPort::close() {
  silence_.stop();
  if (!port_.isOpen()) return;
  closing_ = true;
  if (port_.bytesToWrite() > 0) port_.waitForBytesWritten(kDrainTimeoutMs);
  if (port_.handle() >= 0) ::tcdrain(int(port_.handle()));
  port_.close();
  port_.clearError();
}

QByteArray SerialPort::input() { return port_.readAll(); }

void SerialPort::output(const QByteArray& bytes) {
  if (!port_.isOpen() || bytes.isEmpty()) return;
  port_.write(bytes);
  // Hand the bytes to the driver now rather than on the next turn of the event loop: a
  // poll's answer should leave as soon as it is built.
  port_.flush();
}

void SerialPort::onReadyRead() {
  if (threshold_ <= 0) return;
  if (port_.bytesAvailable() >= threshold_) {
    silence_.stop();
    emit received();
  } else {
    silence_.start();
  }
}

void SerialPort::onSilence() {
  const qint64 waiting = port_.bytesAvailable();
  if (port_.isOpen() && waiting > 0 && waiting < threshold_) emit fragmentDropped(port_.readAll());
}

void SerialPort::onError(QSerialPort::SerialPortError error) {
  switch (error) {
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
    case QSerialPort::ResourceError:
      break;
    default:
      // Modem-line calls are not supported on every device (pseudo-terminals among them);
      // that is no reason to drop the line.
      return;
  }
  if (closing_ || !port_.isOpen()) return;
  closing_ = true;
  const QString reason = tr("%1 was lost: %2").arg(describe(), port_.errorString());
  // The port reports this from inside its own notifier; close it once that has returned.
  QMetaObject::invokeMethod(
      this,
      [this, reason] {
        if (!port_.isOpen()) return;
        silence_.stop();
        port_.close();
        port_.clearError();
        emit lost(reason);
      },
      Qt::QueuedConnection);
}

}  // namespace vantor
