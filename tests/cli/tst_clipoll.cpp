// vantor-cli poll standing in for the module: against a field device that is not Vantor
// (libmodbus's RTU server), against Vantor's own simulator told to fail, and on lines and
// settings files it cannot use.
#include "CliRun.h"
#include "ModbusSlave.h"
#include "PtyBus.h"
#include "PtyPair.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>

using namespace vantor::test;

namespace {

// A settings file of `lines` in `dir`.
QString settingsFile(const QTemporaryDir& dir, const QStringList& lines) {
  const QString path = dir.filePath("modlcd.ini");
  QFile file(path);
  file.open(QIODevice::WriteOnly);
  file.write(lines.join('\n').toUtf8() + '\n');
  return path;
}

QByteArray fileBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Whether process `pid` has `path` open.
bool holds(qint64 pid, const QString& path) {
  const QDir fds(QString("/proc/%1/fd").arg(pid));
  for (const QFileInfo& fd : fds.entryInfoList(QDir::AllEntries | QDir::System))
    if (fd.symLinkTarget() == path) return true;
  return false;
}

// A response time, and "late" if the machine was too busy to keep the interval.
const QString kMs = R"(  \d+\.\d ms(  late)?)";

}  // namespace

class tst_clipoll : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;

 private slots:
  // The requests byte for byte, each reply's value as the module shows it, the display
  // drawn from them after each cycle, and the counts when it stops.
  void pollsAFieldDeviceThatIsNotVantor_data() {
    QTest::addColumn<QStringList>("settings");
    QTest::addColumn<QStringList>("registers");  // FUNCTION:REGISTER=VALUE
    QTest::addColumn<QByteArray>("requests");    // one cycle's
    QTest::addColumn<QStringList>("values");     // one line per field
    QTest::addColumn<QString>("display");
    const QStringList line{"[Cfg2004]", "CSet=9600,n,8,1", "Interval=1"};
    QTest::newRow("unsigned, signed, BCD, long BCD")
        << QStringList{"[Settings]", "AF=4"} + line +
               QStringList{"Saddr1=7", "RLow1=16", "Saddr2=7", "Fcode2=4", "RLow2=32",
                           "DT2=1",    "DP2=1",    "Saddr3=7", "RLow3=48", "DT3=2",
                           "DP3=2",    "Saddr4=7", "Fcode4=4", "RLow4=64", "DT4=3"}
        << QStringList{"3:16=1234", "4:32=65411", "3:48=4660", "4:64=1", "4:65=9029"}
        << QByteArray::fromHex(
               "070300100001 85A9 070400200001 3066 070300300001 8463"
               "070400400002 7079")
        << QStringList{"field 1  slave 7 03 0x0010  0x04D2 = 1234",
                       "field 2  slave 7 04 0x0020  0xFF83 = -12.5",
                       "field 3  slave 7 03 0x0030  0x1234 = 12.34",
                       "field 4  slave 7 04 0x0040  0x00012345 = 12345"}
        << "| 1234               |\n|-12.5               |\n|12.34               |\n"
           "|12345               |\n";
    QTest::newRow("long integer; fields 3 and 4 not active")
        << QStringList{"[Settings]", "AF=2"} + line +
               QStringList{"Saddr1=7", "Fcode1=4",  "RLow1=64", "DT1=4",
                           "DP1=1",    "DWidth1=6", "Saddr2=7", "RLow2=80"}
        << QStringList{"4:64=1", "4:65=9029", "3:80=65535"}
        << QByteArray::fromHex("070400400002 7079 070300500001 847D")
        << QStringList{"field 1  slave 7 04 0x0040  0x00012345 = 7456.5",
                       "field 2  slave 7 03 0x0050  0xFFFF = 65535"}
        << "|7456.5              |\n|65535               |\n|                    |\n"
           "|                    |\n";
  }
  void pollsAFieldDeviceThatIsNotVantor() {
    QFETCH(QStringList, settings);
    QFETCH(QStringList, registers);
    PtyPair pty;
    ModbusSlave slave(pty.masterFd(), 7);
    for (const QString& r : registers)
      slave.setRegister(r.section(':', 0, 0).toInt(), r.section(':', 1).section('=', 0, 0).toInt(),
                        std::uint16_t(r.section('=', 1).toUInt()));
    QVERIFY(slave.start());
    const QString ini = settingsFile(dir_, settings);
    QProcess poll;
    // Cycles back to back: a third would be on the line long before the count is taken in,
    // were the port's thread to go on after the second.
    poll.start(VANTOR_CLI, {"poll", "--module", "2004", "--ini", ini, "--device", pty.devicePath(),
                            "--count", "2", "--interval", "1", "--display"});
    const CliRun run = finished(poll);
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));

    QFETCH(QByteArray, requests);
    QByteArray received;
    for (const ModbusSlave::Request& r : slave.requests()) received += r.bytes;
    QCOMPARE(received.toHex(' '), requests.repeated(2).toHex(' '));
    QFETCH(QStringList, values);
    QFETCH(QString, display);
    QString cycle;
    for (const QString& value : values) cycle += QRegularExpression::escape(value) + kMs + '\n';
    cycle += QRegularExpression::escape(display);
    QVERIFY2(QRegularExpression('^' + cycle + cycle + '$').match(run.out).hasMatch(),
             qPrintable(run.out));
    for (int field = 1; field <= values.size(); ++field)
      QVERIFY2(run.err.contains(QRegularExpression(
                   QString(R"(\nfield %1  [^\n]+: 2 polls, 2 replies, 0 timeouts, 0 exceptions, )"
                           R"(0 check-value errors, 0 wrong replies, \d late; last value [^\n]+;)"
                           R"( response p50 [\d.]+ ms, p99 [\d.]+ ms, max [\d.]+ ms\n)")
                       .arg(field))),
               qPrintable(run.err));
  }

  // Vantor's simulator failing on purpose, a different failure for each field: each judged
  // and named, logged, and counted. The exception comes well within the timeout but long
  // after the interval: slow is not silent. Each cycle takes longer than its interval, so
  // every poll is late.
  void judgesWhatComesBack() {
    PtyBus bus(2);
    QVERIFY(bus.start());
    QStringList settings{"[Settings]", "AF=4", "[Cfg2004]", "CSet=9600,n,8,1"};
    for (int k = 1; k <= 4; ++k)
      settings << QString("Saddr%1=%1").arg(k) << QString("RLow%1=%2").arg(k).arg(k - 1);
    const QString ini = settingsFile(dir_, settings);
    QProcess sim;
    sim.start(VANTOR_CLI,
              {"simulate", "--module", "2004", "--ini", ini, "--device", bus.path(0), "--setting",
               "9600,n,8,1", "--fault", "1=silent", "--fault", "2=exception:2", "--fault",
               "3=bad-crc", "--fault", "4=wrong-address", "--delay", "2=200"});
    sim.setReadChannel(QProcess::StandardError);
    QVERIFY(sim.waitForReadyRead(10000));  // it says when it has opened its port
    const QString log = dir_.filePath("polls.jsonl");
    QProcess poll;
    poll.start(VANTOR_CLI, {"poll", "--module", "2004", "--ini", ini, "--device", bus.path(1),
                            "--count", "2", "--timeout", "1000", "--interval", "50", "--log", log});
    const CliRun run = finished(poll);
    sim.terminate();
    QVERIFY(sim.waitForFinished(5000));
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    const QString hex = "[0-9A-F]{2} [0-9A-F]{2}";
    const QString cycle =
        "field 1  slave 1 03 0x0000  no reply within 1000 ms  late\n"
        "field 2  slave 2 03 0x0001  exception 02 \\(illegal data address\\)" +
        kMs + "\nfield 3  slave 3 03 0x0002  check value " + hex + ", expected " + hex + kMs +
        "\nfield 4  slave 4 03 0x0003  from slave 5, not 4" + kMs + '\n';
    QVERIFY2(QRegularExpression('^' + cycle + cycle + '$').match(run.out).hasMatch(),
             qPrintable(run.out));
    QVERIFY2(!run.out.contains(QRegularExpression("ms\n")), qPrintable(run.out));  // all late
    for (const char* counts :
         {"field 1  slave 1 03 0x0000: 2 polls, 0 replies, 2 timeouts, 0 exceptions, "
          "0 check-value errors, 0 wrong replies, 2 late; last value none (last poll: no reply "
          "within 1000 ms)\n",
          "field 2  slave 2 03 0x0001: 2 polls, 0 replies, 0 timeouts, 2 exceptions, "
          "0 check-value errors, 0 wrong replies, 2 late;",
          "field 3  slave 3 03 0x0002: 2 polls, 0 replies, 0 timeouts, 0 exceptions, "
          "2 check-value errors, 0 wrong replies, 2 late;",
          "field 4  slave 4 03 0x0003: 2 polls, 0 replies, 0 timeouts, 0 exceptions, "
          "0 check-value errors, 2 wrong replies, 2 late;"})
      QVERIFY2(run.err.contains(counts), qPrintable(run.err));
    const QByteArray records = fileBytes(log);
    for (const auto& [kind, count] :
         {std::pair{"poll", 8}, {"poll-timeout", 2}, {"poll-exception", 2}, {"poll-error", 4}})
      QVERIFY2(records.count(QByteArray("\"kind\":\"") + kind + '"') == count, records);
    QVERIFY(records.contains(R"("bytes":"","kind":"poll-timeout","slave":1,)"));
  }

  // A two-wire adapter hands each request back before the reply comes: the echo is logged as
  // one and the reply after it is the one judged.
  void anAdapterEchoIsNoReply() {
    PtyBus bus(2);
    bus.setEcho(1, true);  // the poller's end hears itself
    QVERIFY(bus.start());
    const QString ini = settingsFile(dir_, {"[Cfg1602]", "CSet=9600,n,8,1", "Saddr=1"});
    QProcess sim;
    sim.start(VANTOR_CLI, {"simulate", "--module", "1602", "--ini", ini, "--device", bus.path(0),
                           "--setting", "9600,n,8,1", "--value", "1=1234"});
    sim.setReadChannel(QProcess::StandardError);
    QVERIFY(sim.waitForReadyRead(10000));  // it says when it has opened its port
    const QString log = dir_.filePath("echoed.jsonl");
    QProcess poll;
    poll.start(VANTOR_CLI, {"poll", "--module", "1602", "--ini", ini, "--device", bus.path(1),
                            "--count", "3", "--log", log});
    const CliRun run = finished(poll);
    sim.terminate();
    QVERIFY(sim.waitForFinished(5000));
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QVERIFY2(run.err.contains(": 3 polls, 3 replies, 0 timeouts, 0 exceptions, 0 check-value "
                              "errors, 0 wrong replies,"),
             qPrintable(run.err));
    // An echo held up past its window by a busy machine is logged as a stray byte run instead.
    QVERIFY(fileBytes(log).count("\"kind\":\"echo\"") >= 1);
  }

  // A device that goes away while polling ends the run, saying so.
  void aLostDeviceEndsThePolling() {
    PtyPair pty;
    // Not inherited: a copy in vantor-cli would keep the line there.
    QVERIFY(::fcntl(pty.masterFd(), F_SETFD, FD_CLOEXEC) == 0);
    const QString ini = settingsFile(dir_, {"[Cfg1602]", "CSet=9600,n,8,1"});
    QProcess poll;
    poll.start(VANTOR_CLI,
               {"poll", "--module", "1602", "--ini", ini, "--device", pty.devicePath()});
    QVERIFY(poll.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(holds(poll.processId(), pty.devicePath()), 10000);
    QCOMPARE(pty.read(8, 10000).size(), 8);  // its first request
    pty.closeMaster();
    const CliRun run = finished(poll);
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QRegularExpression(
                 "\nvantor-cli: " + QRegularExpression::escape(pty.devicePath()) + " was lost: ")),
             qPrintable(run.err));
  }

  // Nothing polled, exit 1, the reason said, the settings file as it was.
  void refusesWhatItCannotUse_data() {
    QTest::addColumn<QStringList>("settings");
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("says");
    QTest::newRow("a port that does not open")
        << QStringList{"[Cfg1602]", "CSet=9600,n,8,1"} << "/dev/ttyNOSUCH7"
        << "/dev/ttyNOSUCH7";
    QTest::newRow("no line of the module's")
        << QStringList{"[Cfg1602]", "Saddr=3"} << ""
        << "the saved configuration gives no usable LCD Baud Rate, LCD Data Format";
  }
  void refusesWhatItCannotUse() {
    QFETCH(QStringList, settings);
    QFETCH(QString, device);
    PtyPair pty;
    const QString ini = settingsFile(dir_, settings);
    const QByteArray before = fileBytes(ini);
    QProcess poll;
    poll.start(VANTOR_CLI, {"poll", "--module", "1602", "--ini", ini, "--device",
                            device.isEmpty() ? pty.devicePath() : device});
    const CliRun run = finished(poll);
    QCOMPARE(run.exitCode, 1);
    QFETCH(QString, says);
    QVERIFY2(run.err.contains(says, Qt::CaseInsensitive), qPrintable(run.err));
    QCOMPARE(run.out, QString());
    QCOMPARE(pty.read(1, 100), QByteArray());
    QCOMPARE(fileBytes(ini), before);
  }
};

QTEST_MAIN(tst_clipoll)
#include "tst_clipoll.moc"
