// vantor-cli as a script would use it, against the windows it must agree with.
#include "AppSession.h"

#include <QProcess>

using namespace vantor;
using namespace vantor::test;

namespace {

struct Run {
  int exitCode = -1;
  QString out;
  QString err;
};

Run cli(const QStringList& args) {
  QProcess p;
  p.start(VANTOR_CLI, args);
  p.waitForFinished(10000);
  return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
          QString::fromUtf8(p.readAllStandardError())};
}

// Starts the simulator; it says on standard error when it is listening.
bool simulate(QProcess& p, const QStringList& args) {
  p.start(VANTOR_CLI, QStringList{"simulate"} + args);
  p.setReadChannel(QProcess::StandardError);
  return p.waitForReadyRead(5000);
}

QByteArray bytesOf(const QString& hexLine) {
  return QByteArray::fromHex(hexLine.trimmed().remove(u' ').toLatin1());
}

}  // namespace

class tst_cli : public QObject {
  Q_OBJECT

  std::unique_ptr<AppSession> s_;

  // The session's settings file, holding `entries` ("Key=Value" in `section`, or
  // "Section/Key=Value").
  QString iniWith(const QString& section, const QStringList& entries) {
    for (const QString& entry : entries) {
      const QString key = entry.section('=', 0, 0), value = entry.section('=', 1);
      s_->set(key.contains('/') ? key.section('/', 0, 0) : section, key.section('/', -1), value);
    }
    return s_->ini.filePath();
  }

 private slots:
  void init() { s_ = std::make_unique<AppSession>(); }
  void cleanup() { s_.reset(); }

  void frameIsWhatTheWindowSends_data() {
    QTest::addColumn<QString>("module");
    QTest::addColumn<QStringList>("entries");
    QTest::newRow("two-line, first use") << "1602" << QStringList{"CSet=9600,n,8,1"};
    QTest::newRow("two-line, configured")
        << "1602"
        << QStringList{"CSet=38400,e,8,1", "Saddr=17",  "Interval=25", "RHigh=1", "RLow=244",
                       "Dwidth1=6",        "SP1=3",     "DP1=2",       "DT=4",    "Fcode=4",
                       "UDT1=  Volts ^",   "UDT2=ab^cd"};
    QTest::newRow("four-line, first use") << "2004" << QStringList{"CSet=19200,n,8,2"};
    QTest::newRow("four-line, configured") << "2004" << QStringList{"CSet=9600,e,8,1",
                                                                    "Interval=3",
                                                                    "Settings/AF=3",
                                                                    "UDT1=Tank ^ level",
                                                                    "UDT4=12345678901234567890",
                                                                    "Saddr2=9",
                                                                    "RHigh3=16",
                                                                    "RLow4=200",
                                                                    "Fcode1=4",
                                                                    "DWidth2=9",
                                                                    "DP3=5",
                                                                    "SP4=18",
                                                                    "DT2=2"};
  }
  void frameIsWhatTheWindowSends() {
    QFETCH(QString, module);
    QFETCH(QStringList, entries);
    const Run run = cli({"frame", "--module", module, "--ini", iniWith("Cfg" + module, entries)});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QVERIFY(run.out.endsWith('\n') && run.out.count('\n') == 1);
    QVERIFY(!run.out.contains("  "));

    // The same settings file, through the windows: Configure LCD, Send Config. Data.
    s_->choosePort(1, "9600,n,8,1", module);
    s_->start();
    s_->configureLcd();
    s_->sendConfig();
    QCOMPARE(bytesOf(run.out), s_->pty.read(module == "1602" ? 48 : 135, 2000));
  }

  void frameRefusesLikeTheWindow() {
    // No line settings stored: the window would refuse and name the lists.
    const Run run = cli({"frame", "--module", "1602", "--ini", iniWith("Cfg1602", {})});
    QCOMPARE(run.exitCode, 1);
    QVERIFY(run.out.isEmpty());
    QVERIFY(run.err.contains("LCD Baud Rate"));
  }

  void sendWritesTheFrame() {
    const QString file = iniWith("Cfg2004", {"CSet=9600,n,8,1"});
    s_->choosePort(3, "9600,n,8,1", "2004");
    const Run frame = cli({"frame", "--module", "2004", "--ini", file});
    const QString device = s_->pty.devicePath();
    for (const QStringList& where :
         {QStringList{}, QStringList{"--port", "3"}, QStringList{"--device", device}}) {
      const Run run = cli(QStringList{"send", "--module", "2004", "--ini", file} + where);
      QVERIFY2(run.exitCode == 0, qPrintable(run.err));
      QCOMPARE(run.out.count('\n'), 1);
      QVERIFY(run.out.contains(device));
      QCOMPARE(s_->pty.read(135, 2000), bytesOf(frame.out));
    }
  }

  void simulateAnswersAModbusMaster() {
    const QString file = iniWith("Settings", {"Setting=19200,e,8,1", "LCD/Module=2004"});
    storePoll(s_->ini, "Cfg2004", "1", {1, 3, 0, 0});
    storePoll(s_->ini, "Cfg2004", "2", {2, 4, 16, 4});
    for (auto n : {"3", "4"}) storePoll(s_->ini, "Cfg2004", n, {3, 3, 0x303, 3});
    QProcess sim;
    QVERIFY(simulate(sim, {"--ini", file, "--device", s_->pty.devicePath(), "--value", "1=0x0A",
                           "--value", "2=74565", "--count", "3"}));

    ModbusMaster master(s_->pty.masterFd());
    QCOMPARE(readValue(master, {1, 3, 0, 0}), std::optional<quint32>(0x0A));
    QCOMPARE(readValue(master, {2, 4, 16, 4}), std::optional<quint32>(74565));
    QVERIFY(!readValue(master, {9, 3, 0, 0}));
    QTRY_COMPARE_WITH_TIMEOUT(sim.state(), QProcess::NotRunning, 5000);  // after three requests
    QCOMPARE(sim.exitCode(), 0);
    const QStringList lines = QString::fromUtf8(sim.readAllStandardOutput()).split('\n');
    QCOMPARE(lines.value(0), QString("RX 01 03 00 00 00 01 84 0A | CRC Validated | "
                                     "TX 01 03 02 00 0A 38 43"));
    QVERIFY(lines.value(1).startsWith("RX 02 04 00 10 00 02 "));
    QVERIFY(lines.value(1).contains("| TX 02 04 04 00 01 23 45 "));
    QVERIFY(lines.value(2).endsWith("| CRC Validated | TX"));
  }

  void simulateStopsOnASignal() {
    storePoll(s_->ini, "Cfg1602", "", {1, 3, 0, 0});
    QProcess sim;
    QVERIFY(simulate(sim, {"--module", "1602", "--ini", s_->ini.filePath(), "--device",
                           s_->pty.devicePath(), "--setting", "9600,n,8,1"}));
    sim.terminate();
    QVERIFY(sim.waitForFinished(5000));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 0);
  }

  void errorsSayWhatAndWhere_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("says");
    const auto row = [](const char* name, const QStringList& args, int code, const char* says) {
      QTest::newRow(name) << args << code << QString(says);
    };
    row("no command", {}, 2, "usage:");
    row("unknown option", {"frame", "--count", "3"}, 2, "usage:");
    row("bad module", {"frame", "--module", "1604"}, 2, "1604");
    row("port and device", {"send", "--port", "1", "--device", "/x"}, 2, "usage:");
    row("no such device", {"send", "--module", "1602", "--device", "/dev/ttyNOSUCH"}, 1,
        "/dev/ttyNOSUCH");
    row("bad value", {"simulate", "--value", "1=12x"}, 1, "1=12x");
    row("no slave 5", {"simulate", "--value", "5=1"}, 1, "5=1");
  }
  void errorsSayWhatAndWhere() {
    QFETCH(QStringList, args);
    const Run run = cli(args + QStringList{"--ini", iniWith("Cfg1602", {"CSet=9600,n,8,1"})});
    QTEST(run.exitCode, "exitCode");
    QFETCH(QString, says);
    QVERIFY2(run.err.contains(says), qPrintable(run.err));
    QVERIFY(run.out.isEmpty());
  }

  void simulateRefusesWhatItCannotServe_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("says");
    QTest::newRow("no configuration") << QStringList{"--module", "2004"} << "Saddr1";
    QTest::newRow("value too large for one register")
        << QStringList{"--module", "1602", "--value", "1=0x10000"} << "0xFFFF";
    QTest::newRow("incomplete line settings")
        << QStringList{"--module", "1602", "--setting", "9600"} << "9600";
  }
  void simulateRefusesWhatItCannotServe() {
    QFETCH(QStringList, args);
    storePoll(s_->ini, "Cfg1602", "", {1, 3, 0, 0});
    const QString file = iniWith("Settings", {"Setting=9600,n,8,1"});
    const Run run =
        cli(QStringList{"simulate", "--ini", file, "--device", s_->pty.devicePath()} + args);
    QCOMPARE(run.exitCode, 1);
    QFETCH(QString, says);
    QVERIFY2(run.err.contains(says), qPrintable(run.err));
  }
};

QTEST_MAIN(tst_cli)
#include "tst_cli.moc"
