// Line settings, the port-number map and the serial port, over real pseudo-terminals.
#include "PtyPair.h"
#include "platform/LineSettings.h"
#include "platform/PortMap.h"
#include "platform/SerialPort.h"
#include "settings/modINI.h"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace vantor;
using vantor::test::PtyPair;

namespace {

std::unique_ptr<SerialPort> portOn(const QString& device, const QString& settings) {
  auto port = std::make_unique<SerialPort>([device](int) { return device; });
  port->setCommPort(1);
  port->setSettings(settings);
  port->setRThreshold(8);  // a request's length
  return port;
}

}  // namespace

class tst_platform : public QObject {
  Q_OBJECT

 private slots:
  void lineSettings_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("baud");  // 0: refused
    QTest::addColumn<int>("bits");
    for (const char* b : {"9600", "19200", "38400"}) {
      QTest::addRow("%s,n,8,1", b) << QString("%1,n,8,1").arg(b) << atoi(b) << 10;
      QTest::addRow("%s,n,8,2", b) << QString("%1,n,8,2").arg(b) << atoi(b) << 11;
      QTest::addRow("%s,e,8,1", b) << QString("%1,e,8,1").arg(b) << atoi(b) << 11;
    }
    for (const char* refused :
         {",n,8,1", "9600", "", "4800,n,8,1", "9600,o,8,1", "9600,N,8,1", "9600, n,8,1"})
      QTest::addRow("refused \"%s\"", refused) << refused << 0 << 0;
  }
  void lineSettings() {
    QFETCH(QString, text);
    QFETCH(int, baud);
    const auto s = parseLineSettings(text);
    QCOMPARE(s ? s->baud : 0, baud);
    if (s) QTEST(s->bitsPerCharacter(), "bits");
  }

  void defaultDevicesCountUsbAdaptersFirst() {
    QTemporaryDir dev;
    for (auto name : {"ttyS0", "ttyS10", "ttyS2", "ttyUSB1", "ttyUSB0", "ttyACM0", "ttyUSB10",
                      "tty0", "ttyS", "console", "ttyUSB2x"})
      QFile(dev.filePath(name)).open(QIODevice::WriteOnly);
    QStringList expected;
    for (auto name : {"ttyUSB0", "ttyUSB1", "ttyUSB10", "ttyACM0", "ttyS0", "ttyS2", "ttyS10"})
      expected << dev.filePath(name);
    const QStringList found = serialDevicesPresent(dev.path());
    QCOMPARE(found, expected);
    QCOMPARE(defaultDeviceForPort(1, found), dev.filePath("ttyUSB0"));
    QCOMPARE(defaultDeviceForPort(5, found), dev.filePath("ttyS0"));
    QCOMPARE(defaultDeviceForPort(8, found), QString());
    QCOMPARE(defaultDeviceForPort(0, found), QString());
  }

  void portsSectionNamesTheDevice() {
    QTemporaryDir dir;
    modINI ini(dir.path());
    QVERIFY(ini.WriteINI("Ports", "7", "/dev/pts/42"));
    QVERIFY(ini.WriteINI("Ports", "12", "/dev/ttyUSB3"));
    QCOMPARE(devicePathForPort(ini, 12), QString("/dev/ttyUSB3"));
    QCOMPARE(devicePathForPort(ini, 0), QString());
    // Read afresh each time: a changed entry takes effect at the next open.
    QVERIFY(ini.WriteINI("Ports", "7", "/dev/pts/43"));
    QCOMPARE(devicePathForPort(ini, 7), QString("/dev/pts/43"));
  }

  void openRefusesWhatItCannotUse_data() {
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("says");
    const auto row = [](const char* name, const char* device, const char* settings,
                        const char* says) { QTest::newRow(name) << device << settings << says; };
    row("incomplete settings", "pty", "9600", "\"9600\"");
    row("missing device", "/dev/ttyNOSUCH7", "9600,n,8,1", "/dev/ttyNOSUCH7");
    row("no device", "", "9600,n,8,1", "Port 1");
  }
  void openRefusesWhatItCannotUse() {
    QFETCH(QString, device);
    QFETCH(QString, settings);
    PtyPair pty;
    const auto port = portOn(device == "pty" ? pty.devicePath() : device, settings);
    QString error;
    QVERIFY(!port->open(&error));
    QVERIFY(!port->isOpen());
    QFETCH(QString, says);
    QVERIFY2(error.contains(says), qPrintable(error));
  }

  // Until its opener closes it, a device is kept from others; whatever was handed over for
  // sending still leaves in full when it is closed at once.
  void aDeviceHasOneOpenerAtATime() {
    PtyPair pty;
    const auto first = portOn(pty.devicePath(), "9600,n,8,1");
    const auto second = portOn(pty.devicePath(), "9600,n,8,1");
    QVERIFY(first->open());
    QString error;
    QVERIFY(!second->open(&error));
    QVERIFY(error.contains(pty.devicePath()));
    // Another program, locking the way serial tools do, is kept out as well.
    QProcess other;
    other.start("flock", {"-n", pty.devicePath(), "true"});
    QVERIFY(other.waitForFinished(5000));
    QVERIFY(other.exitCode() != 0);

    QByteArray frame;
    for (int i = 0; i < 135; ++i) frame.append(char(i * 7));
    first->output(frame);
    first->close();
    QCOMPARE(pty.read(frame.size(), 2000), frame);
    QVERIFY(second->open());
  }

  // A request arriving in pieces without a pause is one request; a stray byte followed by
  // silence is dropped before the next request comes.
  void silenceEndsAFragment_data() {
    QTest::addColumn<QString>("settings");
    QTest::newRow("9600") << "9600,n,8,1";
    QTest::newRow("38400") << "38400,e,8,1";
  }
  void silenceEndsAFragment() {
    QFETCH(QString, settings);
    PtyPair pty;
    const auto port = portOn(pty.devicePath(), settings);
    QVERIFY(port->open());
    QSignalSpy received(port.get(), &SerialPort::received);
    QSignalSpy dropped(port.get(), &SerialPort::fragmentDropped);

    QVERIFY(pty.write(QByteArray::fromHex("FF")));
    QTRY_COMPARE(dropped.count(), 1);
    QCOMPARE(dropped.at(0).at(0).toByteArray(), QByteArray::fromHex("FF"));
    QCOMPARE(received.count(), 0);

    for (const char* piece : {"01030000", "000184", "0AFF"})
      QVERIFY(pty.write(QByteArray::fromHex(piece)));
    QTRY_VERIFY(received.count() >= 1);
    QCOMPARE(port->input(), QByteArray::fromHex("010300000001840AFF"));
    QCOMPARE(port->input(), QByteArray());
    QCOMPARE(dropped.count(), 1);
  }

  void lostDeviceClosesThePortOnce() {
    PtyPair pty;
    const auto port = portOn(pty.devicePath(), "9600,n,8,1");
    QVERIFY(port->open());
    QSignalSpy lost(port.get(), &SerialPort::lost);
    pty.closeMaster();
    QTRY_COMPARE(lost.count(), 1);
    QVERIFY(!port->isOpen());
    QVERIFY(lost.at(0).at(0).toString().contains(pty.devicePath()));
    QTest::qWait(100);
    QCOMPARE(lost.count(), 1);
  }
};

QTEST_MAIN(tst_platform)
#include "tst_platform.moc"
