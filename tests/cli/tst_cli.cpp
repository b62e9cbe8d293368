// vantor-cli as a script would use it, against the windows it must agree with.
#include "ModbusMaster.h"
#include "PtyPair.h"
#include "RecordingDialogs.h"
#include "config1602/frmCfg1602.h"
#include "config2004/frmCfg2004.h"
#include "main/frmMain.h"
#include "settings/modINI.h"
#include "shared/modVar.h"

#include <QComboBox>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

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

// The simulator says on standard error when it is listening.
bool waitUntilReady(QProcess& p) {
  p.setReadChannel(QProcess::StandardError);
  return p.waitForReadyRead(5000);
}

QByteArray bytesOf(const QString& hexLine) {
  return QByteArray::fromHex(hexLine.trimmed().remove(u' ').toLatin1());
}

// Settings for each configuration case: key/value pairs per section.
using Entries = QList<std::tuple<QString, QString, QString>>;

}  // namespace

class tst_cli : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;

  QString iniWith(const Entries& entries) {
    QFile::remove(dir_.filePath("modlcd.ini"));
    modINI ini(dir_.path());
    for (const auto& [section, key, value] : entries) ini.WriteINI(section, key, value);
    return dir_.filePath("modlcd.ini");
  }

 private slots:
  void frameIsWhatTheWindowSends_data() {
    QTest::addColumn<QString>("module");
    QTest::addColumn<Entries>("entries");
    const QString c1 = "Cfg1602", c2 = "Cfg2004";
    QTest::newRow("two-line, first use") << "1602" << Entries{{c1, "CSet", "9600,n,8,1"}};
    QTest::newRow("two-line, configured")
        << "1602"
        << Entries{{c1, "CSet", "38400,e,8,1"}, {c1, "Saddr", "17"}, {c1, "Interval", "25"},
                   {c1, "RHigh", "1"},          {c1, "RLow", "244"}, {c1, "Dwidth1", "6"},
                   {c1, "SP1", "3"},            {c1, "DP1", "2"},    {c1, "DT", "4"},
                   {c1, "Fcode", "4"},          {c1, "UDT1", "  Volts ^"}, {c1, "UDT2", "ab^cd"}};
    QTest::newRow("four-line, first use")
        << "2004" << Entries{{c2, "CSet", "19200,n,8,2"}};
    QTest::newRow("four-line, configured")
        << "2004"
        << Entries{{c2, "CSet", "9600,e,8,1"}, {c2, "Interval", "3"}, {"Settings", "AF", "3"},
                   {c2, "UDT1", "Tank ^ level"}, {c2, "UDT4", "12345678901234567890"},
                   {c2, "Saddr2", "9"},  {c2, "RHigh3", "16"}, {c2, "RLow4", "200"},
                   {c2, "Fcode1", "4"},  {c2, "DWidth2", "9"}, {c2, "DP3", "5"},
                   {c2, "SP4", "18"},    {c2, "DT2", "2"}};
  }
  void frameIsWhatTheWindowSends() {
    QFETCH(QString, module);
    QFETCH(Entries, entries);
    const QString file = iniWith(entries);
    const Run run = cli({"frame", "--module", module, "--ini", file});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QVERIFY(run.out.endsWith('\n') && run.out.count('\n') == 1);
    QVERIFY(!run.out.contains("  "));

    // The same settings file, through the windows: Configure LCD, Send Config. Data.
    PtyPair pty;
    modINI ini(dir_.path());
    ini.WriteINI("Ports", "1", pty.devicePath());
    modVar vars;
    vars.gCommPort = "1";
    RecordingDialogs dialogs;
    dialogs.answers = {false};
    QWidget* window = nullptr;
    std::unique_ptr<frmCfg1602> w1602;
    std::unique_ptr<frmCfg2004> w2004;
    if (module == "1602") {
      w1602 = std::make_unique<frmCfg1602>(vars, ini, dialogs);
      w1602->showWindow();
      window = w1602.get();
    } else {
      w2004 = std::make_unique<frmCfg2004>(vars, ini, dialogs);
      w2004->showWindow();
      window = w2004.get();
    }
    auto* send = window->findChild<QPushButton*>(module == "1602" ? "cmdConfig1602" : "cmdSendCfg");
    QVERIFY(send);
    send->click();
    const QByteArray sent = pty.read(module == "1602" ? 48 : 135, 2000);
    window->close();
    QCOMPARE(bytesOf(run.out), sent);
  }

  void frameRefusesLikeTheWindow() {
    // No line settings stored: the window would refuse and name the lists.
    const Run run = cli({"frame", "--module", "1602", "--ini", iniWith({})});
    QCOMPARE(run.exitCode, 1);
    QVERIFY(run.out.isEmpty());
    QVERIFY(run.err.contains("LCD Baud Rate"));
  }

  void sendWritesTheFrame() {
    PtyPair pty;
    const QString file = iniWith({{"Cfg2004", "CSet", "9600,n,8,1"}, {"Ports", "3", pty.devicePath()},
                                  {"Settings", "CommPort", "3"}});
    const Run frame = cli({"frame", "--module", "2004", "--ini", file});
    for (const QStringList& where : {QStringList{}, QStringList{"--port", "3"},
                                     QStringList{"--device", pty.devicePath()}}) {
      const Run run = cli(QStringList{"send", "--module", "2004", "--ini", file} + where);
      QVERIFY2(run.exitCode == 0, qPrintable(run.err));
      QCOMPARE(run.out.count('\n'), 1);
      QVERIFY(run.out.contains(pty.devicePath()));
      QCOMPARE(pty.read(135, 2000), bytesOf(frame.out));
    }
  }

  void simulateAnswersAModbusMaster() {
    PtyPair pty;
    const QString file = iniWith({{"LCD", "Module", "2004"},
                                  {"Settings", "Setting", "19200,e,8,1"},
                                  {"Cfg2004", "Saddr1", "1"}, {"Cfg2004", "RHigh1", "0"},
                                  {"Cfg2004", "RLow1", "0"},  {"Cfg2004", "Fcode1", "3"},
                                  {"Cfg2004", "DT1", "0"},    {"Cfg2004", "Saddr2", "2"},
                                  {"Cfg2004", "RHigh2", "0"}, {"Cfg2004", "RLow2", "16"},
                                  {"Cfg2004", "Fcode2", "4"}, {"Cfg2004", "DT2", "4"}});
    for (int n = 3; n <= 4; ++n)
      for (auto key : {"Saddr", "RHigh", "RLow", "Fcode", "DT"})
        modINI::forFile(file).WriteINI("Cfg2004", key + QString::number(n), "3");
    QProcess sim;
    sim.start(VANTOR_CLI, {"simulate", "--ini", file, "--device", pty.devicePath(), "--value",
                           "1=0x0A", "--value", "2=74565", "--count", "3"});
    QVERIFY(waitUntilReady(sim));  // ready once it says so

    ModbusMaster master(pty.masterFd());
    QCOMPARE(master.readHolding(1, 0, 1), std::optional(std::vector<std::uint16_t>{0x000A}));
    QCOMPARE(master.readInput(2, 16, 2),
             std::optional(std::vector<std::uint16_t>{0x0001, 0x2345}));  // 0x12345 lists
    QVERIFY(!master.readHolding(9, 0, 1));
    QVERIFY(sim.waitForFinished(5000));
    QCOMPARE(sim.exitCode(), 0);
    const QStringList lines = QString::fromUtf8(sim.readAllStandardOutput()).split('\n');
    QCOMPARE(lines.value(0), QString("RX 01 03 00 00 00 01 84 0A | CRC Validated | "
                                     "TX 01 03 02 00 0A 38 43"));
    QVERIFY(lines.value(1).startsWith("RX 02 04 00 10 00 02 "));
    QVERIFY(lines.value(1).contains("| TX 02 04 04 00 01 23 45 "));
    QVERIFY(lines.value(2).endsWith("| CRC Validated | TX"));
  }

  void simulateStopsOnASignal() {
    PtyPair pty;
    const QString file = iniWith({{"Cfg1602", "Saddr", "1"}, {"Cfg1602", "RHigh", "0"},
                                  {"Cfg1602", "RLow", "0"}, {"Cfg1602", "Fcode", "3"},
                                  {"Cfg1602", "DT", "0"}});
    QProcess sim;
    sim.start(VANTOR_CLI, {"simulate", "--module", "1602", "--ini", file, "--device",
                           pty.devicePath(), "--setting", "9600,n,8,1"});
    QVERIFY(waitUntilReady(sim));
    sim.terminate();
    QVERIFY(sim.waitForFinished(5000));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 0);
  }

  void errorsSayWhatAndWhere_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("says");
    QTest::newRow("no command") << QStringList{} << 2 << "usage:";
    QTest::newRow("unknown option") << QStringList{"frame", "--count", "3"} << 2 << "usage:";
    QTest::newRow("bad module") << QStringList{"frame", "--module", "1604"} << 2 << "1604";
    QTest::newRow("port and device") << QStringList{"send", "--port", "1", "--device", "/x"}
                                     << 2 << "usage:";
    QTest::newRow("no such device")
        << QStringList{"send", "--module", "1602", "--device", "/dev/ttyNOSUCH"} << 1
        << "/dev/ttyNOSUCH";
    QTest::newRow("bad value") << QStringList{"simulate", "--value", "1=12x"} << 1 << "1=12x";
    QTest::newRow("no slave 5") << QStringList{"simulate", "--value", "5=1"} << 1 << "5=1";
  }
  void errorsSayWhatAndWhere() {
    QFETCH(QStringList, args);
    const Run run = cli(args + QStringList{"--ini", iniWith({{"Cfg1602", "CSet", "9600,n,8,1"}})});
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
    PtyPair pty;
    const QString file = iniWith({{"Cfg1602", "Saddr", "1"}, {"Cfg1602", "RHigh", "0"},
                                  {"Cfg1602", "RLow", "0"}, {"Cfg1602", "Fcode", "3"},
                                  {"Cfg1602", "DT", "0"}, {"Settings", "Setting", "9600,n,8,1"}});
    const Run run = cli(QStringList{"simulate", "--ini", file, "--device", pty.devicePath()} + args);
    QCOMPARE(run.exitCode, 1);
    QFETCH(QString, says);
    QVERIFY2(run.err.contains(says), qPrintable(run.err));
  }
};

QTEST_MAIN(tst_cli)
#include "tst_cli.moc"
