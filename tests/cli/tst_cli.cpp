// vantor-cli as a script would use it, against the windows it must agree with.
#include "AppSession.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include "core/io/FileLock.h"

#include <QDir>

#include <csignal>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace vantor;
using namespace vantor::test;

namespace {

struct Run {
  int exitCode = -1;
  QString out;
  QString err;
};

Run cli(const QStringList& args, const QByteArray& input = {}) {
  QProcess p;
  p.start(VANTOR_CLI, args);
  p.write(input);
  p.closeWriteChannel();
  p.waitForFinished(10000);
  return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
          QString::fromUtf8(p.readAllStandardError())};
}

// `frame` with byte `at` set to `value` and its check bytes made to hold again.
QByteArray patched(QByteArray frame, int at, int value) {
  frame[at] = char(value);
  const qsizetype sum = frame.size() - 3;
  char total = 0;
  for (qsizetype i = 0; i < sum; ++i) total = char(total + frame[i]);
  frame[sum] = total;
  frame[sum + 1] = char(-total);
  return frame;
}

// Whether process `pid` has `path` open.
bool holds(qint64 pid, const QString& path) {
  const QDir fds(QString("/proc/%1/fd").arg(pid));
  for (const QFileInfo& fd : fds.entryInfoList(QDir::AllEntries | QDir::System))
    if (fd.symLinkTarget() == path) return true;
  return false;
}

// Whether process `pid` waits in a read of its standard input.
bool readsStandardInput(qint64 pid) {
  QFile call(QString("/proc/%1/syscall").arg(pid));
  return call.open(QIODevice::ReadOnly) &&
         call.readAll().startsWith(QByteArray::number(SYS_read) + " 0x0 ");
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

  void frameAndSendAreWhatTheWindowSends_data() {
    QTest::addColumn<QString>("module");
    QTest::addColumn<QStringList>("entries");
    QTest::newRow("1602") << "1602" << QStringList{"CSet=38400,e,8,1", "Saddr=17", "DT=4"};
    QTest::newRow("2004") << "2004" << QStringList{"CSet=9600,e,8,1", "Settings/AF=3", "DT2=2"};
  }
  void frameAndSendAreWhatTheWindowSends() {
    QFETCH(QString, module);
    QFETCH(QStringList, entries);
    const QString file = iniWith("Cfg" + module, entries);
    const Run frame = cli({"frame", "--module", module, "--ini", file});
    QVERIFY2(frame.exitCode == 0, qPrintable(frame.err));
    QCOMPARE(frame.out.count('\n'), 1);
    // The same settings file, through the windows: Configure LCD, Send Config. Data.
    const QString device = s_->pty.devicePath();
    const int size = module == "1602" ? 48 : 135;
    s_->choosePort(3, "9600,n,8,1", module);
    s_->start();
    s_->configureLcd();
    s_->sendConfig();
    const QByteArray bytes = QByteArray::fromHex(frame.out.toLatin1());  // blanks are skipped
    QCOMPARE(bytes, s_->pty.read(size, 2000));
    s_->closeLcd(false);
    for (const QStringList& where : QList<QStringList>{{}, {"--port", "3"}, {"--device", device}}) {
      const Run sent = cli(QStringList{"send", "--module", module, "--ini", file} + where);
      QVERIFY2(sent.exitCode == 0 && sent.out.contains(device), qPrintable(sent.err));
      QCOMPARE(s_->pty.read(size, 2000), bytes);
    }
  }

  // The four-line display as saved, each field's value given as simulate takes it: rows, then
  // what to look into.
  void previewDrawsTheSavedDisplay() {
    const QString file =
        iniWith("Cfg2004", {"Settings/AF=2", "UDT1=Flow", "SP1=14", "Dwidth1=6", "DP1=1",
                            "UDT2=Temp^^C", "DT2=1", "SP2=2", "Dwidth2=4", "DP2=1", "UDT3=Idle"});
    const Run run = cli(
        {"preview", "--module", "2004", "--ini", file, "--typed", "1=12.5", "--value", "2=0xFF83"});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QCOMPARE(run.out,
             "|Flow            12.5|\n|Te####C             |\n|Idle                |\n"
             "|                    |\n"
             "field 2: -12.5 needs 5 cells; the field has 4\n"
             "field 2: covers text of row 1, columns 2-3\n");
  }

  // The frame vantor-cli frame builds from `file`.
  QByteArray frameOf(const QString& module, const QString& file) {
    const Run run = cli({"frame", "--module", module, "--ini", file});
    if (run.exitCode != 0) qWarning() << run.err;
    return QByteArray::fromHex(run.out.toLatin1());
  }

  // A frame read back and saved builds the same frame again, but for alarm trip points, which
  // the settings file does not keep and decode says so of; what decode prints is what it saves.
  void decodeSavesWhatBuildsTheFrameAgain_data() {
    QTest::addColumn<QString>("module");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("input");  // hex on standard input ("spaced", "packed") or "raw"
    QTest::addColumn<int>("tripAt");     // a trip point's byte set to 01; -1 for none
    QTest::addColumn<QStringList>("says");
    // Settings of every kind away from their defaults; rows with blanks at either end.
    const QStringList two = QString(
                                "CSet=38400,e,8,1;Interval=25;Saddr=17;RHigh=1;RLow=2;"
                                "Dwidth1=6;SP1=20;DP1=2;DT=4;Fcode=4;UDT1=  Boiler^T:;"
                                "UDT2=Set point  C  ")
                                .split(';');
    const QStringList four = QString(
                                 "CSet=19200,n,8,2;Interval=3;Settings/AF=3;Saddr3=9;"
                                 "RHigh2=255;RLow4=7;Fcode2=4;Dwidth2=9;DP3=5;SP4=18;DT4=3;"
                                 "UDT1= Flow;UDT4=Level:^^^^^^^^^^^^^%")
                                 .split(';');
    QTest::newRow("1602 as frame prints it")
        << "1602" << two << "spaced" << -1
        << QStringList{"Row 0: \"  Boiler T:     \"\n", "\nUDT2=Set point  C\n"};
    QTest::newRow("2004 raw") << "2004" << four << "raw" << -1
                              << QStringList{
                                     "Data field 2:\n  Slave address: 1\n  Function code: "
                                     "04 (input registers)\n  Start register: 0xFF01 "
                                     "(65281)\n",
                                     "\nData field 3:\n", "\nData field 4 (not active):\n"};
    QTest::newRow("1602 alarm trip point")
        << "1602" << two << "raw" << 43
        << QStringList{
               "Alarm trip point 0x01FF (511) is not kept in the settings file: a frame "
               "built from it sends 0xFFFF."};
    QTest::newRow("2004 low trip point of field 2")
        << "2004" << four << "packed" << 125
        << QStringList{
               "Data field 2's low alarm trip point 0x0100 (256) is not kept in the "
               "settings file: a frame built from it sends 0x0000."};
  }
  void decodeSavesWhatBuildsTheFrameAgain() {
    QFETCH(QString, module);
    QFETCH(QStringList, entries);
    QFETCH(QString, input);
    QFETCH(int, tripAt);
    const QByteArray built = frameOf(module, iniWith("Cfg" + module, entries));
    QCOMPARE(built.size(), module == "1602" ? 48 : 135);
    const QByteArray frame = tripAt < 0 ? built : patched(built, tripAt, 1);
    const QString raw = s_->folder() + "/frame.bin", fresh = s_->folder() + "/fresh.ini";
    QVERIFY(writeFileBytes(raw, frame));
    const QByteArray hex =
        input == "spaced" ? frame.toHex(' ').toUpper() : frame.toHex().insert(40, "\n ");
    const QStringList from = input == "raw" ? QStringList{raw} : QStringList{};
    const Run printed = cli(QStringList{"decode"} + from, hex);
    const Run saved = cli(QStringList{"decode", "--ini", fresh} + from, hex);
    QVERIFY2(saved.exitCode == 0, qPrintable(saved.err));
    QVERIFY(saved.out.endsWith("Saved the configuration to " + fresh + ".\n"));
    QVERIFY2(printed.out.endsWith("\n\n" + QString::fromUtf8(fileBytes(fresh))),
             qPrintable(printed.out));
    QFETCH(QStringList, says);
    for (const QString& words : says)
      QVERIFY2(printed.out.contains(words), qPrintable(printed.out));
    QCOMPARE(printed.out.count("is not kept in the settings file"), tripAt < 0 ? 0 : 1);
    QCOMPARE(frameOf(module, fresh), built);
  }

  // A frame decode cannot take is refused in one line saying which bytes, and nothing is saved.
  void decodeRefuses_data() {
    QTest::addColumn<QString>("module");  // of the frame, built from the session's file
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("at");     // the byte changed; -1 cuts the last byte, -2 its last digit
    QTest::addColumn<int>("value");  // its new value, or -1 to leave the check bytes as they were
    QTest::addColumn<QString>("says");
    const auto row = [](const char* name, const char* module, const QStringList& args, int at,
                        int value, const QString& says) {
      QTest::newRow(name) << module << args << at << value << says;
    };
    const QString unlisted = "the frame holds values no list of the window offers: ";
    row("a byte short", "1602", {}, -1, 0,
        "the frame is 47 bytes; a two-line module's frame is 48 and a four-line module's 135");
    row("a hex digit short", "1602", {}, -2, 0,
        "the input is hex text with an odd number of digits (95)");
    row("the other module's length", "2004", {"--module", "1602"}, 0, 'T',
        "the frame is 135 bytes; a two-line module's frame is 48");
    row("a check byte off", "1602", {}, 45, -1,
        "the check bytes do not hold: bytes 45-46 are 0C F5, the bytes before them want 0B F5");
    row("a fill byte", "2004", {}, 134, -1,
        "byte 134, the fill byte, is 01; a frame always ends in 00");
    row("an unknown baud code", "1602", {}, 32, 0x25,
        unlisted + "byte 32 is 0x25 (37); LCD Baud Rate lists codes 24, 12, 09");
    row("function code 6", "2004", {}, 89, 6,
        unlisted + "byte 89 is 0x06 (6); Function Code (field 2) lists 3 and 4");
    row("data type 5", "2004", {}, 105, 5,
        unlisted + "byte 105 is 0x05 (5); Data Type (field 2) lists 0 to 4");
    row("a caret in a row", "1602", {}, 3, '^',
        unlisted + "byte 3 is 0x5E (94); no row text gives it: a typed ^ is sent as a blank");
  }
  void decodeRefuses() {
    QFETCH(QString, module);
    QFETCH(int, at);
    QFETCH(int, value);
    QByteArray frame = frameOf(
        module, iniWith("Cfg1602", {"CSet=9600,n,8,1", "UDT1=Temp", "Cfg2004/CSet=9600,n,8,1"}));
    if (at == -1)
      frame.chop(1);
    else if (at >= 0 && value < 0)
      frame[at] = char(frame[at] + 1);
    else if (at >= 0)
      frame = patched(frame, at, value);
    const QString fresh = s_->folder() + "/fresh.ini";
    QFETCH(QStringList, args);
    const Run run =
        cli(QStringList{"decode", "--ini", fresh} + args, frame.toHex().chopped(at == -2 ? 1 : 0));
    QCOMPARE(run.exitCode, 1);
    QFETCH(QString, says);
    QCOMPARE(run.err, "vantor-cli: " + says + "\n");
    QVERIFY(run.out.isEmpty() && !QFile::exists(fresh));
  }

  void simulateAnswersAModbusMasterUntilSigterm() {
    const QString file = iniWith("Settings", {"Setting=19200,n,8,1", "LCD/Module=2004"});
    storePoll(s_->ini, "Cfg2004", "1", {1, 3, 0, 0});
    storePoll(s_->ini, "Cfg2004", "2", {2, 4, 16, 4});
    for (auto n : {"3", "4"}) storePoll(s_->ini, "Cfg2004", n, {3, 3, 0x303, 3});
    QProcess sim;
    const QString log = s_->folder() + "/traffic.csv";
    sim.start(VANTOR_CLI, {"simulate", "--ini", file, "--device", s_->pty.devicePath(), "--value",
                           "1=0x0A", "--value", "2=74565", "--log", log, "--timestamps"});
    sim.setReadChannel(QProcess::StandardError);
    QVERIFY(sim.waitForReadyRead(5000));  // it says when it is listening

    ModbusMaster master(s_->pty.masterFd(), 200);
    QCOMPARE(readValue(master, {1, 3, 0, 0}), std::optional<quint32>(0x0A));
    QCOMPARE(readValue(master, {2, 4, 16, 4}), std::optional<quint32>(74565));
    QVERIFY(!readValue(master, {9, 3, 0, 0}));
    sim.terminate();
    QVERIFY(sim.waitForFinished(5000));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 0);
    QStringList lines = QString::fromUtf8(sim.readAllStandardOutput()).split('\n');
    for (QString& line : lines) {  // each line starts with its time stamp
      QVERIFY2(line.isEmpty() ||
                   QDateTime::fromString(line.section(' ', 0, 0), Qt::ISODateWithMs).isValid(),
               qPrintable(line));
      line = line.section(' ', 1);
    }
    QCOMPARE(lines,
             QStringList({"RX 01 03 00 00 00 01 84 0A | CRC Validated | TX 01 03 02 00 0A 38 43",
                          "RX 02 04 00 10 00 02 70 3D | CRC Validated | "
                          "TX 02 04 04 00 01 23 45 41 87",
                          "RX 09 03 00 00 00 01 85 42 | CRC Validated | TX | unanswered: no "
                          "simulated slave has address 9",
                          ""}));
    const QString err = QString::fromUtf8(sim.readAllStandardError());
    QVERIFY2(err.contains("slave 2 (field 2): 1 requests, 1 replies") &&
                 err.contains("total: 3 requests, 2 replies, 0 CRC errors, 1 unanswered"),
             qPrintable(err));
    const QList<QByteArray> records = fileBytes(log).split('\n');
    QCOMPARE(records.size(), 7);  // header, three requests, two replies, end
    QVERIFY(
        records[5].endsWith(",rx,09 03 00 00 00 01 85 42,unanswered,,no simulated slave has "
                            "address 9\r"));
  }

  // --count K: the K-th exchange is printed, counted and logged like the others, also when its
  // reply was delayed (its request is then logged before it).
  void simulateCountsItsLastExchange_data() {
    QTest::addColumn<int>("count");
    QTest::addColumn<QStringList>("args");
    QTest::newRow("1") << 1 << QStringList{};
    QTest::newRow("3") << 3 << QStringList{};
    QTest::newRow("3, replies delayed") << 3 << QStringList{"--delay", "1=20"};
  }
  void simulateCountsItsLastExchange() {
    QFETCH(int, count);
    QFETCH(QStringList, args);
    storePoll(s_->ini, "Cfg1602", "", {1, 3, 0, 0});
    const QString log = s_->folder() + "/traffic.csv";
    QProcess sim;
    sim.start(VANTOR_CLI,
              QStringList{"simulate", "--module", "1602", "--ini", s_->ini.filePath(), "--device",
                          s_->pty.devicePath(), "--setting", "9600,n,8,1", "--value", "1=7",
                          "--count", QString::number(count), "--log", log} +
                  args);
    sim.setReadChannel(QProcess::StandardError);
    QVERIFY(sim.waitForReadyRead(5000));
    ModbusMaster master(s_->pty.masterFd(), 500);
    for (int i = 0; i < count; ++i)
      QCOMPARE(readValue(master, {1, 3, 0, 0}), std::optional<quint32>(7));
    sim.waitForFinished(5000);  // false when it had ended already
    QCOMPARE(sim.state(), QProcess::NotRunning);
    QCOMPARE(sim.exitCode(), 0);
    QCOMPARE(QString(sim.readAllStandardOutput()).count("| TX 01 03 02 00 07 F9 86"), count);
    const QString err = sim.readAllStandardError();
    QVERIFY2(err.contains(QString("total: %1 requests, %1 replies,").arg(count)), qPrintable(err));
    QCOMPARE(fileBytes(log).count('\n'), 1 + 2 * count);  // the header, each request and reply
  }

  // A signal ends vantor-cli at once wherever it waits, saying what it was doing; a port being
  // served or heard is closed in order first, and what was heard said.
  void aSignalEndsEveryWait_data() {
    QTest::addColumn<QStringList>("args");  // INI and PTY stand for the session's
    QTest::addColumn<QString>("ready");     // "reading", "holding PTY", or what it says first
    QTest::addColumn<bool>("locked");       // another program holds the settings file's lock
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("says");
    QTest::newRow("waiting for the settings file's lock")
        << QStringList{"decode", "--ini", "INI"} << "another program holds the lock" << true << 1
        << "vantor-cli: stopped by SIGTERM while saving the configuration to INI, waiting for "
           "another program's lock on the settings file (INI.lock)\n";
    QTest::newRow("decode reading an input that never ends")
        << QStringList{"decode"} << "reading" << false << 1
        << "vantor-cli: stopped by SIGTERM while reading standard input\n";
    QTest::newRow("scanning") << QStringList{"listen",   "--scan", "--seconds", "30",
                                             "--device", "PTY",    "--ini",     "INI"}
                              << "holding PTY" << false << 1
                              << "vantor-cli: stopped before the scan was done\n";
    QTest::newRow("listening") << QStringList{"listen", "--device", "PTY", "--ini", "INI"}
                               << "Listening on" << false << 0 << "Poll plan, from 0 frames heard";
  }
  void aSignalEndsEveryWait() {
    QFETCH(QStringList, args);
    QFETCH(QString, ready);
    QFETCH(bool, locked);
    const QString ini =
        iniWith("Cfg1602", {"CSet=9600,n,8,1", "Settings/Setting=9600,n,8,1", "LCD/Module=1602"});
    const QByteArray frame = locked ? frameOf("1602", ini) : QByteArray();
    std::optional<FileLock> lock;
    if (locked) lock.emplace(s_->ini.lockPath(), FileLock::Kind::Exclusive);
    QVERIFY(!locked || lock->locked());
    QProcess p;
    p.start(VANTOR_CLI,
            args.replaceInStrings("INI", ini).replaceInStrings("PTY", s_->pty.devicePath()));
    QVERIFY(p.waitForStarted());
    if (locked) {
      p.write(frame.toHex());
      p.closeWriteChannel();
    }
    QByteArray err;
    const auto isReady = [&] {
      if (ready == "reading") return readsStandardInput(p.processId());
      if (ready == "holding PTY") return holds(p.processId(), s_->pty.devicePath());
      err += p.readAllStandardError();
      return err.contains(ready.toUtf8());
    };
    QTRY_VERIFY_WITH_TIMEOUT(isReady(), 10000);
    ::kill(pid_t(p.processId()), SIGTERM);
    QVERIFY(p.waitForFinished(5000));  // far less than the 10 s a lock is waited for
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QTEST(p.exitCode(), "exitCode");
    err += p.readAllStandardError();
    QFETCH(QString, says);
    QVERIFY2(err.contains(says.replace("INI", ini).toUtf8()), err.constData());
  }

  // A reader that stops reading (a paused pager) costs printed lines, never a reply.
  void outputNeverHoldsUpAReply() {
    storePoll(s_->ini, "Cfg1602", "", {1, 3, 0, 0});
    QProcess sim;
    sim.setChildProcessModifier([] { ::setpgid(0, 0); });
    sim.start("bash", {"-c", QString("%1 simulate --module 1602 --ini %2 --device %3 --setting "
                                     "9600,n,8,1 --value 1=7 | sleep 30")
                                 .arg(VANTOR_CLI, s_->ini.filePath(), s_->pty.devicePath())});
    sim.setReadChannel(QProcess::StandardError);
    QVERIFY(sim.waitForReadyRead(5000));
    ModbusMaster master(s_->pty.masterFd(), 500);
    int answered = 0;
    while (answered < 3000 && readValue(master, {1, 3, 0, 0}) == 7u) ++answered;
    ::kill(-qint64(sim.processId()), SIGTERM);
    sim.waitForFinished(5000);
    QCOMPARE(answered, 3000);  // far more lines than a pipe holds
  }

  // What a libmodbus master sees of each fault: six polls of slave 1 each.
  void faultsAsAMasterSeesThem_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("failed");  // which of the six polls fail, e.g. "..x..x"
    QTest::addColumn<QString>("error");
    QTest::addColumn<int>("minMs");  // each answer takes at least this long
    QTest::newRow("silent") << QStringList{"--fault", "1=silent"} << "xxxxxx"
                            << "Connection timed out" << 0;
    QTest::newRow("exception 06") << QStringList{"--fault", "1=exception:6"} << "xxxxxx"
                                  << "busy" << 0;
    QTest::newRow("broken check value") << QStringList{"--fault", "1=bad-crc"} << "xxxxxx"
                                        << "Invalid CRC" << 0;
    QTest::newRow("another address") << QStringList{"--fault", "1=wrong-address"} << "xxxxxx"
                                     << "not from requested slave" << 0;
    QTest::newRow("silent one poll in 3") << QStringList{"--fault", "1=silent/3"} << "..x..x"
                                          << "Connection timed out" << 0;
    QTest::newRow("fixed delay") << QStringList{"--delay", "1=60"} << "......"
                                 << "" << 60;
    QTest::newRow("random delay") << QStringList{"--delay", "1=30-50"} << "......"
                                  << "" << 30;
  }
  void faultsAsAMasterSeesThem() {
    QFETCH(QStringList, args);
    QFETCH(int, minMs);
    storePoll(s_->ini, "Cfg1602", "", {1, 3, 0, 0});
    QProcess sim;
    sim.start(VANTOR_CLI,
              QStringList{"simulate", "--module", "1602", "--ini", s_->ini.filePath(), "--device",
                          s_->pty.devicePath(), "--setting", "9600,n,8,1", "--value", "1=7"} +
                  args);
    sim.setReadChannel(QProcess::StandardError);
    QVERIFY(sim.waitForReadyRead(5000));
    ModbusMaster master(s_->pty.masterFd(), 300);
    QString failed, seen;
    for (int i = 0; i < 6; ++i) {
      QElapsedTimer t;
      t.start();
      const bool ok = readValue(master, {1, 3, 0, 0}) == 7u;
      failed += ok ? '.' : 'x';
      if (!ok) seen = master.lastError();
      // The delay is honoured; how much over it the master's own timing adds is the benchmark's.
      if (ok) QVERIFY2(t.elapsed() >= minMs, qPrintable(QString::number(t.elapsed())));
      QTest::qWait(20);  // lets a wrong reply end before the next poll
    }
    sim.terminate();
    sim.waitForFinished(5000);
    QTEST(failed, "failed");
    QFETCH(QString, error);
    QVERIFY2(seen.contains(error, Qt::CaseInsensitive), qPrintable(seen));
  }

  // A pymodbus master reads values typed as the module shows them, one of each data type,
  // and the exception code a fault sends.
  void typedValuesAndExceptionsInPymodbus() {
    const QStringList types = {"1", "2", "3", "4"};  // signed, BCD, long BCD, long integer
    for (int k = 1; k <= 4; ++k)
      storePoll(s_->ini, "Cfg2004", QString::number(k), {k, 3, 0, types[k - 1].toInt()});
    s_->set("Cfg2004", "DP1", "1");
    QProcess sim;
    sim.start(VANTOR_CLI, {"simulate", "--module", "2004", "--ini", s_->ini.filePath(), "--device",
                           s_->pty.devicePath(), "--setting", "9600,n,8,1", "--typed", "1=-12.5",
                           "--typed", "3=99999", "--typed", "4=1048575", "--ramp", "2=10:30:10",
                           "--fault", "3=exception:2/2"});
    QVERIFY2(sim.waitForStarted(), "no vantor-cli");
    sim.setReadChannel(QProcess::StandardError);
    QVERIFY(sim.waitForReadyRead(10000));  // it says when it is listening
    PtyPair far(true);
    QProcess py;
    py.start("/usr/bin/python3", {PYMASTER, far.devicePath(), "1:3:0:1", "2:3:0:1", "3:3:0:2",
                                  "4:3:0:2", "2:3:0:1", "2:3:0:1", "2:3:0:1", "3:3:0:2"});
    relayWhileRunning(s_->pty, far, py);
    sim.terminate();
    sim.waitForFinished(5000);
    const QByteArray out = py.readAllStandardOutput();
    const QJsonArray results = QJsonDocument::fromJson(out).array();
    QStringList seen;
    for (const QJsonValue r : results)
      seen << (r["registers"].isArray()
                   ? QString::fromUtf8(
                         QJsonDocument(r["registers"].toArray()).toJson(QJsonDocument::Compact))
                   : QStringLiteral("exception %1").arg(r["code"].toInt()));
    // -12.5 signed with one decimal place; a BCD ramp from 10 to 30 by 10 and round again;
    // long BCD 99999; long integer 1048575; every second poll of slave 3 refused.
    QCOMPARE(seen, QStringList({"[65411]", "[16]", "[9,39321]", "[15,65535]", "[32]", "[48]",
                                "[16]", "exception 2"}));
    QVERIFY2(!out.isEmpty(), qPrintable(py.readAllStandardError()));
  }

  // A bench scenario saved by the window is served; an option beside it wins for the slave and
  // the control it names, and leaves the file's others as they were.
  void simulateServesABenchScenario() {
    storePoll(s_->ini, "Cfg2004", "1", {1, 3, 0, 1});  // signed, one decimal place
    storePoll(s_->ini, "Cfg2004", "2", {2, 3, 0, 0});
    s_->set("Cfg2004", "DP1", "1");
    const QString bench = s_->folder() + "/bench.vbench";
    QVERIFY(writeFileBytes(bench, R"({"vantor-bench": 1, "module": "2004", "slaves": {
      "1": {"typed": "-12.5"}, "2": {"value": "0x1234", "fault": "silent", "delay": "30"}}})"));
    QProcess sim;
    sim.start(VANTOR_CLI, {"simulate", "--module", "2004", "--ini", s_->ini.filePath(), "--device",
                           s_->pty.devicePath(), "--setting", "9600,n,8,1", "--bench", bench,
                           "--fault", "2=none"});
    sim.setReadChannel(QProcess::StandardError);
    QVERIFY2(sim.waitForReadyRead(5000), qPrintable(sim.readAllStandardError()));
    ModbusMaster master(s_->pty.masterFd(), 500);
    QCOMPARE(readValue(master, {1, 3, 0, 1}), std::optional<quint32>(0xFF83));
    QElapsedTimer t;
    t.start();
    QCOMPARE(readValue(master, {2, 3, 0, 0}), std::optional<quint32>(0x1234));
    QVERIFY(t.elapsed() >= 30);  // the file's delay stays
    sim.terminate();
    QVERIFY(sim.waitForFinished(5000));
    QCOMPARE(sim.exitCode(), 0);
  }

  // Every poll answered: a real master reads registers of an address the module does not poll
  // and gets the map's values (by function code) and zeros, exception 02 past register 0xFFFF;
  // the module's own slave answers as ever, and the log says which were answered for none.
  void simulateAnswersEveryPoll() {
    storePoll(s_->ini, "Cfg1602", "", {1, 3, 0, 0});
    const QString log = s_->folder() + "/traffic.jsonl";
    QProcess sim;
    sim.start(VANTOR_CLI,
              {"simulate", "--module", "1602", "--ini", s_->ini.filePath(), "--device",
               s_->pty.devicePath(), "--setting", "9600,n,8,1", "--value", "1=7", "--answer-all",
               "--register", "9:4:0x10=0x1234", "--register=9:4:18=65535", "--log", log});
    sim.setReadChannel(QProcess::StandardError);
    QVERIFY2(sim.waitForReadyRead(5000), qPrintable(sim.readAllStandardError()));
    ModbusMaster master(s_->pty.masterFd(), 500);
    using Registers = std::vector<std::uint16_t>;
    const auto read = [&](int function, int start, int count) {
      return serve([&] { return master.read(function, 9, start, count); });
    };
    QCOMPARE(read(4, 0x10, 3), std::optional(Registers{0x1234, 0, 0xFFFF}));
    QCOMPARE(read(3, 0x10, 1), std::optional(Registers{0}));
    QCOMPARE(readValue(master, {1, 3, 0, 0}), std::optional<quint32>(7));
    QVERIFY(!read(3, 0xFFFF, 2));
    QCOMPARE(master.lastError(), QString("Illegal data address"));
    sim.terminate();
    QVERIFY(sim.waitForFinished(5000));
    QCOMPARE(sim.exitCode(), 0);
    const QString out = QString::fromUtf8(sim.readAllStandardOutput());
    QVERIFY2(out.startsWith("RX 09 04 00 10 00 03 B0 86 | CRC Validated | TX 09 04 06 12 34 00 00 "
                            "FF FF B4 55 | answer every poll\n"),
             qPrintable(out));
    const QJsonObject first = QJsonDocument::fromJson(fileBytes(log).split('\n')[0]).object();
    QCOMPARE(first["kind"].toString(), QString("answered"));
    QVERIFY(first["slave"].isNull());
    QCOMPARE(first["detail"].toString(), QString("answer every poll"));
  }

  // A log that cannot be written is said once, with the file and why, and the simulator goes
  // on answering; the log holds whole records only, and a reader too slow for it costs
  // records, which are counted, never a reply.
  void logFailures_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("says");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("a full disk") << "full"
                                 << "could not be written: No space left" << 1;
    QTest::newRow("a file-size limit") << "limit"
                                       << "could not be written: File too large" << 1;
    QTest::newRow("a reader that stops reading") << "slow"
                                                 << "records of the log" << 0;
  }
  void logFailures() {
    QFETCH(QString, kind);
    storePoll(s_->ini, "Cfg1602", "", {1, 3, 0, 0});
    const QString log = s_->folder() + "/log.jsonl";
    int reader = -1;
    if (kind == "full") QVERIFY(QFile::link("/dev/full", log));
    if (kind == "slow") {  // a pipe that holds a few records, read only at the end
      QCOMPARE(::mkfifo(QFile::encodeName(log).constData(), 0600), 0);
      reader = ::open(QFile::encodeName(log).constData(), O_RDONLY | O_NONBLOCK);
      QVERIFY(::fcntl(reader, F_SETPIPE_SZ, 4096) > 0);
    }
    QProcess sim;
    // As a login shell leaves it: a write beyond the limit raises SIGXFSZ, which kills.
    sim.setChildProcessModifier([] { std::signal(SIGXFSZ, SIG_DFL); });
    sim.start("bash", {"-c", QString("ulimit -f %1; exec %2 simulate --module 1602 --ini %3 "
                                     "--device %4 --setting 9600,n,8,1 --value 1=7 --log %5")
                                 .arg(kind == "limit" ? "1" : "unlimited", VANTOR_CLI,
                                      s_->ini.filePath(), s_->pty.devicePath(), log)});
    sim.setReadChannel(QProcess::StandardError);
    QVERIFY(sim.waitForReadyRead(5000));
    ModbusMaster master(s_->pty.masterFd(), 500);
    int answered = 0;
    while (answered < 100 && readValue(master, {1, 3, 0, 0}) == 7u) ++answered;
    QCOMPARE(answered, 100);
    sim.terminate();
    QVERIFY(sim.waitForFinished(5000));
    QTEST(sim.exitCode(), "exitCode");
    const QString err = QString::fromUtf8(sim.readAllStandardError());
    QFETCH(QString, says);
    QCOMPARE(err.count(says), 1);
    QVERIFY2(err.contains(log), qPrintable(err));
    QByteArray written;
    if (kind == "slow") {
      char buffer[4096];
      for (ssize_t n; (n = ::read(reader, buffer, sizeof buffer)) > 0;) written.append(buffer, n);
      ::close(reader);
    } else if (kind == "limit") {
      written = fileBytes(log);
    }
    for (const QByteArray& record : written.split('\n').mid(0, written.count('\n')))
      QVERIFY2(QJsonDocument::fromJson(record).isObject(), record.constData());
    QVERIFY(written.isEmpty() || written.endsWith('\n'));
  }

  void errorsSayWhat_data() {
    QTest::addColumn<QStringList>("args");  // PTY stands for the session's pseudo-terminal
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("says");
    const auto row = [](const char* name, const QStringList& args, int code, const char* says) {
      QTest::newRow(name) << args << code << QString(says);
    };
    row("no command", {}, 2, "usage:");
    row("bad module", {"frame", "--module", "1604"}, 2, "not 1604");
    row("port and device", {"send", "--port", "1", "--device", "/x"}, 2, "usage:");
    // Only the two-line module is configured: each command says what it did not do.
    row("frame of a module never configured", {"frame", "--module", "2004"}, 1,
        "No frame was built: the saved configuration gives no usable LCD Baud Rate, LCD Data "
        "Format.");
    row("send of a module never configured", {"send", "--module", "2004", "--device", "PTY"}, 1,
        "Nothing was sent: the saved configuration gives no usable LCD Baud Rate");
    row("no such device", {"send", "--device", "/dev/ttyNOSUCH"}, 1, "/dev/ttyNOSUCH");
    row("empty device", {"simulate", "--device", ""}, 1, "No device is named");
    row("bad value", {"simulate", "--value", "1=12x"}, 1, "--value 1=12x");
    row("value too large", {"simulate", "--device", "PTY", "--value", "1=0x10000"}, 1,
        "at most 0xFFFF");
    row("no such fault", {"simulate", "--device", "PTY", "--fault", "1=loud"}, 1, "--fault 1=loud");
    row("exception 5", {"simulate", "--device", "PTY", "--fault", "1=exception:5"}, 1,
        "--fault 1=exception:5");
    row("delay upside down", {"simulate", "--device", "PTY", "--delay", "1=50-30"}, 1,
        "--delay 1=50-30");
    row("typed out of range", {"simulate", "--device", "PTY", "--typed", "1=70000"}, 1,
        "from 0 to 65535");
    row("ramp without a step", {"simulate", "--device", "PTY", "--ramp", "1=0:10"}, 1,
        "--ramp 1=0:10");
    row("ramp step not a number", {"simulate", "--device", "PTY", "--ramp", "1=0:10:nan"}, 1,
        "--ramp 1=0:10:nan: Give a step that leads from 0 to 10.");
    row("ramp step beyond the type", {"simulate", "--device", "PTY", "--ramp", "1=0:10:1e300"}, 1,
        "--ramp 1=0:10:1e300");
    row("delay over a minute", {"simulate", "--device", "PTY", "--delay", "1=86400001"}, 1,
        "--delay 1=86400001");
    row("bench file missing", {"simulate", "--device", "PTY", "--bench", "/no/such.vbench"}, 1,
        "/no/such.vbench could not be read");
    row("register without --answer-all", {"simulate", "--device", "PTY", "--register", "1:3:0=5"},
        1, "--register 1:3:0=5: give --answer-all too");
    row("register of function 6",
        {"simulate", "--device", "PTY", "--answer-all", "--register", "1:6:0=5"}, 1,
        "--register 1:6:0=5: give function 3 or 4");
    row("preview of a field the module lacks", {"preview", "--value", "2=5"}, 1,
        "--value 2=5: the two-line module has field 1 only");
    row("log to a named pipe nobody reads", {"simulate", "--device", "PTY", "--log", "FIFO"}, 1,
        "nobody reads");
  }
  void errorsSayWhat() {
    QFETCH(QStringList, args);
    storePoll(s_->ini, "Cfg1602", "", {1, 3, 0, 0});
    const QString file =
        iniWith("Settings", {"Setting=9600,n,8,1", "LCD/Module=1602", "Cfg1602/CSet=9600,n,8,1"});
    const QString fifo = s_->folder() + "/log.jsonl";
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const Run run =
        cli(args.replaceInStrings("PTY", s_->pty.devicePath()).replaceInStrings("FIFO", fifo) +
            QStringList{"--ini", file});
    QTEST(run.exitCode, "exitCode");
    QFETCH(QString, says);
    QVERIFY2(run.err.contains(says), qPrintable(run.err));
    QVERIFY(run.out.isEmpty());
    if (run.exitCode == 1) QCOMPARE(run.err.count('\n'), 1);
  }

  // A bench scenario that is no regular file is refused at once, by name: a device that would
  // give bytes without end, a named pipe nobody writes to, a folder.
  void benchScenarioThatIsNoFile_data() {
    QTest::addColumn<QString>("bench");
    QTest::addColumn<QString>("says");
    QTest::newRow("device") << "/dev/zero"
                            << "it is a device, not a regular file";
    QTest::newRow("named pipe without a writer") << "FIFO"
                                                 << "it is a named pipe";
    QTest::newRow("folder") << "FOLDER"
                            << "it is a folder";
  }
  void benchScenarioThatIsNoFile() {
    QFETCH(QString, bench);
    QFETCH(QString, says);
    storePoll(s_->ini, "Cfg1602", "", {1, 3, 0, 0});
    const QString file =
        iniWith("Settings", {"Setting=9600,n,8,1", "LCD/Module=1602", "Cfg1602/CSet=9600,n,8,1"});
    const QString fifo = s_->folder() + "/bench.vbench";
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    bench.replace("FIFO", fifo).replace("FOLDER", s_->folder());
    const Run run =
        cli({"simulate", "--device", s_->pty.devicePath(), "--bench", bench, "--ini", file});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(bench + " could not be read: " + says), qPrintable(run.err));
  }
};

QTEST_MAIN(tst_cli)
#include "tst_cli.moc"
