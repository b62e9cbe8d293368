#pragma once

#include "core/modbus/LineSettings.h"

#include <QByteArray>
#include <QLoggingCategory>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

#ifndef Q_OS_WIN
#include <QSerialPort>

struct termios;
#endif

namespace vantor {

// Frames in, frames out and bytes dropped, off by default:
// QT_LOGGING_RULES="vantor.serial.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcSerial)

// How the device is told to run a line (the values are those QSerialPort uses).
struct PortSettings {
  enum DataBits { Data7 = 7, Data8 = 8 };
  enum Parity { NoParity = 0, EvenParity = 2 };
  enum StopBits { OneStop = 1, TwoStop = 2 };
  qint32 baud = 9600;
  DataBits dataBits = Data8;
  Parity parity = NoParity;
  StopBits stopBits = OneStop;
  friend bool operator==(const PortSettings&, const PortSettings&) = default;
};
PortSettings portSettingsOf(const LineSettings& line);

#ifndef Q_OS_WIN
// The line settings a terminal's attributes stand for: what a device really runs at.
LineSettings lineSettingsOf(const termios& attributes);
#endif

// What a write achieved: how many of the bytes the device took, and why not all.
struct WriteResult {
  qint64 written = 0;
  qint64 total = 0;
  QString error;  // empty when every byte left

  bool ok() const { return error.isEmpty(); }
  // "Nothing was sent: …" or "Only 20 of 48 bytes were sent: …"; empty when every byte left.
  QString message() const;
};

// One serial port: a port number (or a device path) and line settings applied at opening,
// whole writes. A device is held by one
// opener at a time; a second open of it, here or in another program, fails.
class SerialPort : public QObject {
  Q_OBJECT

 public:
  // Maps a port number to the device it opens (empty: no such device).
  using DeviceResolver = std::function<QString(int port)>;

  explicit SerialPort(DeviceResolver resolver, QObject* parent = nullptr);
  ~SerialPort() override;

  void setCommPort(int port) { commPort_ = port; }
  int commPort() const { return commPort_; }
  // Opens `path` itself rather than the device behind a port number (command-line use).
  void setDevicePath(const QString& path) { devicePath_ = path; }
  // The settings to open with; nothing while the user has not chosen them all.
  void setLineSettings(std::optional<LineSettings> line) { line_ = line; }
  std::optional<LineSettings> lineSettings() const { return line_; }
  // Opens the device behind the port number with the line settings. On failure returns false
  // and puts in `error` a sentence naming the port, the device tried and the reason.
  bool open(QString* error = nullptr);
  // Lets whatever was handed over for sending leave first, then releases the device.
  void close();
#ifdef Q_OS_WIN
  bool isOpen() const { return handle_ != -1; }
#else
  bool isOpen() const { return port_.isOpen(); }
#endif
  // Device of the last open, successful or not.
  QString deviceName() const { return device_; }
  // "Port 3 (/dev/ttyUSB0)" ("Port 3 (COM3)" on Windows), or the device path given.
  QString describe() const;

  // After an open: what the port was told to run at (whatever the device made of it).
  PortSettings applied() const;
  // After an open: what the device runs at, when that can be read, and a sentence naming each
  // setting it did not take (empty when it took them all).
  std::optional<LineSettings> actualSettings() const { return actual_; }
  QString settingsNotice() const;

  // The open device's descriptor (on Windows its HANDLE, opened for overlapped use), for a
  // thread that serves the line with its own loop (the port object itself then runs no
  // events); -1 while closed.
#ifdef Q_OS_WIN
  qintptr handle() const { return handle_; }
#else
  qintptr handle() const { return port_.isOpen() ? port_.handle() : -1; }
#endif

  // Hands `bytes` to the driver now, in one write.
  WriteResult write(const QByteArray& bytes);
  // As write(), and returns only once the bytes have left the line (or it is clear they will
  // not).
  WriteResult writeAndDrain(const QByteArray& bytes);

 signals:
  // The device went away while open (adapter pulled out, far end gone). The port is closed
  // by the time this is raised.
  void lost(const QString& reason);

 private:
  // The device the port number or path stands for; why there is none, or empty.
  QString resolveDevice();
  // Opens it with the line settings, for this program alone; why not, or empty.
  QString openDevice();
  WriteResult hand(const QByteArray& bytes, bool drain);

  // What both systems' halves say (SerialPort.cpp), worded once.
  static constexpr int kDrainTimeoutMs = 2000;
  static QString inUseText();
  static QString goneText();
  static QString writeFailedText();
  static QString tookNoMoreText(qint64 waitedMs);
  QString notOpenText() const;
  QString lostText(const QString& what) const;

  DeviceResolver resolver_;
#ifdef Q_OS_WIN
  // Closes the device after a failure that says it is gone, and tells of it once back in the
  // event loop.
  void loseDevice(const QString& what);
  qintptr handle_ = -1;
  PortSettings applied_;
#else
  void onError(QSerialPort::SerialPortError error);
  QSerialPort port_;
#endif
  int commPort_ = 0;
  std::optional<LineSettings> line_;
  std::optional<LineSettings> actual_;
  QString device_;
  std::optional<QString> devicePath_;
  bool closing_ = false;
  QString writeError_;
};

}  // namespace vantor
