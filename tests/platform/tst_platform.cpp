// Line settings, the port-number map and the serial port, over real pseudo-terminals.
#include "PtyPair.h"
#include "platform/LineSettings.h"
#include "platform/PortMap.h"
#include "platform/SerialPort.h"
#include "settings/modINI.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace vantor;
using vantor::test::PtyPair;

namespace {

SerialPort* portOn(const QString& device, const QString& settings, QObject* parent) {
  auto* port = new SerialPort([device](int) { return device; }, parent);
  port->setCommPort(1);
  port->setSettings(settings);
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
    QTest::newRow("no baud") << ",n,8,1" << 0 << 0;
    QTest::newRow("no format") << "9600" << 0 << 0;
    QTest::newRow("empty") << "" << 0 << 0;
    QTest::newRow("other baud") << "4800,n,8,1" << 0 << 0;
    QTest::newRow("odd parity") << "9600,o,8,1" << 0 << 0;
    QTest::newRow("upper case") << "9600,N,8,1" << 0 << 0;
    QTest::newRow("blanks") << "9600, n,8,1" << 0 << 0;
  }
  void lineSettings() {
    QFETCH(QString, text);
    QFETCH(int, baud);
    const auto s = parseLineSettings(text);
    QCOMPARE(s.has_value(), baud != 0);
    if (s) {
      QCOMPARE(s->baud, baud);
      QTEST(s->bitsPerCharacter(), "bits");
    }
  }

  void defaultDevicesCountUsbAdaptersFirst() {
    QTemporaryDir dev;
    for (auto name : {"ttyS0", "ttyS10", "ttyS2", "ttyUSB1", "ttyUSB0", "ttyACM0", "ttyUSB10",
                      "tty0", "ttyS", "console", "ttyUSB2x"})
      QFile(dev.filePath(name)).open(QIODevice::WriteOnly);
    const QStringList expected = {"ttyUSB0", "ttyUSB1", "ttyUSB10", "ttyACM0",
                                  "ttyS0",   "ttyS2",   "ttyS10"};
    const QStringList found = serialDevicesPresent(dev.path());
    QCOMPARE(found.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i) QCOMPARE(found[i], dev.filePath(expected[i]));

#ifndef Q_OS_WIN
    QCOMPARE(defaultDeviceForPort(1, found), dev.filePath("ttyUSB0"));
    QCOMPARE(defaultDeviceForPort(5, found), dev.filePath("ttyS0"));
    QCOMPARE(defaultDeviceForPort(8, found), QString());
#endif
    QCOMPARE(defaultDeviceForPort(0, found), QString());
  }

  void portsSectionNamesTheDevice() {
    QTemporaryDir dir;
    modINI ini(dir.path());
    QVERIFY(ini.WriteINI("Ports", "7", "/dev/pts/42"));
    QVERIFY(ini.WriteINI("Ports", "12", "/dev/ttyUSB3"));
    QCOMPARE(devicePathForPort(ini, 7), QString("/dev/pts/42"));
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
    QTest::newRow("incomplete settings") << "pty" << "9600" << "\"9600\"";
    QTest::newRow("no baud") << "pty" << ",n,8,1" << "line settings";
    QTest::newRow("missing device") << "/dev/ttyNOSUCH7" << "9600,n,8,1" << "/dev/ttyNOSUCH7";
    QTest::newRow("no device") << "" << "9600,n,8,1" << "Port 1";
  }
  void openRefusesWhatItCannotUse() {
    QFETCH(QString, device);
    QFETCH(QString, settings);
    PtyPair pty;
    if (device == "pty") device = pty.devicePath();
    SerialPort* port = portOn(device, settings, this);
    QString error;
    QVERIFY(!port->open(&error));
    QVERIFY(!port->isOpen());
    QFETCH(QString, says);
    QVERIFY2(error.contains(says), qPrintable(error));
    delete port;
  }

  void aDeviceHasOneOpenerAtATime() {
    PtyPair pty;
    SerialPort* first = portOn(pty.devicePath(), "9600,n,8,1", this);
    SerialPort* second = portOn(pty.devicePath(), "9600,n,8,1", this);
    QVERIFY(first->open());
    QString error;
    QVERIFY(!second->open(&error));
    QVERIFY(error.contains(pty.devicePath()));

    // Another program, locking the way serial tools do, is kept out as well.
    QProcess other;
    other.start("flock", {"-n", pty.devicePath(), "true"});
    QVERIFY(other.waitForFinished(5000));
    QVERIFY(other.exitCode() != 0);

    first->close();
    QVERIFY(second->open());
    delete first;
    delete second;
  }

  void receiveEventWaitsForTheThreshold() {
    PtyPair pty;
    SerialPort* port = portOn(pty.devicePath(), "38400,n,8,1", this);
    port->setRThreshold(8);
    QVERIFY(port->open());
    QSignalSpy received(port, &SerialPort::received);
    QSignalSpy dropped(port, &SerialPort::fragmentDropped);

    // A request arriving in pieces, without a pause between them, is one request.
    QVERIFY(pty.write(QByteArray::fromHex("01030000")));
    QVERIFY(pty.write(QByteArray::fromHex("000184")));
    QVERIFY(pty.write(QByteArray::fromHex("0AFF")));
    QTRY_VERIFY(received.count() >= 1);
    QCOMPARE(port->input(), QByteArray::fromHex("010300000001840AFF"));
    QCOMPARE(port->input(), QByteArray());
    QCOMPARE(dropped.count(), 0);
    delete port;
  }

  void silenceEndsAFragment_data() {
    QTest::addColumn<QString>("settings");
    QTest::newRow("9600") << "9600,n,8,1";
    QTest::newRow("38400") << "38400,e,8,1";
  }
  void silenceEndsAFragment() {
    QFETCH(QString, settings);
    PtyPair pty;
    SerialPort* port = portOn(pty.devicePath(), settings, this);
    port->setRThreshold(8);
    QVERIFY(port->open());
    QSignalSpy received(port, &SerialPort::received);
    QSignalSpy dropped(port, &SerialPort::fragmentDropped);

    // A stray byte, then silence: it is dropped before the next request comes.
    QVERIFY(pty.write(QByteArray::fromHex("FF")));
    QTRY_COMPARE(dropped.count(), 1);
    QCOMPARE(dropped.at(0).at(0).toByteArray(), QByteArray::fromHex("FF"));
    QCOMPARE(received.count(), 0);

    QVERIFY(pty.write(QByteArray::fromHex("010300000001840A")));
    QTRY_COMPARE(received.count(), 1);
    QCOMPARE(port->input(), QByteArray::fromHex("010300000001840A"));
    delete port;
  }

  void outputArrivesWholeEvenWhenClosedAtOnce() {
    PtyPair pty;
    SerialPort* port = portOn(pty.devicePath(), "9600,n,8,1", this);
    QVERIFY(port->open());
    QByteArray frame;
    for (int i = 0; i < 135; ++i) frame.append(char(i * 7));
    port->output(frame);
    port->close();
    QCOMPARE(pty.read(frame.size(), 2000), frame);
    delete port;
  }

  void lostDeviceClosesThePortOnce() {
    auto pty = std::make_unique<PtyPair>();
    SerialPort* port = portOn(pty->devicePath(), "9600,n,8,1", this);
    port->setRThreshold(8);
    QVERIFY(port->open());
    QSignalSpy lost(port, &SerialPort::lost);
    pty->closeMaster();
    QTRY_COMPARE(lost.count(), 1);
    QVERIFY(!port->isOpen());
    QVERIFY(lost.at(0).at(0).toString().contains(pty->devicePath()));
    QTest::qWait(100);
    QCOMPARE(lost.count(), 1);
    delete port;
  }
};

QTEST_MAIN(tst_platform)
#include "tst_platform.moc"
