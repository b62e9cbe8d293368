#pragma once

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QTimer>

#include <functional>

namespace vantor {

// One window's serial port: a port number and a line settings text applied at opening, raw
// binary input with a receive threshold, whole writes. A device is held by one opener at a
// time; a second open of it, here or in another program, fails.
class SerialPort : public QObject {
  Q_OBJECT

 public:
  // Maps a port number to the device it opens (empty: no such device).
  using DeviceResolver = std::function<QString(int port)>;

  explicit SerialPort(DeviceResolver resolver, QObject* parent = nullptr);
  ~SerialPort() override;

  void setCommPort(int port) { commPort_ = port; }
  // Opens `path` itself rather than the device behind a port number (command-line use).
  void setDevicePath(const QString& path) { devicePath_ = path; }
  int commPort() const { return commPort_; }
  void setSettings(const QString& text) { settings_ = text; }
  QString settings() const { return settings_; }
  // received() is raised when at least this many bytes wait; 0 raises nothing.
  void setRThreshold(int bytes) { threshold_ = bytes; }

  // Opens the device behind the port number with the line settings. On failure returns false
  // and puts in `error` a sentence naming the port, the device tried and the reason.
  bool open(QString* error = nullptr);
  // Lets whatever was handed over for sending leave first, then releases the device.
  void close();
  bool isOpen() const { return port_.isOpen(); }
  // Device of the last open, successful or not.
  QString deviceName() const { return device_; }

  // Takes every byte waiting.
  QByteArray input();
  // Hands `bytes` to the line in one write.
  void output(const QByteArray& bytes);

 signals:
  void received();
  // Fewer bytes than the threshold waited while the line stayed silent for 3.5 character
  // times: not a whole request (noise, an echo of our own reply, a cut request). They are
  // dropped, so that they cannot misalign the next request.
  void fragmentDropped(const QByteArray& bytes);
  // The device went away while open (adapter pulled out, far end gone). The port is closed
  // by the time this is raised.
  void lost(const QString& reason);

 private:
  void onReadyRead();
  void onError(QSerialPort::SerialPortError error);
  void onSilence();
  QString describe() const;

  DeviceResolver resolver_;
  QSerialPort port_;
  int commPort_ = 0;
  QString settings_;
  QString device_;
  QString devicePath_;
  int threshold_ = 0;
  bool closing_ = false;
  QTimer silence_;
};

}  // namespace vantor
