// The shared line of pseudo-terminals the serial tests use, and the bit re-sampling it does
// between ends set to different rates.
#include "PtyBus.h"
#include "core/modbus/Crc16.h"

#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

using vantor::withCheckValue;
using vantor::test::PtyBus;
using vantor::test::resample;

namespace {

const QByteArray kPoll = QByteArray::fromHex("010300000001840A");  // slave 1, register 0

// Opens `path` as a program would, raw at `speed`.
int openAt(const QString& path, speed_t speed) {
  const int fd = ::open(qPrintable(path), O_RDWR | O_NOCTTY | O_NONBLOCK);
  termios t{};
  tcgetattr(fd, &t);
  cfmakeraw(&t);
  cfsetispeed(&t, speed);
  cfsetospeed(&t, speed);
  return tcsetattr(fd, TCSANOW, &t) == 0 ? fd : -1;
}

// What arrives on `fd` until `expected` bytes are in or `timeoutMs` has passed.
QByteArray readOn(int fd, qsizetype expected, int timeoutMs = 10000) {
  QByteArray got;
  pollfd p{fd, POLLIN, 0};
  char buf[256];
  while (got.size() < expected && ::poll(&p, 1, timeoutMs) > 0) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n <= 0) break;
    got.append(buf, n);
  }
  return got;
}

}  // namespace

class TstPtyBus : public QObject {
  Q_OBJECT

 private slots:
  void resampled_data() {
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<int>("fromBaud");
    QTest::addColumn<int>("toBaud");
    QTest::addColumn<QByteArray>("heard");
    QTest::newRow("same rate") << kPoll << 19200 << 19200 << kPoll;
    // 1% off is well inside what a UART takes: each byte is timed from its own start bit.
    QTest::newRow("1% off") << kPoll << 9600 << 9700 << kPoll;
    // 0x55 at 9600 is 0 1010101 0 1 (start, LSB first, stop), each bit two bits at 19200:
    // 00 11 00 11 00 11 00 11 00 11. Sampled from the edge: start 0, data 0110 0110 (0x66), stop
    // 0 (framing error, passed on). The line rises at 10, falls at 12: start 0, data
    // 0110 0111 (0xE6, the last bits idle), stop 1.
    QTest::newRow("0x55 9600 to 19200")
        << QByteArray("\x55") << 9600 << 19200 << QByteArray::fromHex("66E6");
    // 0xFE at 38400 is low for two bits only, back up before the middle of a start bit at 9600:
    // a glitch, not a byte.
    QTest::newRow("glitch") << QByteArray("\xFE") << 38400 << 9600 << QByteArray();
    // Nine low bits at 9600 are a break at 19200: 0x00 with a low stop bit, passed on.
    QTest::newRow("break") << QByteArray(1, '\0') << 9600 << 19200 << QByteArray(1, '\0');
  }
  void resampled() {
    QFETCH(QByteArray, sent);
    QFETCH(int, fromBaud);
    QFETCH(int, toBaud);
    QTEST(resample(sent, fromBaud, toBaud), "heard");
  }

  // A request heard at another rate is garbled so that its check value fails, not passed on.
  void mismatchedRateGarbles_data() {
    QTest::addColumn<int>("toBaud");
    QTest::newRow("slower") << 9600;
    QTest::newRow("faster") << 38400;
  }
  void mismatchedRateGarbles() {
    QFETCH(int, toBaud);
    const QByteArray heard = resample(kPoll, 19200, toBaud);
    QVERIFY(!heard.isEmpty());
    QVERIFY2(heard.size() < 3 || withCheckValue(heard.chopped(2)) != heard, heard.toHex(' '));
  }

  // What one end writes reaches the others, not itself unless it echoes, at the rate each
  // end's program has set at the time.
  void bus() {
    PtyBus bus(3);
    QVERIFY(!bus.isRunning());
    QVERIFY(bus.start());
    QVERIFY(bus.isRunning());
    int fd[3];
    for (int i = 0; i < 3; ++i) QVERIFY((fd[i] = openAt(bus.path(i), B19200)) >= 0);

    QCOMPARE(::write(fd[0], kPoll.constData(), size_t(kPoll.size())), kPoll.size());
    QCOMPARE(readOn(fd[1], kPoll.size()), kPoll);
    QCOMPARE(readOn(fd[2], kPoll.size()), kPoll);
    QCOMPARE(readOn(fd[0], 1, 300), QByteArray());

    ::close(fd[2]);  // reopened at another rate, as a scan does
    QVERIFY((fd[2] = openAt(bus.path(2), B9600)) >= 0);
    bus.setEcho(0, true);
    QCOMPARE(::write(fd[0], kPoll.constData(), size_t(kPoll.size())), kPoll.size());
    QCOMPARE(readOn(fd[0], kPoll.size()), kPoll);
    QCOMPARE(readOn(fd[1], kPoll.size()), kPoll);
    const QByteArray garbled = resample(kPoll, 19200, 9600);
    QVERIFY(garbled != kPoll);
    QCOMPARE(readOn(fd[2], garbled.size()), garbled);
    for (const int f : fd) ::close(f);
  }
};

QTEST_GUILESS_MAIN(TstPtyBus)
#include "tst_ptybus.moc"
