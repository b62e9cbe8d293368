#include "serial/SerialPort.h"

namespace vantor {

Q_LOGGING_CATEGORY(lcSerial, "vantor.serial", QtWarningMsg)

PortSettings portSettingsOf(const LineSettings& line) {
  PortSettings p;
  p.baud = line.baud;
  p.dataBits = line.dataBits == 7 ? PortSettings::Data7 : PortSettings::Data8;
  p.parity = line.parity == Parity::Even ? PortSettings::EvenParity : PortSettings::NoParity;
  p.stopBits = line.stopBits == 2 ? PortSettings::TwoStop : PortSettings::OneStop;
  return p;
}

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

QString SerialPort::inUseText() {
  return tr("the device is in use by another program.");
}

QString SerialPort::goneText() {
  return tr("the device is no longer there (unplugged or switched off?)");
}

QString SerialPort::writeFailedText() {
  return tr("writing to the device failed");
}

QString SerialPort::tookNoMoreText(qint64 waitedMs) {
  return tr("the device took no more within %1 s.").arg(double(waitedMs) / 1000.0, 0, 'f', 1);
}

QString SerialPort::notOpenText() const {
  return tr("%1 is not open.").arg(describe());
}

QString SerialPort::lostText(const QString& what) const {
  return tr("%1 was lost: %2").arg(describe(), what);
}

}  // namespace vantor
