// vantor-cli replay: a session of a real master with Vantor's simulator, recorded by listening,
// played back as the slaves to the same master and as the master to the simulator; and
// recordings it refuses.
#include "CliRun.h"
#include "ModbusMaster.h"
#include "PtyBus.h"
#include "PtyPair.h"
#include "core/replay/Recording.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <termios.h>
#include <unistd.h>

using namespace vantor;
using namespace vantor::test;

namespace {

CliRun stopped(QProcess& p) {
  p.terminate();
  return finished(p);
}

// Starts vantor-cli with `args` and waits for the line that says it has opened its port.
bool started(QProcess& p, const QStringList& args) {
  p.start(VANTOR_CLI, args);
  p.setReadChannel(QProcess::StandardError);
  return p.waitForReadyRead(20000);
}

constexpr int kRounds = 10;
// A character's time in ms at 9600,n,8,1: ten bits.
constexpr double kCharacterMs = 10 * 1000.0 / 9600;

// What the master made of each read of slaves 1, 2 and 3 in turn, `kRounds` times: the value,
// or why there was none.
QStringList session(ModbusMaster& master) {
  QStringList seen;
  for (int round = 0; round < kRounds; ++round) {
    for (int slave = 1; slave <= 3; ++slave) {
      const auto values = serve([&] { return master.read(3, slave, slave - 1, 1); });
      seen << QString("%1: %2").arg(slave).arg(values ? QString::number(values->front())
                                                      : master.lastError());
    }
  }
  return seen;
}

}  // namespace

class tst_clireplay : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  QString ini_;
  QString recording_;
  QStringList recorded_;  // what the master made of the recorded session

  // simulate's slaves 1 to 3: slave 1 silent one poll in 5, slave 2 with a wrong check value,
  // slave 3 late by a random time; `value3` is what slave 3 answers.
  QStringList simulate(const QString& device, int value3) const {
    return {"simulate", "--module",   "2004",      "--ini",      ini_,
            "--device", device,       "--setting", "9600,n,8,1", "--value",
            "1=100",    "--value",    "2=200",     "--value",    QString("3=%1").arg(value3),
            "--fault",  "1=silent/5", "--fault",   "2=bad-crc",  "--delay",
            "3=10-60"};
  }

 private slots:
  void initTestCase() {
    ini_ = dir_.filePath("modlcd.ini");
    QFile file(ini_);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(
        "[Settings]\nAF=3\n[Cfg2004]\nCSet=9600,n,8,1\nSaddr1=1\nRLow1=0\nSaddr2=2\n"
        "RLow2=1\nSaddr3=3\nRLow3=2\n");
    file.close();
    recording_ = dir_.filePath("site.jsonl");
    // On site: the master, the simulator and Vantor listening share one line.
    PtyBus bus(3);
    QVERIFY(bus.start());
    const int end = openEnd(bus.path(0), B9600);
    QVERIFY(end >= 0);
    QProcess sim, listener;
    QVERIFY(started(sim, simulate(bus.path(1), 1234)));
    QVERIFY(started(listener, {"listen", "--ini", ini_, "--device", bus.path(2), "--setting",
                               "9600,n,8,1", "--log", recording_}));
    {
      ModbusMaster master(end, 300);
      recorded_ = session(master);
    }
    // Every request heard is in the recording before listening stops.
    const auto heard = [this] {
      QFile file(recording_);
      return file.open(QIODevice::ReadOnly) ? int(file.readAll().count("\"kind\":\"request\"")) : 0;
    };
    QTRY_COMPARE_WITH_TIMEOUT(heard(), 3 * kRounds, 20000);
    QCOMPARE(stopped(listener).exitCode, 0);
    QCOMPARE(stopped(sim).exitCode, 0);
    ::close(end);
    // What is to be replayed: silences, wrong check values and values.
    QCOMPARE(recorded_.count("1: Connection timed out"), kRounds / 5);
    QCOMPARE(recorded_.count("2: Invalid CRC"), kRounds);
    QCOMPARE(recorded_.count("3: 1234"), kRounds);
  }

  // The master meets the same replies again: the same values, the same silences, the same
  // wrong check values, each reply no earlier than recorded; a request the recording never
  // heard goes unanswered and is said to be.
  void replaysTheSlavesToARealMaster() {
    PtyPair pty;
    const QString log = dir_.filePath("replayed.jsonl");
    QProcess replay;
    QVERIFY(started(replay, {"replay", recording_, "--as", "slaves", "--ini", ini_, "--device",
                             pty.devicePath(), "--setting", "9600,n,8,1", "--log", log}));
    ModbusMaster master(pty.masterFd(), 300);
    QCOMPARE(session(master), recorded_);
    QVERIFY(!serve([&] { return master.read(3, 9, 0, 1); }));
    const CliRun run = stopped(replay);
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QVERIFY2(run.out.endsWith("RX 09 03 00 00 00 01 85 42 | not answered: the recording never "
                              "heard 09 03 00 00 00 01 85 42 | TX\n"),
             qPrintable(run.out));
    QVERIFY2(run.err.contains("31 requests: 28 answered as recorded, 2 left unanswered as "
                              "recorded, 1 the recording never heard"),
             qPrintable(run.err));

    const RecordingRead site = readRecording(recording_);
    const RecordingRead replayed = readRecording(log);
    QVERIFY2(site.recording && replayed.recording, qPrintable(site.refusal + replayed.refusal));
    const auto& before = site.recording->exchanges;
    const auto& now = replayed.recording->exchanges;
    QCOMPARE(now.size(), before.size() + 1);
    for (std::size_t i = 0; i < before.size(); ++i) {
      QCOMPARE(now[i].request, before[i].request);
      QCOMPARE(now[i].reply, before[i].reply);
      // Late is the busy machine's doing; early would be the replay's. The recording was heard:
      // the reply begins when the site's began, its own bytes' time on the line earlier.
      const double due = double(before[i].delayMs) - double(before[i].bytesInDelay) * kCharacterMs;
      QVERIFY2(now[i].delayMs >= due - 1, qPrintable(QString("line %1: %2 ms, recorded %3 ms")
                                                         .arg(before[i].line)
                                                         .arg(now[i].delayMs)
                                                         .arg(before[i].delayMs)));
    }
  }

  // The simulator answering as when recorded matches every reply; with slave 3's value
  // changed, exactly its replies differ, each with both values read as the display reads them.
  void replaysTheMasterToTheSimulator_data() {
    QTest::addColumn<int>("value3");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("summary");
    QTest::newRow("as recorded") << 1234 << 0
                                 << "30 requests sent: 30 matched, 0 with other bytes, 0 without "
                                    "a reply, 0 replies where the recording had none";
    QTest::newRow("slave 3 answers 1235")
        << 1235 << 2
        << "30 requests sent: 20 matched, 10 with other bytes, 0 without a reply, 0 replies "
           "where the recording had none";
  }
  void replaysTheMasterToTheSimulator() {
    QFETCH(int, value3);
    PtyBus bus(2);
    QVERIFY(bus.start());
    QProcess sim;
    QVERIFY(started(sim, simulate(bus.path(0), value3)));
    QProcess replay;
    replay.start(VANTOR_CLI, {"replay", recording_, "--as", "master", "--ini", ini_, "--device",
                              bus.path(1), "--setting", "9600,n,8,1"});
    const CliRun run = finished(replay);
    stopped(sim);
    QFETCH(int, exitCode);
    QFETCH(QString, summary);
    QVERIFY2(run.exitCode == exitCode && run.err.contains(summary), qPrintable(run.err));
    const QStringList lines = run.out.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), value3 == 1234 ? 0 : kRounds);
    const QRegularExpression difference(
        R"(^line \d+, 03 03 00 02 00 01 24 28, slave 3 \(field 3\): other bytes: recorded )"
        R"(03 03 02 04 D2 .. .. = 1234, now 03 03 02 04 D3 .. .. = 1235$)");
    for (const QString& line : lines) QVERIFY2(difference.match(line).hasMatch(), qPrintable(line));
  }

  // Refused before the port is opened (the port named does not exist), naming the file, the
  // line and what is wrong.
  void refusesADamagedRecording_data() {
    QTest::addColumn<QString>("from");  // in the recording's text
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("says");
    QTest::newRow("bytes that are not hexadecimal")
        << "\"bytes\":\"03 03 00 02"
        << "\"bytes\":\"03 0G 00 02"
        << ", line \\d+: the bytes \"03 0G 00 02 00 01 24 28\" are not hexadecimal";
    QTest::newRow("a line cut off") << "}\n"
                                    << "}\n{\"time\":\"2026-12-08"
                                    << ", line \\d+: the line is cut off";
  }
  void refusesADamagedRecording() {
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFile file(recording_);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QString text = QString::fromUtf8(file.readAll());
    const qsizetype at = text.lastIndexOf(from);
    QVERIFY(at >= 0);
    text.replace(at, from.size(), to);
    const QString damaged = dir_.filePath("damaged.jsonl");
    QFile out(damaged);
    QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
    out.write(text.toUtf8());
    out.close();
    QProcess replay;
    replay.start(VANTOR_CLI, {"replay", damaged, "--as", "slaves", "--ini", ini_, "--device",
                              "/dev/ttyNOSUCH7"});
    const CliRun run = finished(replay);
    QFETCH(QString, says);
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(QRegularExpression("^vantor-cli: " + QRegularExpression::escape(damaged) + says)
                 .match(run.err)
                 .hasMatch(),
             qPrintable(run.err));
  }
};

QTEST_MAIN(tst_clireplay)
#include "tst_clireplay.moc"
