// The main window end to end: a real settings file, a pseudo-terminal as its serial line and
// real Modbus masters (libmodbus, mbpoll) or raw bytes on the far end.
#include "AppSession.h"
#include "core/modbus/Crc16.h"
#include "core/monitor/EchoFilter.h"
#include "core/monitor/LogExport.h"
#include "ui/BusMonitor.h"
#include "ui/LcdView.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QTableWidget>

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalSpy>

using namespace vantor;
using namespace vantor::test;
using namespace Qt::Literals::StringLiterals;

Q_DECLARE_METATYPE(vantor::test::Poll)

namespace {

const QByteArray kRequest = QByteArray::fromHex("010300000001840A");  // slave 1, 03, register 0
const QByteArray kReply = QByteArray::fromHex("010302000A3843");      // 0x000A

// Whether the window shows itself connected, and whether its port truly holds the device.
void verifyConnected(const AppSession& s, bool connected) {
  QCOMPARE(s.connectCaption(), QString(connected ? "Disconnect" : "Connect"));
  QCOMPARE(s.get<QGroupBox>("fComm")->isEnabled(), !connected);
  QCOMPARE(s.get<QPushButton>("cmdCfgLcd")->isEnabled(), connected);
  QCOMPARE(s.get<QGroupBox>("fModSim")->isEnabled(), connected);
  QCOMPARE(s.main->isConnected(), connected);
  QCOMPARE(holdDevice(s.pty.devicePath()) == nullptr, connected);
}

// The window connected on the pty behind port 2, serving `module` configured with `polls`
// (one for the two-line module, four for the four-line one).
void startServing(AppSession& s, const QString& module, const QList<Poll>& polls,
                  const QString& setting = "9600,n,8,2") {
  for (qsizetype i = 0; i < polls.size(); ++i)
    storePoll(s.ini, "Cfg" + module, module == "1602" ? "" : QString::number(i + 1), polls[i]);
  s.choosePort(2, setting, module);
  s.start();
  s.connect();
  QVERIFY2(s.dialogs.boxes.isEmpty(), qPrintable(s.dialogs.texts().join('|')));
}

// Writes `bytes` as a module would; what comes back within `ms` (at most one reply).
QByteArray exchange(AppSession& s, const QByteArray& bytes, int ms = 300) {
  s.pty.write(bytes);
  QByteArray reply;
  QElapsedTimer t;
  for (t.start(); t.elapsed() < ms && reply.size() < kReply.size(); reply += s.pty.read(0, 1))
    QCoreApplication::processEvents();
  return reply;
}

// A read request with its check value; `broken` spoils the check value.
QByteArray request(int address, int function, int start, int count, bool broken = false) {
  QByteArray r;
  r.append(char(address)).append(char(function)).append(char(start >> 8)).append(char(start));
  r.append('\0').append(char(count));
  const CheckValue c = checkValue(r);
  return r.append(char(c.lo)).append(char(broken ? c.hi ^ 1 : c.hi));
}

// What a byte display shows, as the bytes it stands for.
QByteArray shownBytes(const AppSession& s, const QString& display) {
  return QByteArray::fromHex(s.get<QLabel>(display)->text().toLatin1());
}

}  // namespace

class tst_mainwindow : public QObject {
  Q_OBJECT

 private slots:
  void connectDisconnectAndALostDevice() {
    AppSession s;
    startServing(s, "1602", {{1, 3, 0, 0}});
    verifyConnected(s, true);
    s.press("cmdConnect");
    verifyConnected(s, false);
    auto other = holdDevice(s.pty.devicePath());  // now another program has the device
    s.press("cmdConnect");
    QCOMPARE(s.dialogs.texts(), QStringList{"COMM PORT ERROR!"});
    QVERIFY(s.dialogs.boxes[0].detail.contains(s.pty.devicePath()));
    QCOMPARE(s.connectCaption(), QString("Connect"));

    other.reset();
    s.connect();
    s.pty.closeMaster();  // the device goes away: back to disconnected, with one message
    QTRY_COMPARE_WITH_TIMEOUT(s.connectCaption(), QString("Connect"), 3000);
    QVERIFY(!s.main->isConnected() && !s.get<QGroupBox>("fModSim")->isEnabled());
    QTest::qWait(100);  // a closed port stays quiet: no further reports pile up
    QCOMPARE(s.dialogs.boxes.size(), 2);
    QVERIFY(s.dialogs.boxes[1].detail.contains(s.pty.devicePath()));
  }

  void storesTheLastConnectAndRestoresIt_data() {
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("setting");  // as stored; its baud rate names the radio button
    QTest::addColumn<int>("format");       // Data Format position
    QTest::addColumn<int>("module");       // Select Module position
    QTest::addColumn<QString>("stored");   // the module as stored
    QTest::newRow("9600 8N2, two-line") << 20 << "9600,n,8,2" << 1 << 0 << "1602";
    QTest::newRow("19200 8E1, four-line") << 1 << "19200,e,8,1" << 2 << 1 << "2004";
    QTest::newRow("38400 8N1, two-line") << 7 << "38400,n,8,1" << 0 << 0 << "1602";
  }
  void storesTheLastConnectAndRestoresIt() {
    QFETCH(int, port);
    QFETCH(QString, setting);
    QFETCH(int, format);
    QFETCH(int, module);
    const QString baud = "opt" + setting.section(',', 0, 0);
    const std::pair<const char*, int> lists[] = {
        {"cboComm", port - 1}, {"cboDF", format}, {"cboModule", module}};
    AppSession s;
    s.set("Ports", QString::number(port), s.pty.devicePath());
    s.start();  // a first start: nothing stored
    s.get<QRadioButton>(baud)->setChecked(true);
    for (auto [name, position] : lists) s.get<QComboBox>(name)->setCurrentIndex(position);
    s.connect();
    s.press("cmdConnect");
    s.get<QComboBox>("cboComm")->setCurrentIndex(port % 20);  // these two never connected
    s.get<QComboBox>("cboDF")->setCurrentIndex((format + 1) % 3);
    s.main->close();
    QCOMPARE(s.ini.read("Settings", "CommPort"), QString::number(port));
    QCOMPARE(s.ini.read("Settings", "Setting"), setting);
    QTEST(s.ini.read("LCD", "Module"), "stored");

    s.start();  // the next start shows what was stored
    QVERIFY(s.get<QRadioButton>(baud)->isChecked());
    for (auto [name, position] : lists) QCOMPARE(s.get<QComboBox>(name)->currentIndex(), position);
  }

  void libmodbusReadsTheChosenValue_data() {
    QTest::addColumn<QString>("module");
    QTest::addColumn<int>("slave");  // the field polled: which value lists answer
    QTest::addColumn<Poll>("poll");
    QTest::addColumn<quint32>("value");
    QTest::newRow("1602, 03, one register") << "1602" << 1 << Poll{1, 3, 0, 0} << 0xBEEFU;
    QTest::newRow("1602, 04, two registers") << "1602" << 1 << Poll{17, 4, 9999, 4} << 0x12345U;
    QTest::newRow("2004, 04, one register") << "2004" << 2 << Poll{5, 4, 100, 1} << 0xFFFFU;
    QTest::newRow("2004, 03, two registers") << "2004" << 4 << Poll{200, 3, 300, 3} << 0xF0001U;
  }
  void libmodbusReadsTheChosenValue() {
    QFETCH(QString, module);
    QFETCH(int, slave);
    QFETCH(Poll, poll);
    QFETCH(quint32, value);
    // The other fields poll other addresses and registers: only the one under test can answer.
    QList<Poll> polls{{101, 3, 501, 0}, {102, 3, 502, 0}, {103, 3, 503, 0}, {104, 3, 504, 0}};
    polls.resize(module == "1602" ? 1 : 4);
    polls[slave - 1] = poll;
    AppSession s;
    startServing(s, module, polls);
    s.showValue(slave, value);

    ModbusMaster master(s.pty.masterFd(), 200);
    const auto read = readValue(master, poll);
    QVERIFY2(read, qPrintable(master.lastError()));
    QCOMPARE(*read, value);  // two registers: high one first
    // The same poll of an address no field has goes unanswered.
    QVERIFY(!readValue(master, {poll.address + 1, poll.function, poll.start, poll.type}));
  }

  void mbpollReadsTheChosenValue() {
    AppSession s;
    // mbpoll's own line settings: 19200 baud, even parity (which a pseudo-terminal ignores).
    startServing(s, "1602", {{7, 4, 40, 4}}, "19200,e,8,1");
    s.showValue(1, 0x71234);
    PtyPair far(true);  // mbpoll's line; this thread relays between it and the window's
    QProcess mbpoll;
    mbpoll.start("mbpoll", {"-m", "rtu", "-a", "7", "-r", "41", "-t", "3:int", "-B", "-1", "-o",
                            "1", far.devicePath()});
    relayWhileRunning(s.pty, far, mbpoll);
    const QString out = QString::fromLocal8Bit(mbpoll.readAll() + mbpoll.readAllStandardError());
    QVERIFY2(out.contains("[41]: \t463412"), qPrintable(out));  // 0x71234, high register first
  }

  // The bus monitor says what each poll was and why one went unanswered, counts them, and
  // exports what it shows. A slave is its Modbus address, the quadrant its field: field 2
  // polls address 7 here.
  void busMonitorLogsCountsAndExports() {
    AppSession s;
    startServing(s, "2004", {{1, 3, 0, 0}, {7, 3, 10, 0}, {3, 3, 20, 3}, {4, 4, 30, 0}});
    s.showValue(1, 0x0A);
    s.showValue(2, 0x0B);
    const std::pair<QByteArray, QString> polls[] = {
        {kRequest, "CRC Validated, answered by slave 1 (field 1)"},
        {request(7, 3, 10, 1), "CRC Validated, answered by slave 7 (field 2)"},
        {request(5, 3, 0, 1), "CRC Validated, unanswered: no simulated slave has address 5"},
        {request(7, 4, 10, 1),
         "CRC Validated, unanswered: slave 7 (field 2) is polled with function 04 but "
         "configured for 03"},
        {request(7, 3, 16, 1),
         "CRC Validated, unanswered: slave 7 (field 2) expects register 0x000A, the "
         "poll asks for 0x0010"},
        {request(7, 3, 10, 2),
         "CRC Validated, unanswered: slave 7 (field 2) expects 1 register, the poll asks for 2"},
        {request(1, 3, 0, 1, true), "CRC Error (expected check value 84 0A)"}};
    for (const auto& [bytes, what] : polls) exchange(s, bytes, 60);
    TrafficLog& log = s.main->monitor().log();
    const auto whats = [&log](Direction direction) {
      QStringList texts;
      for (int row = 0; row < log.rowCount(); ++row)
        if (log.event(row).direction == direction)
          texts << log.data(log.index(row, TrafficLog::WhatColumn)).toString();
      return texts;
    };
    QStringList expected;
    for (const auto& poll : polls) expected << poll.second;
    QTRY_COMPARE(whats(Direction::Rx), expected);
    QCOMPARE(whats(Direction::Tx), QStringList({"reply of slave 1", "reply of slave 7"}));
    const auto* table = s.get<QTableWidget>("tblCounters");
    QCOMPARE(table->verticalHeaderItem(1)->text(), QString("Slave 7 (field 2)"));
    QCOMPARE(s.get<QLabel>("lblField2")->text(), QString("Field 2 \u00b7 slave 7"));
    const BusCounters& counters = s.main->monitor().counters();
    QCOMPARE(counters.counts(0).requests, 7);
    QCOMPARE(counters.counts(0).replies, 2);
    QCOMPARE(counters.counts(0).unanswered, 4);
    QCOMPARE(counters.counts(0).crcErrors, 1);
    QCOMPARE(counters.counts(2).unanswered, 3);

    s.dialogs.saveAs = s.folder() + "/log.jsonl";
    s.get<QComboBox>("cboLogSlave")->setCurrentIndex(2);  // slave 2 only
    QSignalSpy exported(&s.main->monitor(), &BusMonitor::exportFinished);
    s.press("cmdExport");
    QVERIFY(exported.wait(5000));
    const QList<QByteArray> lines = fileBytes(s.dialogs.saveAs).trimmed().split('\n');
    QCOMPARE(lines.size(), 5);
    QVERIFY(lines[2].contains("\"kind\":\"unanswered\",\"slave\":null,"));
    QCOMPARE(s.get<QLabel>("lblLastNotice")->text(),
             "Exported 5 rows to " + s.dialogs.saveAs + ".");

    // A bare name takes the chosen filter's suffix; the next suggestion is in the last folder.
    s.dialogs.saveAs = s.folder() + "/mylog";
    s.dialogs.chooseFilter = "CSV (*.csv)";
    s.press("cmdExport");
    QVERIFY(exported.wait(20000));
    QVERIFY(fileBytes(s.folder() + "/mylog.csv").startsWith("time,direction,bytes,kind"));
    QCOMPARE(s.dialogs.suggestedNames.size(), 2);
    QVERIFY2(QRegularExpression("^" + QRegularExpression::escape(s.folder()) +
                                R"(/vantor-log-\d{8}-\d{6}\.csv$)")
                 .match(s.dialogs.suggestedNames[1])
                 .hasMatch(),
             qPrintable(s.dialogs.suggestedNames[1]));
    s.dialogs.answers = {false};  // the name with its suffix is taken: not replaced
    s.press("cmdExport");
    QVERIFY(s.dialogs.texts().contains(s.folder() + "/mylog.csv already exists. Replace it?"));
    QVERIFY(s.get<QPushButton>("cmdExport")->isEnabled());
  }

  // Record to...: every event goes to the file as it happens, the log paused or not, until
  // Stop recording; the file reads back as an export.
  void recordsEveryEventAsItGoes() {
    AppSession s;
    startServing(s, "1602", {{1, 3, 0, 0}});
    s.dialogs.saveAs = s.folder() + "/site";
    s.dialogs.chooseFilter = "JSON Lines (*.jsonl)";
    s.press("cmdRecord");
    const QString path = s.folder() + "/site.jsonl";
    QCOMPARE(s.get<QPushButton>("cmdRecord")->text(), QString("Stop recording"));
    s.press("cmdPause");
    QCOMPARE(exchange(s, kRequest).size(), 7);
    exchange(s, request(5, 3, 0, 1), 60);
    const auto kinds = [&path] {
      QStringList read;
      const LogReading reading = readLog(fileBytes(path), LogFormat::JsonLines);
      for (const LogRecord& r : reading.records) read << r.kind;
      return reading.fault.isEmpty() ? read : QStringList{reading.fault};
    };
    QTRY_COMPARE(kinds(), (QStringList{"answered", "reply", "unanswered"}));
    QCOMPARE(s.main->monitor().log().rowCount(), 0);
    s.press("cmdRecord");
    QCOMPARE(s.get<QLabel>("lblLastNotice")->text(), "Recorded 3 rows to " + path + ".");
    QCOMPARE(exchange(s, kRequest).size(), 7);
    QTRY_COMPARE(s.main->monitor().counters().counts(0).requests, 3);
    QCOMPARE(kinds().size(), 3);
  }

  // On an echoing two-wire line the reply comes back: it is dropped and logged as an echo.
  // This reply starts with eight bytes that are a valid poll of the same slave, so answering
  // it would answer our own replies for ever.
  void anEchoIsNotARequest() {
    AppSession s;
    startServing(s, "1602", {{1, 3, 0x400, 3}});
    s.showValue(1, 0x02C5);
    const QByteArray poll = request(1, 3, 0x400, 2);
    TrafficLog& log = s.main->monitor().log();
    // The echo counts as one only within EchoFilter::kWindowMs of the reply. On a busy machine
    // this test can be slower than that to hand it back: the log's times tell, and such a try
    // is made again rather than judged.
    bool dropped = false;
    for (int tries = 0; tries < 8 && !dropped; ++tries) {
      const int before = log.rowCount();
      const QByteArray reply = exchange(s, poll);
      QCOMPARE(reply.size(), 9);
      const QByteArray answer = exchange(s, reply, 100);
      QTRY_VERIFY(log.rowCount() >= before + 3);
      const TrafficEvent echo = log.event(before + 2);
      dropped = answer.isEmpty() && echo.kind == EventKind::Echo;
      const qint64 gap = log.event(before + 1).time.msecsTo(echo.time);
      QVERIFY2(dropped || gap >= EchoFilter::kWindowMs,
               qPrintable(QString("echo %1 ms after the reply taken for a request").arg(gap)));
      QTRY_VERIFY(log.rowCount() == before + (dropped ? 3 : 4));
      if (!dropped) s.pty.read(9 - answer.size(), 5000);  // the rest of the late answer
    }
    QVERIFY(dropped);
    QCOMPARE(s.main->monitor().counters().counts(0).echoes, 1);
    const QByteArray reply = exchange(s, poll);
    s.get<QCheckBox>("chkEcho")->setChecked(false);  // judged as a request now
    exchange(s, poll);
    QCOMPARE(exchange(s, reply, 100).size(), 9);
  }

  // A value typed as the module shows it sets the lists and is read back decoded; a value the
  // type cannot carry is refused with the range. Faults set on a slave show while on.
  void typedValuesAndFaults() {
    AppSession s;
    s.set("Cfg2004", "DP1", "1");
    startServing(s, "2004", {{1, 3, 0, 1}, {2, 3, 0, 0}, {3, 3, 0, 0}, {4, 3, 0, 0}});
    auto* typed = s.get<QLineEdit>("txtValue1");
    for (const char* text : {"-12.5", "4000"}) {  // the second is beyond a signed 16-bit value
      typed->setText(text);
      QTest::keyClick(typed, Qt::Key_Return);
    }
    QCOMPARE(s.get<QComboBox>("cboMReg1_1")->currentIndex(), 0xFF);
    QCOMPARE(s.get<QComboBox>("cboMReg1_0")->currentIndex(), 0x83);
    QVERIFY(s.get<QLabel>("lblDecoded1")->text().contains("-3276.8 to 3276.7"));
    s.showValue(2, 0x0B);

    // A reply held back does not hold up the next request: slave 2 answers first.
    s.main->setFault(1, Fault{FaultKind::None, 6, 150, 150, 1});
    QVERIFY(s.get<QLabel>("lblFault1")->text().contains("delayed 150 ms"));
    QCOMPARE(exchange(s, request(1, 3, 0, 1), 20), QByteArray());
    QCOMPARE(exchange(s, request(2, 3, 0, 1), 100), QByteArray::fromHex("020302000BBD83"));
    QCOMPARE(exchange(s, {}, 400), QByteArray::fromHex("01030"
                                                       "2FF83B815"));

    s.main->setFault(1, Fault{FaultKind::Exception, 4});
    QVERIFY(s.get<QLabel>("lblFault1")->text().contains("exception 04 (server device failure)"));
    ModbusMaster master(s.pty.masterFd(), 200);
    QVERIFY(!readValue(master, {1, 3, 0, 1}));
    QVERIFY2(master.lastError().contains("failure"), qPrintable(master.lastError()));
    QTRY_COMPARE_WITH_TIMEOUT(s.main->monitor().counters().counts(1).exceptions, 1, 20000);
    s.main->setFault(1, {});
    QCOMPARE(s.get<QLabel>("lblFault1")->text(), QString());
    QCOMPARE(readValue(master, {1, 3, 0, 1}), std::optional<quint32>(0xFF83));
  }

  // The display as the module shows it now: a value answered to a real poll fills its field's
  // cells; a slave kept silent fades its field, with the reason.
  void displayShowsTheAnsweredValues() {
    AppSession s;
    s.set("Cfg2004", "DP2", "1");
    s.set("Cfg2004", "SP2", "10");
    s.set("Settings", "AF", "2");
    const Poll second{2, 3, 0, 1};  // signed
    startServing(s, "2004", {{1, 3, 0, 0}, second, {3, 3, 0, 0}, {4, 3, 0, 0}});
    auto* typed = s.get<QLineEdit>("txtValue2");
    typed->setText("-12.5");
    QTest::keyClick(typed, Qt::Key_Return);
    const auto* lcd = s.get<LcdView>("lcdPreview");
    const auto dimmed = [lcd] {
      const auto& cells = lcd->preview().cells;
      return std::any_of(cells.begin(), cells.end(),
                         [](const FieldCells& c) { return c.field == 2 && c.dimmed; });
    };
    const auto* findings = s.get<QLabel>("lblFindings");
    QVERIFY(!lcd->accessibleDescription().contains("-12.5"));

    ModbusMaster master(s.pty.masterFd(), 500);
    QCOMPARE(readValue(master, second), std::optional<quint32>(0xFF83));
    QTRY_VERIFY_WITH_TIMEOUT(lcd->accessibleDescription().contains("-12.5"), 20000);
    QVERIFY2(!findings->text().contains("field 2: ") && !dimmed(), qPrintable(findings->text()));

    // A late reply still carries its value: the field shows it, faded by nothing.
    s.main->setFault(2, Fault{FaultKind::None, 6, 60, 120, 1});
    const BusCounters& counters = s.main->monitor().counters();
    const qint64 replies = counters.counts(2).replies;
    QCOMPARE(readValue(master, second), std::optional<quint32>(0xFF83));
    QTRY_VERIFY_WITH_TIMEOUT(counters.counts(2).replies > replies, 20000);
    QVERIFY2(!findings->text().contains("field 2: ") && !dimmed(), qPrintable(findings->text()));
    QVERIFY(lcd->accessibleDescription().contains("-12.5"));

    s.main->setFault(2, Fault{FaultKind::Silent, 6, 0, 0, 1});
    QVERIFY(!readValue(master, second));
    QTRY_VERIFY_WITH_TIMEOUT(findings->text().contains("field 2: no value: no reply"), 20000);
    QVERIFY(dimmed() && !lcd->accessibleDescription().contains("-12.5"));
  }

  // The whole bench saved to a scenario and opened again over changes; a file for the other
  // module is refused and changes nothing. At the next start the values come back, the faults
  // do not.
  void benchFilesAndValuesKeptAcrossARestart() {
    AppSession s;
    s.set("Cfg2004", "DP1", "1");
    startServing(s, "2004", {{1, 3, 0, 1}, {2, 3, 0, 0}, {3, 3, 0, 0}, {4, 3, 0, 0}});
    auto* typed = s.get<QLineEdit>("txtValue1");
    typed->setText("-12.5");
    QTest::keyClick(typed, Qt::Key_Return);
    s.showValue(2, 0x0B);
    s.main->setFault(3, Fault{FaultKind::Silent, 6, 0, 0, 2});
    s.main->setSweep(4, Sweep::ramp(5, 100, 10));
    s.dialogs.saveAs = s.folder() + "/bench";
    s.press("saveBench");
    const QString file = s.dialogs.saveAs + ".vbench";
    QVERIFY2(QFile::exists(file), qPrintable(s.dialogs.texts().join('|')));
    QCOMPARE(s.get<QLabel>("lblLastNotice")->text(), "Saved the bench to " + file + ".");

    typed->clear();
    s.showValue(1, 0);
    s.showValue(2, 0);
    s.main->setFault(3, {});
    s.main->setSweep(4, std::nullopt);
    s.dialogs.openPath = file;
    s.press("openBench");
    QCOMPARE(typed->text(), QString("-12.5"));
    QCOMPARE(s.get<QLabel>("lblScenario")->toolTip(), file);
    ModbusMaster master(s.pty.masterFd(), 500);
    QCOMPARE(readValue(master, {1, 3, 0, 1}), std::optional<quint32>(0xFF83));
    QCOMPARE(readValue(master, {2, 3, 0, 0}), std::optional<quint32>(0x0B));
    QCOMPARE(readValue(master, {3, 3, 0, 0}), std::optional<quint32>(0));
    QVERIFY(!readValue(master, {3, 3, 0, 0}));  // silent on every second poll
    QCOMPARE(readValue(master, {4, 3, 0, 0}), std::optional<quint32>(5));
    QCOMPARE(readValue(master, {4, 3, 0, 0}), std::optional<quint32>(15));

    const QString other = s.folder() + "/two-line.vbench";
    QVERIFY(writeFileBytes(other, R"({"vantor-bench": 1, "module": "1602", "slaves": {}})"));
    s.dialogs.openPath = other;
    s.press("openBench");
    QCOMPARE(s.dialogs.texts(), QStringList{"The bench was not opened."});
    QVERIFY(s.dialogs.boxes[0].detail.startsWith(other + " is for the 1602 module"));
    QCOMPARE(typed->text(), QString("-12.5"));
    QVERIFY(!s.get<QLabel>("lblFault3")->text().isEmpty());

    s.main->close();
    s.start();
    s.connect();
    QCOMPARE(s.get<QLineEdit>("txtValue1")->text(), QString("-12.5"));
    QCOMPARE(readValue(master, {1, 3, 0, 1}), std::optional<quint32>(0xFF83));
    QCOMPARE(readValue(master, {2, 3, 0, 0}), std::optional<quint32>(0x0B));
    QCOMPARE(readValue(master, {3, 3, 0, 0}), std::optional<quint32>(0));
    QCOMPARE(readValue(master, {3, 3, 0, 0}), std::optional<quint32>(0));
    QCOMPARE(s.get<QLabel>("lblFault3")->text(), QString());
  }

  // Answer every poll from the window: the switch and the register map reach the next poll
  // while connected, a bad cell is shown and its row not used, and both are kept for the next
  // start.
  void answersEveryPollFromTheRegisterMap() {
    AppSession s;
    startServing(s, "1602", {{1, 3, 0, 0}});
    ModbusMaster master(s.pty.masterFd(), 300);
    const Poll other{9, 4, 16, 0};
    QVERIFY(!readValue(master, other));
    auto* table = s.get<QTableWidget>("tblRegisterMap");
    s.press("cmdAddRegister");
    s.press("cmdAddRegister");
    const QStringList cells{"9", "4", "0x10", "0x1234"};
    for (int c = 0; c < 4; ++c) table->item(0, c)->setText(cells[c]);
    table->item(1, 3)->setText("70000");
    s.get<QCheckBox>("chkAnswerAll")->click();
    QCOMPARE(readValue(master, other), std::optional<quint32>(0x1234));
    QCOMPARE(readValue(master, {1, 3, 1, 0}), std::optional<quint32>(0));
    QVERIFY(s.get<QLabel>("lblRegisterMap")->text().startsWith("Row 2, Value: give a value"));

    s.main->close();
    QCOMPARE(s.ini.read("AnswerAll", "Register2"), QString("1:3:1=70000"));
    s.start();
    s.connect();
    QVERIFY(s.get<QCheckBox>("chkAnswerAll")->isChecked());
    QCOMPARE(readValue(master, other), std::optional<quint32>(0x1234));
  }

  void answersWhatArrives_data() {
    QTest::addColumn<QByteArray>("noise");  // sent first, then silence
    QTest::addColumn<int>("split");         // the request comes in two pieces, so many bytes first
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("status");
    QTest::newRow("a request") << ""_ba << 0 << kRequest << kReply << "CRC Validated";
    QTest::newRow("bad CRC") << ""_ba << 0 << kRequest.first(7) + '\x0B' << ""_ba
                             << "CRC Error";
    QTest::newRow("noise first") << "\x55\x55"_ba << 0 << kRequest << kReply << "CRC Validated";
    QTest::newRow("in two pieces") << ""_ba << 7 << kRequest << kReply << "CRC Validated";
  }
  void answersWhatArrives() {
    QFETCH(QByteArray, noise);
    QFETCH(int, split);
    QFETCH(QByteArray, request);
    AppSession s;
    startServing(s, "1602", {{1, 3, 0, 0}});
    s.showValue(1, 0x0A);
    if (!noise.isEmpty()) QCOMPARE(exchange(s, noise, 30), QByteArray());
    if (split) QVERIFY(s.pty.write(request.first(split)));
    QTEST(exchange(s, request.sliced(split)), "reply");
    QFETCH(QString, status);
    QTRY_COMPARE(s.get<QLabel>("lblStatus")->text(), status);
    QCOMPARE(shownBytes(s, "lblRxData"), request);
    QTEST(shownBytes(s, "lblTxData"), "reply");
  }

  // A laptop's screen and a keyboard: the window goes down to 700 px with the log and the
  // counters in a splitter, and keeps its size and splits; Tab walks the controls as they
  // read and leaves both tables; Enter is Connect; a slave not configured takes no input.
  void smallScreenAndKeyboard() {
    AppSession s;
    startServing(s, "1602", {{1, 3, 0, 0}});
    QVERIFY(s.main->minimumSizeHint().height() <= 700);
    s.main->resize(1000, 690);
    QVERIFY(!s.get<QPushButton>("cmdBench2")->isEnabled());
    QVERIFY(!s.get<QLineEdit>("txtValue4")->isEnabled());
    QCOMPARE(s.get<QPushButton>("cmdBench1")->accessibleName(), QString("Slave 1 faults"));

    s.main->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(s.main.get()));
    s.get<QPushButton>("cmdConnect")->setFocus();
    QStringList walk;
    for (int i = 0; i < 30 && !walk.contains("cmdResetCounters"); ++i) {
      walk << QApplication::focusWidget()->objectName();
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(walk.mid(0, 6), QStringList({"cmdConnect", "cmdCfgLcd", "cboMReg1_2", "cboMReg1_1",
                                          "cboMReg1_0", "txtValue1"}));
    QVERIFY2(walk.contains("cmdResetCounters") || walk.count("tblCounters") == 1,
             qPrintable(walk.join(' ')));
    QCOMPARE(walk.count("tblLog"), 1);

    // Enter on a value list does what the list does: the port stays open. On a control of
    // the line it is Connect.
    s.get<QComboBox>("cboMReg1_0")->setFocus();
    QTest::keyClick(s.get<QComboBox>("cboMReg1_0"), Qt::Key_Return);
    QVERIFY(s.main->isConnected());
    // The access key lasts whatever the caption has become since.
    for (const bool connected : {false, true, false}) {
      QTest::keyClick(s.main.get(), Qt::Key_C, Qt::AltModifier);
      QCOMPARE(s.main->isConnected(), connected);
    }
    QTest::keyClick(s.get<QComboBox>("cboDF"), Qt::Key_Enter);
    QVERIFY(s.main->isConnected());

    const QList<int> splits = s.main->monitor().splitSizes();
    s.main->close();
    s.start();
    QCOMPARE(s.main->size(), QSize(1000, 690));
    QCOMPARE(s.main->monitor().splitSizes(), splits);

    // A size kept on a larger screen comes back within this one (1366x768, the test's).
    s.main->close();
    s.set("Window", "Size", "2560x1440");
    s.start();
    const QRect screen = s.main->screen()->availableGeometry();
    QVERIFY2(s.main->width() <= screen.width() && s.main->height() <= screen.height(),
             qPrintable(QString("%1x%2").arg(s.main->width()).arg(s.main->height())));
  }

  // The value box, the lists, "shows" and the reply agree whatever resets the lists, and a
  // value typed for one module never reaches the other's slave.
  void theValueBoxAgreesWithTheLine_data() {
    QTest::addColumn<QString>("trip");
    QTest::newRow("Disconnect, Connect") << "reconnect";
    QTest::newRow("Configure LCD and back") << "configure";
    QTest::newRow("the other module") << "module";
  }
  void theValueBoxAgreesWithTheLine() {
    QFETCH(QString, trip);
    AppSession s;
    s.set("Cfg2004", "DP1", "1");
    s.set("Cfg1602", "DP1", "1");
    storePoll(s.ini, "Cfg1602", "", {1, 3, 0, 0});
    startServing(s, "2004", {{1, 3, 0, 0}, {2, 3, 0, 0}, {3, 3, 0, 0}, {4, 3, 0, 0}});
    auto* typed = s.get<QLineEdit>("txtValue1");
    typed->setText("7.5");
    QTest::keyClick(typed, Qt::Key_Return);
    QCOMPARE(exchange(s, kRequest).mid(3, 2), QByteArray::fromHex("004B"));

    s.press("cmdConnect");
    if (trip == "configure") {
      s.press("cmdConnect");
      s.press("cmdCfgLcd");
      s.closeLcd(false);
    } else if (trip == "module") {
      s.get<QComboBox>("cboModule")->setCurrentIndex(0);
    }
    s.press("cmdConnect");
    QVERIFY(s.main->isConnected());
    QCOMPARE(exchange(s, kRequest).mid(3, 2), QByteArray::fromHex("0000"));
    QCOMPARE(s.get<QLabel>("lblDecoded1")->text(), QString("shows 0.0"));
    QVERIFY2(typed->text().isEmpty() || typed->text() == "0.0", qPrintable(typed->text()));
  }

  // An adapter plugged in or pulled while the window is open is followed by the device label
  // and said in the notice line.
  void adaptersComeAndGo() {
    AppSession s;
    QTemporaryDir dev;
    s.start();
    s.main->setDeviceFolder(dev.path());
    s.get<QComboBox>("cboComm")->setCurrentIndex(0);  // port 1, no [Ports] entry
    QCOMPARE(s.get<QLabel>("lblDevice")->text(), QString("Device: none found"));
    QFile adapter(dev.filePath("ttyUSB0"));
    QVERIFY(adapter.open(QIODevice::WriteOnly));
    QTRY_COMPARE_WITH_TIMEOUT(s.get<QLabel>("lblDevice")->text(), "Device: " + adapter.fileName(),
                              10000);
    QVERIFY(s.get<QLabel>("lblNotice")->text().contains("appeared"));
    QVERIFY(adapter.remove());
    QTRY_COMPARE_WITH_TIMEOUT(s.get<QLabel>("lblDevice")->text(), QString("Device: none found"),
                              10000);
    QVERIFY(s.get<QLabel>("lblNotice")->text().contains("disappeared"));
  }
};

QTEST_MAIN(tst_mainwindow)
#include "tst_mainwindow.moc"
