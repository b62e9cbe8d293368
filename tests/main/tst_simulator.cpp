// The simulator end to end: the main window, loaded from a real settings file and connected to
// a pseudo-terminal, answering real Modbus masters on the other end.
#include "ModbusMaster.h"
#include "PtyPair.h"
#include "RecordingDialogs.h"
#include "main/frmMain.h"
#include "platform/SerialPort.h"
#include "settings/modINI.h"
#include "shared/modVar.h"

#include <QComboBox>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace vantor;
using namespace vantor::test;

namespace {

// One data field as the configuration windows save it.
struct Field {
  int address;
  int function;  // 3 or 4
  int start;     // register number, 0-based
  int type;      // data-type list position: 0..2 one register, 3..4 two
};

void storeField(modINI& ini, const QString& section, const QString& suffix, const Field& f) {
  ini.WriteINI(section, "Saddr" + suffix, QString::number(f.address));
  ini.WriteINI(section, "RHigh" + suffix, QString::number(f.start >> 8));
  ini.WriteINI(section, "RLow" + suffix, QString::number(f.start & 0xFF));
  ini.WriteINI(section, "Fcode" + suffix, QString::number(f.function));
  ini.WriteINI(section, "DT" + suffix, QString::number(f.type));
}

}  // namespace

class tst_simulator : public QObject {
  Q_OBJECT

  std::unique_ptr<QTemporaryDir> dir_;
  std::unique_ptr<modINI> ini_;
  modVar vars_;
  RecordingDialogs dialogs_;
  std::unique_ptr<frmMain> window_;

  template <typename T>
  T* get(const QString& name) {
    auto* w = window_->findChild<T*>(name);
    if (!w) qFatal("no control %s", qPrintable(name));
    return w;
  }
  QString shown(const char* label) { return get<QLabel>(label)->text(); }

  // Settings for `device` behind port 2 at `setting`, then the window, connected.
  void connectTo(const QString& device, const QString& module,
                 const QString& setting = "9600,n,8,1") {
    ini_->WriteINI("Ports", "2", device);
    ini_->WriteINI("Settings", "CommPort", "2");
    ini_->WriteINI("Settings", "Setting", setting);
    ini_->WriteINI("LCD", "Module", module);
    window_ = std::make_unique<frmMain>(vars_, *ini_, dialogs_);
    get<QPushButton>("cmdConnect")->click();
    QCOMPARE(get<QPushButton>("cmdConnect")->text(), QString("Disconnect"));
  }
  void choose(int slave, int element, int value) {
    get<QComboBox>(QString("cboMReg%1_%2").arg(slave).arg(element))->setCurrentIndex(value);
  }
  // Picks the 20-bit value `value` in slave n's three lists.
  void chooseValue(int slave, quint32 value) {
    choose(slave, 0, value & 0xFF);
    choose(slave, 1, (value >> 8) & 0xFF);
    choose(slave, 2, (value >> 16) & 0x0F);
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

 private slots:
  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    ini_ = std::make_unique<modINI>(dir_->path());
    vars_ = modVar{};
    dialogs_.boxes.clear();
  }
  void cleanup() { window_.reset(); }

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
    const Field field{address, function, start, type};
    if (module == "1602") {
      storeField(*ini_, "Cfg1602", "", field);
    } else {
      // The other three slaves poll elsewhere, so only the field under test can answer.
      for (int n = 1; n <= 4; ++n)
        storeField(*ini_, "Cfg2004", QString::number(n),
                   n == slave ? field : Field{100 + n, 3, 500 + n, 0});
    }
    PtyPair pty;
    connectTo(pty.devicePath(), module);
    QVERIFY2(dialogs_.boxes.isEmpty(), qPrintable(dialogs_.texts().join('|')));
    chooseValue(slave, value);

    ModbusMaster master(pty.masterFd());
    const int count = type < 3 ? 1 : 2;
    const auto regs = serve([&] {
      return function == 3 ? master.readHolding(address, start, count)
                           : master.readInput(address, start, count);
    });
    QVERIFY2(regs.has_value(), qPrintable(master.lastError()));
    if (count == 1) {
      QCOMPARE((*regs)[0], quint16(value & 0xFFFF));
    } else {
      QCOMPARE((*regs)[0], quint16(value >> 16));
      QCOMPARE((*regs)[1], quint16(value & 0xFFFF));
    }
    QCOMPARE(shown("lblStatus"), QString("CRC Validated"));
    QCOMPARE(shown("lblTxData").size(), (count == 1 ? 7 : 9) * 3);

    // Asked with the wrong function code or register count, the slave stays silent.
    const auto wrong = serve([&] {
      return function == 3 ? master.readInput(address, start, count)
                           : master.readHolding(address, start, 3 - count);
    });
    QVERIFY(!wrong.has_value());
    QCOMPARE(shown("lblStatus"), QString("CRC Validated"));
    QCOMPARE(shown("lblTxData"), QString());
  }

  void mbpollReadsTheChosenValues_data() {
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QStringList>("line");
    QTest::addColumn<QString>("table");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("expected");
    QTest::newRow("holding, 19200 8E1")
        << "19200,e,8,1" << QStringList{"-b", "19200", "-P", "even"} << "4" << 0 << "[41]: \t4660";
    QTest::newRow("input, 9600 8N1")
        << "9600,n,8,1" << QStringList{"-b", "9600", "-P", "none"} << "3" << 1 << "[41]: \t4660";
    QTest::newRow("two registers, 38400 8N2")
        << "38400,n,8,2" << QStringList{"-b", "38400", "-P", "none", "-s", "2"} << "4:int" << 4
        << "[41]: \t463412";  // 0x00071234, high register first
  }
  void mbpollReadsTheChosenValues() {
    QFETCH(QString, setting);
    QFETCH(QStringList, line);
    QFETCH(QString, table);
    QFETCH(int, type);
    storeField(*ini_, "Cfg1602", "", {7, table.startsWith('3') ? 4 : 3, 40, type});
    PtyBridge bridge;
    QVERIFY(bridge.isValid());
    connectTo(bridge.nearPath(), "1602", setting);
    chooseValue(1, 0x71234);

    QProcess mbpoll;
    mbpoll.start("mbpoll", QStringList{"-m", "rtu", "-a", "7", "-r", "41", "-t", table, "-B",
                                       "-1", "-o", "1"} +
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
    QTest::newRow("one register") << hex("010300000001840A") << hex("010302000A3843")
                                  << "CRC Validated" << "01 03 00 00 00 01 84 0A ";
    QTest::newRow("bad check value") << hex("010300000001840B") << QByteArray() << "CRC Error"
                                     << "01 03 00 00 00 01 84 0B ";
    QTest::newRow("swapped check bytes") << hex("0103000000010A84") << QByteArray() << "CRC Error"
                                         << "01 03 00 00 00 01 0A 84 ";
    QTest::newRow("no such slave") << hex("02030000000184 39") << QByteArray() << "CRC Validated"
                                   << "02 03 00 00 00 01 84 39 ";
    QTest::newRow("two registers asked of one") << hex("010300000002C40B") << QByteArray()
                                                << "CRC Validated" << "01 03 00 00 00 02 C4 0B ";
    QTest::newRow("ten bytes at once") << hex("010300000001840AFFFF") << hex("010302000A3843")
                                       << "CRC Validated" << "01 03 00 00 00 01 84 0A ";
  }
  void requestsTheSimulatorJudges() {
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    storeField(*ini_, "Cfg1602", "", {1, 3, 0, 0});
    PtyPair pty;
    connectTo(pty.devicePath(), "1602");
    chooseValue(1, 0x0A);
    QCOMPARE(exchange(pty, request, reply.size()), reply);
    QTEST(shown("lblStatus"), "status");
    QTEST(shown("lblRxData"), "rx");
    QCOMPARE(shown("lblTxData"), reply.isEmpty() ? QString() : "01 03 02 00 0A 38 43 ");
  }

  void aStrayByteCostsAtMostOnePoll() {
    storeField(*ini_, "Cfg1602", "", {1, 3, 0, 0});
    PtyPair pty;
    connectTo(pty.devicePath(), "1602");
    chooseValue(1, 0x0A);
    const QByteArray request = QByteArray::fromHex("010300000001840A");
    const QByteArray reply = QByteArray::fromHex("010302000A3843");

    // Noise right before a request spoils that one poll...
    QCOMPARE(exchange(pty, "\x55" + request, 1, 100), QByteArray());
    QCOMPARE(shown("lblStatus"), QString("CRC Error"));
    // ...and none after it: the remainder was dropped with it.
    for (int i = 0; i < 3; ++i) QCOMPARE(exchange(pty, request, reply.size()), reply);

    // Noise followed by silence is dropped before the next request comes.
    pty.write("\x55\x55");
    QTest::qWait(30);
    QCOMPARE(exchange(pty, request, reply.size()), reply);
    // An echo of our own reply (RS-485 adapters) does not misalign the next request either.
    pty.write(reply);
    QTest::qWait(30);
    QCOMPARE(exchange(pty, request, reply.size()), reply);
  }

  void aLoadThatStopsNamesTheMissingKey() {
    // Configuration never saved: nothing in [Cfg1602].
    PtyPair pty;
    connectTo(pty.devicePath(), "1602");
    QCOMPARE(dialogs_.boxes.size(), 1);
    QVERIFY(dialogs_.boxes[0].detail.contains("Saddr"));
    QVERIFY(dialogs_.boxes[0].detail.contains("Cfg1602"));
    QVERIFY(dialogs_.boxes[0].detail.contains("Configure LCD"));
    QVERIFY(dialogs_.boxes[0].text != "COMM PORT ERROR!");
    // Still connected, so that Configure LCD can be reached; nothing answers.
    QVERIFY(window_->port().isOpen());
    QVERIFY(get<QPushButton>("cmdCfgLcd")->isEnabled());
    QCOMPARE(exchange(pty, QByteArray::fromHex("000300000001 85DB"), 1, 100), QByteArray());
    QCOMPARE(shown("lblStatus"), QString("CRC Validated"));
  }

  void reconnectingResetsTheLists() {
    storeField(*ini_, "Cfg1602", "", {1, 3, 0, 4});
    PtyPair pty;
    connectTo(pty.devicePath(), "1602");
    chooseValue(1, 0x12345);
    QCOMPARE(shown("lblReg0"), QString("40001"));
    QCOMPARE(shown("lblReg1"), QString("40002"));
    QCOMPARE(shown("lblSid1"), QString("Disabled"));
    get<QPushButton>("cmdConnect")->click();
    get<QPushButton>("cmdConnect")->click();
    for (int e = 0; e < 3; ++e) {
      auto* list = get<QComboBox>(QString("cboMReg1_%1").arg(e));
      QCOMPARE(list->count(), e == 2 ? 16 : 256);
      QCOMPARE(list->currentText(), QString("0x00"));
    }
  }
};

QTEST_MAIN(tst_simulator)
#include "tst_simulator.moc"
