// vantor-cli listen on a shared line: a real master, a second Vantor answering it, and the
// listener hearing both and writing nothing; the display drawn from what is heard; the scan
// finding the master's rate on a line that garbles bytes sent at another.
#include "ModbusMaster.h"
#include "PtyBus.h"
#include "PtyPair.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

using namespace vantor::test;

namespace {

// Everything `fd` has received until it has been quiet for `quietMs`.
QByteArray drain(int fd, int quietMs) {
  QByteArray all;
  ::fcntl(fd, F_SETFL, O_NONBLOCK);
  for (int quiet = 0; quiet < quietMs; quiet += 10) {
    char buffer[256];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) {
      all.append(buffer, n);
      quiet = 0;
    }
    QTest::qWait(10);
  }
  return all;
}

}  // namespace

class tst_clilisten : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;

 private slots:
  // --count K: K frames printed, logged and summed up in the poll plan, the K-th among them.
  void listenerHearsMasterAndSimulatorAndWritesNothing_data() {
    QTest::addColumn<int>("count");
    QTest::newRow("1") << 1;
    QTest::newRow("3") << 3;
    QTest::newRow("6") << 6;
  }
  void listenerHearsMasterAndSimulatorAndWritesNothing() {
    QFETCH(int, count);
    PtyBus bus(4);  // master, simulator, listener, and the test hearing all that is written
    QVERIFY(bus.start());
    const int master = openEnd(bus.path(0), B19200), all = openEnd(bus.path(3), B19200);
    QVERIFY(master >= 0 && all >= 0);
    const QString ini = dir_.filePath("modlcd.ini");  // first use: slave 1 polls register 0
    QFile(ini).open(QIODevice::WriteOnly);
    const QStringList line{"--module", "1602", "--ini", ini, "--setting", "19200,n,8,1"};
    QProcess sim, listener;
    sim.start(VANTOR_CLI,
              QStringList{"simulate", "--device", bus.path(1), "--value", "1=0x1234"} + line);
    const QString log = dir_.filePath("heard.jsonl");
    listener.start(VANTOR_CLI, QStringList{"listen", "--device", bus.path(2), "--count",
                                           QString::number(count), "--log", log} +
                                   line);
    for (QProcess* p : {&sim, &listener}) {
      p->setReadChannel(QProcess::StandardError);
      QVERIFY(p->waitForReadyRead(10000));  // each says when it has opened its port
    }
    QByteArray expected;
    ModbusMaster modbus(master, 1000);
    for (int i = 0; i < 3; ++i) {
      const auto values = serve([&] { return modbus.read(3, 1, 0, 1); });
      QCOMPARE(values, std::optional(std::vector<std::uint16_t>{0x1234}));
      expected += QByteArray::fromHex("010300000001840A") + QByteArray::fromHex("0103021234B533");
    }
    listener.waitForFinished(10000);  // false when it had ended already
    QCOMPARE(listener.state(), QProcess::NotRunning);
    QCOMPARE(listener.exitCode(), 0);
    // Requests and responses take turns, a request first.
    const int requests = (count + 1) / 2, responses = count / 2;
    const QString heard = listener.readAllStandardOutput();
    QCOMPARE(heard.count("| request | slave 1 reads 1 holding register from 0x0000"), requests);
    QCOMPARE(heard.count("| response | slave 1 answers 0x1234 (the reply to:"), responses);
    QCOMPARE(heard.count('\n'), count);
    QFile logged(log);
    QVERIFY(logged.open(QIODevice::ReadOnly));
    const QByteArray records = logged.readAll();
    QCOMPARE(records.count("\"kind\":\"request\""), requests);
    QCOMPARE(records.count("\"kind\":\"response\""), responses);
    const QString plan = listener.readAllStandardError();
    QVERIFY2(plan.contains(QString("Poll plan, from %1 frames heard:").arg(count)),
             qPrintable(plan));
    QVERIFY2(plan.contains(QRegularExpression(
                 QString(R"(\n\s+1\s+1\s+03\s+0x0000\s+1\s+%1\s+(-|\d+ ms)\s+%2\s+0\s+0)")
                     .arg(requests)
                     .arg(responses))),
             qPrintable(plan));
    // What reached the line is the master's and the simulator's, and nothing more.
    QCOMPARE(drain(all, 300), expected);
    sim.terminate();
    QVERIFY(sim.waitForFinished(5000));
    ::close(master);
    ::close(all);
  }

  // --display: the saved display's rows after each frame that changes them, and only then.
  void displayPrintedWhenItChanges() {
    PtyPair pty;
    const QString ini = dir_.filePath("level.ini");
    QFile file(ini);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[Cfg1602]\nUDT1=Level\nSaddr=1\nDT=1\nDP1=1\nDwidth1=6\nSP1=10\n");
    file.close();
    QProcess listener;
    listener.start(VANTOR_CLI,
                   {"listen", "--module", "1602", "--ini", ini, "--device", pty.devicePath(),
                    "--setting", "9600,n,8,1", "--display", "--count", "8"});
    listener.setReadChannel(QProcess::StandardError);
    QVERIFY(listener.waitForReadyRead(10000));  // it says when it has opened its port
    const QByteArray poll = QByteArray::fromHex("010300000001840A");
    for (const char* reply : {"010302000A3843", "010302000A3843", "010302FF83B815", "018302C0F1"}) {
      pty.write(poll);
      QTest::qWait(30);
      pty.write(QByteArray::fromHex(reply));
      QTest::qWait(30);
    }
    listener.waitForFinished(10000);  // false when it had ended already
    QCOMPARE(listener.state(), QProcess::NotRunning);
    QVERIFY2(listener.exitCode() == 0, listener.readAllStandardError().constData());
    QString out = listener.readAllStandardOutput();
    out.replace(QRegularExpression("(?m)^RX [^\n]*$"), "RX");
    const QString blank = "|                |\n";
    QCOMPARE(out, "RX\nRX\n|Level        1.0|\n" + blank + "RX\nRX\nRX\nRX\n|Level      -12.5|\n" +
                      blank + "RX\nRX\n|Level     ------|\n" + blank);
  }

  // A line that goes away while the scan hears it ends the scan, saying so.
  void scanSaysTheLineWasLost() {
    PtyPair pty;
    // Not inherited: a copy in vantor-cli would keep the line there.
    QVERIFY(::fcntl(pty.masterFd(), F_SETFD, FD_CLOEXEC) == 0);
    const QString ini = dir_.filePath("first-use.ini");
    QFile(ini).open(QIODevice::WriteOnly);
    QProcess scan;
    scan.start(VANTOR_CLI,
               {"listen", "--scan", "--seconds", "30", "--device", pty.devicePath(), "--ini", ini});
    QVERIFY(scan.waitForStarted(5000));
    const QString fd = QString("/proc/%1/fd").arg(scan.processId());
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
          for (const QFileInfo& f : QDir(fd).entryInfoList(QDir::AllEntries | QDir::System))
            if (f.symLinkTarget() == pty.devicePath()) return true;
          return false;
        }(),
        10000);
    pty.closeMaster();
    QVERIFY(scan.waitForFinished(10000));
    QCOMPARE(scan.exitCode(), 1);
    const QString err = scan.readAllStandardError();
    QVERIFY2(err.contains(QRegularExpression("\nvantor-cli: the scan stopped at \\S+: " +
                                             QRegularExpression::escape(pty.devicePath()) +
                                             " was lost: [^\n]+\n$")),
             qPrintable(err));
    QCOMPARE(scan.readAllStandardOutput(), QByteArray());
  }

  void scanFindsTheMastersRate() {
    PtyBus bus(2);  // bytes sent at one rate and read at another arrive garbled
    QVERIFY(bus.start());
    QProcess master;  // polls at 19200,n,8,1 until stopped; no slave answers
    master.start("mbpoll", {"-m", "rtu", "-b", "19200", "-P", "none", "-a", "1", "-r", "1", "-c",
                            "1", "-l", "100", "-o", "0.1", bus.path(0)});
    QVERIFY(master.waitForStarted(5000));
    QProcess scan;
    scan.start(VANTOR_CLI, {"listen", "--scan", "--seconds", "1", "--device", bus.path(1)});
    QVERIFY(scan.waitForFinished(60000));
    master.kill();
    master.waitForFinished(5000);
    const QString out = scan.readAllStandardOutput();
    QVERIFY2(scan.exitCode() == 0, qPrintable(out + scan.readAllStandardError()));
    QVERIFY2(out.contains(QRegularExpression(R"((?m)^9600,n,8,1\s+0 valid)")), qPrintable(out));
    QVERIFY2(out.contains(QRegularExpression(R"((?m)^38400,n,8,1\s+0 valid)")), qPrintable(out));
    QVERIFY2(out.contains("The line runs at 19200,n,8,1 ("), qPrintable(out));
    QVERIFY(out.contains("Listen at them with: vantor-cli listen --setting 19200,n,8,1\n"));
  }
};

QTEST_MAIN(tst_clilisten)
#include "tst_clilisten.moc"
