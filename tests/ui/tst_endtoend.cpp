// The simulator end to end: the main window, loaded from a real settings file and connected to
// a pseudo-terminal, answering real Modbus masters on the other end.
#include "AppSession.h"

#include <QElapsedTimer>
#include <QProcess>

using namespace vantor;
using namespace vantor::test;

namespace {

const QByteArray kRequest = QByteArray::fromHex("010300000001840A");
const QByteArray kReply = QByteArray::fromHex("010302000A3843");  // 0x000A

QString shown(const AppSession& s, const char* label) {
  return s.get<QLabel>(label)->text();
}

// The two-line module polling holding register 0 of slave 1, connected, showing 0x0A.
void startServingTen(AppSession& s) {
  storePoll(s.ini, "Cfg1602", "", {1, 3, 0, 0});
  s.choosePort(2, "9600,n,8,1", "1602");
  s.start();
  s.connect();
  s.showValue(1, 0x0A);
}

// Sends raw bytes as a module would and returns what came back within `ms`.
QByteArray exchange(PtyPair& pty, const QByteArray& request, int expected, int ms = 300) {
  pty.write(request);
  QByteArray reply;
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms && reply.size() < qMax(expected, 1)) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    reply += pty.read(0, 1);
  }
  QCoreApplication::processEvents();
  return reply;
}

}  // namespace

class tst_simulator : public QObject {
  Q_OBJECT

 private slots:
  void libmodbusReadsTheChosenValues_data() {
    QTest::addColumn<QString>("module");
    QTest::addColumn<int>("slave");  // which quadrant the field lands in
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("function");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("type");
    QTest::addColumn<quint32>("value");
    QTest::newRow("two-line, 03, one register") << "1602" << 1 << 1 << 3 << 0 << 0 << 0x0AU;
    QTest::newRow("two-line, 04, one register") << "1602" << 1 << 2 << 4 << 16 << 2 << 0xFFFFU;
    QTest::newRow("two-line, 03, two registers") << "1602" << 1 << 17 << 3 << 9999 << 4 << 0x12345U;
    QTest::newRow("four-line slave 1") << "2004" << 1 << 1 << 3 << 0 << 0 << 0xBEEFU;
    QTest::newRow("four-line slave 2") << "2004" << 2 << 5 << 4 << 100 << 3 << 0xFFFFFU;
    QTest::newRow("four-line slave 3") << "2004" << 3 << 9 << 3 << 65535 << 1 << 0x0001U;
    QTest::newRow("four-line slave 4") << "2004" << 4 << 247 << 4 << 300 << 4 << 0x70000U;
  }
  void libmodbusReadsTheChosenValues() {
    QFETCH(QString, module);
    QFETCH(int, slave);
    QFETCH(int, address);
    QFETCH(int, function);
    QFETCH(int, start);
    QFETCH(int, type);
    QFETCH(quint32, value);
    const Poll poll{address, function, start, type};
    AppSession s;
    if (module == "1602") {
      storePoll(s.ini, "Cfg1602", "", poll);
    } else {
      // The other three slaves poll elsewhere, so only the field under test can answer.
      for (int n = 1; n <= 4; ++n)
        storePoll(s.ini, "Cfg2004", QString::number(n),
                  n == slave ? poll : Poll{100 + n, 3, 500 + n, 0});
    }
    s.choosePort(2, "9600,n,8,1", module);
    s.start();
    s.connect();
    QVERIFY2(s.dialogs.boxes.isEmpty(), qPrintable(s.dialogs.texts().join('|')));
    s.showValue(slave, value);

    ModbusMaster master(s.pty.masterFd());
    const auto read = readValue(master, poll);
    QVERIFY2(read.has_value(), qPrintable(master.lastError()));
    QCOMPARE(*read, type < 3 ? value & 0xFFFF : value);
    QCOMPARE(shown(s, "lblStatus"), QString("CRC Validated"));
    QCOMPARE(shown(s, "lblTxData").size(), (type < 3 ? 7 : 9) * 3);
  }

  void mbpollReadsTheChosenValues_data() {
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QStringList>("line");
    QTest::addColumn<QString>("table");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("expected");
    QTest::newRow("holding, 19200 8E1")
        << "19200,e,8,1" << QStringList{"-b", "19200", "-P", "even"} << "4" << 0 << "[41]: \t4660";
    QTest::newRow("two registers, 38400 8N2")
        << "38400,n,8,2" << QStringList{"-b", "38400", "-P", "none", "-s", "2"} << "4:int" << 4
        << "[41]: \t463412";  // 0x00071234, high register first
  }
  void mbpollReadsTheChosenValues() {
    QFETCH(QString, setting);
    QFETCH(QStringList, line);
    QFETCH(QString, table);
    QFETCH(int, type);
    AppSession s;
    PtyBridge bridge;
    QVERIFY(bridge.isValid());
    storePoll(s.ini, "Cfg1602", "", {7, 3, 40, type});
    s.choosePort(2, setting, "1602", bridge.nearPath());
    s.start();
    s.connect();
    s.showValue(1, 0x71234);

    QProcess mbpoll;
    mbpoll.start("mbpoll", QStringList{"-m", "rtu", "-a", "7", "-r", "41", "-t", table, "-B", "-1",
                                       "-o", "1"} +
                               line + QStringList{bridge.farPath()});
    QTRY_COMPARE_WITH_TIMEOUT(mbpoll.state(), QProcess::NotRunning, 10000);
    const QString out = QString::fromLocal8Bit(mbpoll.readAllStandardOutput());
    QVERIFY2(mbpoll.exitCode() == 0, qPrintable(out + mbpoll.readAllStandardError()));
    QFETCH(QString, expected);
    QVERIFY2(out.contains(expected), qPrintable(out));
  }

  void requestsTheSimulatorJudges_data() {
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("rx");
    const auto hex = [](const char* h) { return QByteArray::fromHex(h); };
    QTest::newRow("bad check value") << hex("010300000001840B") << QByteArray() << "CRC Error"
                                     << "01 03 00 00 00 01 84 0B ";
    QTest::newRow("swapped check bytes") << hex("0103000000010A84") << QByteArray() << "CRC Error"
                                         << "01 03 00 00 00 01 0A 84 ";
    QTest::newRow("no such slave") << hex("020300000001 8439") << QByteArray() << "CRC Validated"
                                   << "02 03 00 00 00 01 84 39 ";
    QTest::newRow("two registers asked of one")
        << hex("010300000002C40B") << QByteArray() << "CRC Validated"
        << "01 03 00 00 00 02 C4 0B ";
    QTest::newRow("ten bytes at once") << kRequest + hex("FFFF") << kReply << "CRC Validated"
                                       << "01 03 00 00 00 01 84 0A ";
  }
  void requestsTheSimulatorJudges() {
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    AppSession s;
    startServingTen(s);
    QCOMPARE(exchange(s.pty, request, reply.size()), reply);
    QTEST(shown(s, "lblStatus"), "status");
    QTEST(shown(s, "lblRxData"), "rx");
    QCOMPARE(shown(s, "lblTxData"), reply.isEmpty() ? QString() : "01 03 02 00 0A 38 43 ");
  }

  void aStrayByteCostsAtMostOnePoll() {
    AppSession s;
    startServingTen(s);
    // Noise right before a request spoils that one poll...
    QCOMPARE(exchange(s.pty, "\x55" + kRequest, 1, 100), QByteArray());
    QCOMPARE(shown(s, "lblStatus"), QString("CRC Error"));
    // ...and none after it: the remainder was dropped with it.
    for (int i = 0; i < 3; ++i) QCOMPARE(exchange(s.pty, kRequest, kReply.size()), kReply);

    // Noise followed by silence is dropped before the next request comes; so is an echo of
    // our own reply (RS-485 adapters).
    for (const QByteArray& noise : {QByteArray("\x55\x55"), kReply}) {
      s.pty.write(noise);
      QTest::qWait(30);
      QCOMPARE(exchange(s.pty, kRequest, kReply.size()), kReply);
    }
  }

  void aLoadThatStopsNamesTheMissingKey() {
    AppSession s;  // configuration never saved: nothing in [Cfg1602]
    s.choosePort(2, "9600,n,8,1", "1602");
    s.start();
    s.connect();
    QCOMPARE(s.dialogs.boxes.size(), 1);
    for (auto part : {"Saddr", "Cfg1602", "Configure LCD"})
      QVERIFY2(s.dialogs.boxes[0].detail.contains(part), qPrintable(s.dialogs.boxes[0].detail));
    QVERIFY(s.dialogs.boxes[0].text != "COMM PORT ERROR!");
    // Still connected, so that Configure LCD can be reached; nothing answers.
    QVERIFY(s.get<QWidget>("cmdCfgLcd")->isEnabled());
    QCOMPARE(exchange(s.pty, QByteArray::fromHex("000300000001 85DB"), 1, 100), QByteArray());
  }

  void reconnectingResetsTheLists() {
    AppSession s;
    storePoll(s.ini, "Cfg1602", "", {1, 3, 0, 4});
    s.choosePort(2, "9600,n,8,1", "1602");
    s.start();
    s.connect();
    s.showValue(1, 0x12345);
    QCOMPARE(shown(s, "lblReg0"), QString("40001"));
    QCOMPARE(shown(s, "lblReg1"), QString("40002"));
    QCOMPARE(shown(s, "lblSid1"), QString("Disabled"));
    s.press("cmdConnect");
    s.connect();
    for (int e = 0; e < 3; ++e) {
      auto* list = s.get<QComboBox>(QString("cboMReg1_%1").arg(e));
      QCOMPARE(list->count(), e == 2 ? 16 : 256);
      QCOMPARE(list->currentText(), QString("0x00"));
    }
  }
};

QTEST_MAIN(tst_simulator)
#include "tst_endtoend.moc"
