// The port-number map, the serial port and the serving thread, over real pseudo-terminals.
#include "ModbusMaster.h"
#include "PtyPair.h"
#include "core/settings/IniFile.h"
#include "serial/PortMap.h"
#include "serial/PortThread.h"
#include "serial/SerialPort.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <memory>
#include <thread>

using namespace vantor;
using vantor::test::ModbusMaster;
using vantor::test::PtyPair;

namespace {

std::unique_ptr<SerialPort> portOn(const QString& device,
                                   std::optional<LineSettings> line = LineSettings{}) {
  auto port = std::make_unique<SerialPort>([device](int) { return device; });
  port->setCommPort(1);
  port->setLineSettings(line);
  return port;
}

const QByteArray kPoll = QByteArray::fromHex("010300000001840A");  // slave 1, register 0

// Slave 1 answering register 0 with 0x000A, its reply held back `delayMs`.
std::shared_ptr<const ServePlan> planFor(int delayMs = 0) {
  auto plan = std::make_shared<ServePlan>();
  plan->table[0] = {true, 1, 3, 0, 1, DataType::Unsigned, 0, 1000};
  plan->values[0] = valueListsOf(0x0A);
  plan->faults[0].delayMinMs = plan->faults[0].delayMaxMs = delayMs;
  return plan;
}

// Serves `plan` on `pty` (without one: listens), collecting what the port's thread reports.
struct Served {
  Served(const PtyPair& pty, std::shared_ptr<const ServePlan> plan) {
    QObject::connect(&server, &PortThread::events, [this](const std::vector<ServeEvent>& batch) {
      events.insert(events.end(), batch.begin(), batch.end());
    });
    const ServeLine line{1, pty.devicePath(), false, LineSettings{}};
    opened = plan ? server.open(line, std::move(plan)) : server.listen(line);
  }
  int count(ServeEvent::Type type) const {
    return int(std::count_if(events.begin(), events.end(),
                             [type](const ServeEvent& e) { return e.type == type; }));
  }
  PortThread server;
  OpenResult opened;
  std::vector<ServeEvent> events;
};

}  // namespace

class TstSerial : public QObject {
  Q_OBJECT

 private slots:
  // What the port is asked for and told at opening, what a terminal's attributes are read
  // back as, and that the bytes handed over leave before the port lets go of the device.
  void lineSettingsMapping_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("stopBits");
    QTest::newRow("9600,n,8,1") << "9600,n,8,1" << int(PortSettings::NoParity) << 1;
    QTest::newRow("19200,e,8,1") << "19200,e,8,1" << int(PortSettings::EvenParity) << 1;
    QTest::newRow("38400,n,8,2") << "38400,n,8,2" << int(PortSettings::NoParity) << 2;
  }
  void lineSettingsMapping() {
    QFETCH(QString, text);
    const LineSettings line = *parseLineSettings(text);
    const PortSettings port = portSettingsOf(line);
    QCOMPARE(port.baud, line.baud);
    QCOMPARE(port.dataBits, PortSettings::Data8);
    QTEST(int(port.parity), "parity");
    QTEST(int(port.stopBits), "stopBits");

    termios t{};
    t.c_cflag =
        CS8 | (line.parity == Parity::Even ? PARENB : 0) | (line.stopBits == 2 ? CSTOPB : 0);
    cfsetospeed(&t, line.baud == 9600 ? B9600 : line.baud == 19200 ? B19200 : B38400);
    QCOMPARE(lineSettingsOf(t), line);

    PtyPair pty;
    const auto opened = portOn(pty.devicePath(), line);
    QVERIFY(opened->open());
    QCOMPARE(opened->applied(), port);
    static QStringList said;
    said.clear();
    QLoggingCategory::setFilterRules("vantor.serial.debug=true");
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& text) { said << text; });
    opened->write("bytes");
    opened->close();
    qInstallMessageHandler(previous);
    QLoggingCategory::setFilterRules("vantor.serial.debug=false");
    QCOMPARE(said.filter(QRegularExpression("^(drained|closed)")).join('|'),
             "drained|closed \"" + pty.devicePath() + '"');
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
    QCOMPARE(defaultDeviceForPort(8, found), QString());

    // A [Ports] entry wins, read afresh at every open.
    QTemporaryDir dir;
    IniFile ini(dir.path());
    QVERIFY(ini.write("Ports", "7", "/dev/pts/42"));
    QCOMPARE(devicePathForPort(ini, 7), QString("/dev/pts/42"));
    QVERIFY(ini.write("Ports", "7", "/dev/pts/43"));
    QCOMPARE(devicePathForPort(ini, 7), QString("/dev/pts/43"));
  }

  void openRefusesWhatItCannotUse_data() {
    QTest::addColumn<QString>("device");
    QTest::addColumn<bool>("complete");
    QTest::addColumn<QString>("says");
    QTest::newRow("incomplete settings") << "pty" << false << "not complete";
    QTest::newRow("missing device") << "/dev/ttyNOSUCH7" << true << "/dev/ttyNOSUCH7";
    QTest::newRow("no device for the number") << "" << true << "Port 1 stands for no serial";
  }
  void openRefusesWhatItCannotUse() {
    QFETCH(QString, device);
    QFETCH(bool, complete);
    PtyPair pty;
    const auto port = portOn(device == "pty" ? pty.devicePath() : device,
                             complete ? std::optional(LineSettings{}) : std::nullopt);
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
    const auto first = portOn(pty.devicePath());
    const auto second = portOn(pty.devicePath());
    QVERIFY(first->open());
    QString error;
    QVERIFY(!second->open(&error));
    QVERIFY2(error.contains("in use by another program"), qPrintable(error));
    // Another program, locking the way serial tools do, is kept out as well.
    QProcess other;
    other.start("flock", {"-n", pty.devicePath(), "true"});
    QVERIFY(other.waitForFinished(5000));
    QVERIFY(other.exitCode() != 0);

    QByteArray frame;
    for (int i = 0; i < 135; ++i) frame.append(char(i * 7));
    const WriteResult written = first->writeAndDrain(frame);
    QVERIFY2(written.ok(), qPrintable(written.message()));
    QCOMPARE(written.written, frame.size());
    first->close();
    QCOMPARE(pty.read(frame.size(), 2000), frame);
    QVERIFY(second->open());
  }

  // A line that takes bytes only now and then: the write gives up after two seconds in all,
  // and says how long it really waited.
  void aSlowLineIsGivenUpOnInTime() {
    PtyPair pty;
    const auto port = portOn(pty.devicePath());
    QVERIFY(port->open());
    const int stuffer =
        ::open(QFile::encodeName(pty.devicePath()).constData(), O_WRONLY | O_NONBLOCK | O_NOCTTY);
    const QByteArray block(4096, 'x');
    while (::write(stuffer, block.constData(), std::size_t(block.size())) > 0) {
    }
    ::close(stuffer);
    std::atomic<bool> stop{false};
    std::thread reader([&] {  // a trickle, for longer than the write may wait
      for (int i = 0; i < 40 && !stop; ++i) {
        pty.read(64, 100);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
    });
    QElapsedTimer waited;
    waited.start();
    const WriteResult written = port->writeAndDrain(QByteArray(64 * 1024, 'y'));
    const double seconds = double(waited.elapsed()) / 1000.0;
    stop = true;
    reader.join();
    const QRegularExpressionMatch said =
        QRegularExpression("within ([0-9.]+) s").match(written.message());
    QVERIFY2(said.hasMatch(), qPrintable(written.message()));
    QVERIFY2(std::abs(said.captured(1).toDouble() - seconds) < 0.5,
             qPrintable(QString("%1 after %2 s").arg(written.message()).arg(seconds)));
  }

  // The serving thread answers while the owner's thread is busy and takes no events at all.
  void repliesNeverWaitForTheOwner() {
    PtyPair pty;
    Served served(pty, planFor());
    QVERIFY2(served.opened.ok, qPrintable(served.opened.error));
    std::optional<std::vector<std::uint16_t>> read;
    std::thread master([&] { read = ModbusMaster(pty.masterFd(), 2000).read(3, 1, 0, 1); });
    master.join();  // no event of this thread runs meanwhile
    QCOMPARE(read, std::optional(std::vector<std::uint16_t>{0x0A}));
    QTRY_COMPARE(served.count(ServeEvent::Type::Exchange), 1);
  }

  // Back-to-back polls are each answered, however the writes and the reads split them: a read
  // that fills the line reader's buffer is no hang-up, a byte that starts a poll as it starts
  // the reply's echo is no echo, and the replies the driver has no room for (the master reads
  // none until every poll is judged) all leave once it has.
  void aFloodIsAnsweredWhole_data() {
    QTest::addColumn<int>("polls");
    QTest::addColumn<int>("piece");  // bytes per write
    QTest::newRow("512 bytes waiting") << 64 << 512;
    QTest::newRow("1,024 bytes waiting") << 128 << 1024;
    QTest::newRow("10,000 polls a byte at a time") << 10000 << 1;
    QTest::newRow("10,000 polls 4,096 bytes at a time") << 10000 << 4096;
  }
  void aFloodIsAnsweredWhole() {
    QFETCH(int, polls);
    QFETCH(int, piece);
    PtyPair pty;
    Served served(pty, planFor());
    QVERIFY(served.opened.ok);
    const QByteArray flood = kPoll.repeated(polls);
    std::thread master([&] {
      for (qsizetype at = 0; at < flood.size(); at += piece) pty.write(flood.mid(at, piece));
    });
    const auto judged = [&] { return served.count(ServeEvent::Type::Exchange); };
    const auto closed = [&] { return served.count(ServeEvent::Type::Closed); };
    (void)QTest::qWaitFor([&] { return judged() >= polls || closed() > 0; }, 60000);
    master.join();
    QCOMPARE(closed(), 0);
    QCOMPARE(judged(), polls);
    const QByteArray reply = QByteArray::fromHex("010302000A3843");
    const QByteArray replies = pty.read(int(reply.size()) * polls, 10000);
    QCOMPARE(replies.size(), reply.size() * polls);
    QCOMPARE(replies, reply.repeated(polls));
  }

  // Bytes that end in silence are judged once the line has been quiet long enough, whether
  // serving or listening: nothing more has to come first.
  void silenceEndsWhatCameBeforeIt_data() {
    QTest::addColumn<bool>("serving");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("kind");
    QTest::newRow("serving: a poll cut short")
        << true << kPoll.first(3) << int(EventKind::Fragment);
    QTest::newRow("listening: a poll cut short")
        << false << kPoll.first(3) << int(EventKind::Fragment);
    QTest::newRow("listening: a poll with a wrong check value")
        << false << kPoll.first(7) + '\x55' << int(EventKind::CrcError);
  }
  void silenceEndsWhatCameBeforeIt() {
    QFETCH(bool, serving);
    QFETCH(QByteArray, bytes);
    PtyPair pty;
    Served served(pty, serving ? planFor() : nullptr);
    QVERIFY(served.opened.ok);
    QVERIFY(pty.write(bytes));
    QTRY_COMPARE_WITH_TIMEOUT(served.count(ServeEvent::Type::Traffic), 1, 10000);
    QTEST(int(served.events.front().traffic.kind), "kind");
    QCOMPARE(served.events.front().traffic.bytes, bytes);
  }

  // A reply still waiting when serving stops is never written: not on this line, and not on
  // the next one served.
  void aDelayedReplyDiesWithItsConnection() {
    PtyPair first;
    PtyPair second;
    Served served(first, planFor(300));
    QVERIFY(served.opened.ok);
    QVERIFY(first.write(kPoll));
    QTRY_COMPARE(served.count(ServeEvent::Type::Traffic), 1);  // judged, its reply waiting
    served.server.close();
    QVERIFY(served.server.open({2, second.devicePath(), false, LineSettings{}}, planFor()).ok);
    QCOMPARE(first.read(1, 600), QByteArray());
    QCOMPARE(second.read(1, 800), QByteArray());
  }

  // The device going away closes the port once, with a reason that says so; a write into the
  // gone line says that nothing was sent. Served, the same is reported as the last event.
  void lostDevice() {
    PtyPair pty;
    const auto port = portOn(pty.devicePath());
    QVERIFY(port->open());
    QSignalSpy lost(port.get(), &SerialPort::lost);
    pty.closeMaster();
    const WriteResult written = port->writeAndDrain(QByteArray(48, 'x'));
    QVERIFY(!written.ok());
    QVERIFY2(written.message().startsWith("Nothing was sent: "), qPrintable(written.message()));
    QTRY_COMPARE(lost.count(), 1);
    QVERIFY(!port->isOpen());
    const QString reason = lost.at(0).at(0).toString();
    QVERIFY2(reason.contains(pty.devicePath()) && !reason.contains("ioctl"), qPrintable(reason));
    QTest::qWait(100);
    QCOMPARE(lost.count(), 1);

    PtyPair served;
    Served serving(served, planFor());
    served.closeMaster();
    QTRY_COMPARE(serving.count(ServeEvent::Type::Closed), 1);
    QVERIFY2(serving.events.back().reason.contains(served.devicePath()),
             qPrintable(serving.events.back().reason));
  }
};

QTEST_MAIN(TstSerial)
#include "tst_serial.moc"
