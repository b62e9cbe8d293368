#include "core/modbus/HexText.h"
#include "core/replay/MasterReplay.h"
#include "core/replay/Recording.h"
#include "core/replay/SlaveReplay.h"

#include <QTemporaryDir>
#include <QtTest>

#include "SettingsFiles.h"

using namespace vantor;
using namespace std::chrono_literals;

namespace {

const QDateTime kStart(QDate(2026, 12, 6), QTime(23, 14, 11, 123), Qt::OffsetFromUTC, 3600);

// Frames by name, check values included.
const QHash<QString, QString> kFrames{
    {"A", "01 03 00 10 00 01 85 CF"},      // slave 1 reads holding register 0x0010
    {"a", "01 03 02 04 D2 3A D9"},         // 0x04D2
    {"a'", "01 03 02 04 D3 FB 19"},        // 0x04D3
    {"a?", "01 03 02 04 D2 3A DA"},        // 0x04D2 with a check value that fails
    {"B", "02 04 00 20 00 02 70 32"},      // slave 2 reads input registers 0x0020-21
    {"b", "02 04 04 00 01 E2 40 D0 14"},   // 0x0001E240
    {"b-", "02 04 04 FF FF FF 85 48 F3"},  // 0xFFFFFF85
    {"bx", "02 84 02 32 C1"},              // exception 02
    {"C", "03 03 00 00 00 01 85 E8"},      // slave 3, in no configuration
    {"c", "03 03 02 00 07 80 46"},         // 0x0007
    {"A~", "01 03 00 10 00 01 00 00"},     // A garbled
};

QByteArray bytesOf(const QString& name) {
  return name == "-" ? QByteArray() : QByteArray::fromHex(kFrames.value(name, name).toLatin1());
}

// Records as "MS DIRECTION KIND [FRAME|HEX...] [@SLAVE]", on lines 1, 2, ...
std::vector<LogRecord> records(const QStringList& rows) {
  std::vector<LogRecord> out;
  for (const QString& row : rows) {
    const QStringList words = row.split(' ', Qt::SkipEmptyParts);
    LogRecord r;
    r.line = qsizetype(out.size()) + 1;
    r.time = kStart.addMSecs(words[0].toInt());
    r.direction = words[1] == "tx" ? Direction::Tx : Direction::Rx;
    r.kind = words[2];
    for (const QString& w : words.mid(3)) {
      if (w.startsWith('@'))
        r.slave = w.mid(1).toInt();
      else
        r.bytes += bytesOf(w);
    }
    out.push_back(r);
  }
  return out;
}

Recording recordingOf(const QStringList& rows) {
  return Recording{"site.jsonl", pairExchanges(records(rows))};
}

QString jsonLine(const QString& time, const QString& bytes, const QString& kind = "request") {
  return QString(
             "{\"time\":\"%1\",\"direction\":\"rx\",\"bytes\":\"%2\",\"kind\":\"%3\","
             "\"slave\":null,\"detail\":\"\"}")
             .arg(time, bytes, kind) +
         '\n';
}

}  // namespace

class TstReplay : public QObject {
  Q_OBJECT

 private slots:
  // Which reply goes with which request, as each job writes its records. An exchange shows as
  // "REQUEST LINE>REPLY LINE DELAY BYTES ON THE LINE", or "LINE>-" without a reply.
  void pairing_data() {
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QStringList>("exchanges");
    QTest::newRow("listening") << QStringList{"0 rx request A",        "15 rx response a",
                                              "100 rx request B",      "180 rx exception bx",
                                              "200 rx request C",      "300 rx request A",
                                              "320 rx crc-error a?",   "330 rx response a",
                                              "340 rx crc-error A~",   "400 rx config-frame 01",
                                              "410 rx fragment 01 03", "500 rx request B"}
                               << QStringList{"1>2 15ms 7", "3>4 80ms 5", "5>-",
                                              "6>7 20ms 7", "9>-",        "12>-"};
    // A delayed reply goes out after a later request was answered.
    QTest::newRow("serving") << QStringList{"0 rx answered A @1",   "0 tx reply a @1",
                                            "50 rx unanswered C",   "60 rx crc-error A~",
                                            "100 rx answered B @2", "110 rx answered A @1",
                                            "110 tx reply a @1",    "180 tx reply bx @2",
                                            "190 rx echo bx",       "200 rx fragment 01"}
                             << QStringList{"1>2 0ms 0", "3>-", "4>-", "5>8 80ms 0", "6>7 0ms 0"};
    // Bytes that name no field came while no poll waited for them, or before the reply.
    QTest::newRow("polling") << QStringList{"0 tx poll A @1",          "0 rx echo A",
                                            "20 rx poll-error 00 FF",  "30 rx poll-reply a @1",
                                            "1000 tx poll B @2",       "1500 rx poll-timeout @2",
                                            "1600 rx poll-error b",    "2000 tx poll C @3",
                                            "2040 rx poll-error a? @3"}
                             << QStringList{"1>4 30ms 15", "5>-", "8>9 40ms 15"};
  }
  void pairing() {
    QFETCH(QStringList, rows);
    QFETCH(QStringList, exchanges);
    QStringList paired;
    for (const RecordedExchange& x : pairExchanges(records(rows)))
      paired << (x.reply ? QString("%1>%2 %3ms %4")
                               .arg(x.line)
                               .arg(x.replyLine)
                               .arg(x.delayMs)
                               .arg(x.bytesInDelay)
                         : QString("%1>-").arg(x.line));
    QCOMPARE(paired, exchanges);
  }

  // What was written is what is read, in each format: quotes, commas and line breaks in a
  // detail, offsets of their own, a field or none; a record's line counts the lines before it.
  void readsWhatWasWritten_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("requestLine");
    QTest::addColumn<int>("replyLine");
    QTest::newRow("CSV") << "site.csv" << 2 << 5;
    QTest::newRow("JSON Lines") << "site.jsonl" << 1 << 2;
  }
  void readsWhatWasWritten() {
    QFETCH(QString, file);
    QFETCH(int, requestLine);
    QFETCH(int, replyLine);
    const TrafficEvent request{
        .time = QDateTime(QDate(2026, 3, 29), QTime(1, 59, 59, 999), Qt::OffsetFromUTC, 19800),
        .bytes = bytesOf("A"),
        .kind = EventKind::Answered,
        .slave = 3,
        .detail = "say \"no\", then\nstop,\r\nnow"};
    const TrafficEvent reply{
        .time = QDateTime(QDate(2026, 3, 28), QTime(19, 30, 0, 41), Qt::OffsetFromUTC, -3600),
        .direction = Direction::Tx,
        .bytes = bytesOf("a"),
        .kind = EventKind::Reply,
        .detail = {}};
    const LogFormat format = *logFormatOf(file);
    QTemporaryDir dir;
    QVERIFY(vantor::test::writeFileBytes(
        dir.filePath(file),
        logHeader(format) + logRecord(format, request) + logRecord(format, reply)));

    const LogReading reading = readLog(vantor::test::fileBytes(dir.filePath(file)), format);
    QStringList read;
    for (const LogRecord& r : reading.records)
      read << QString("%1 %2 %3 %4 %5 %6 %7")
                  .arg(r.line)
                  .arg(isoTime(r.time), r.direction == Direction::Rx ? "rx" : "tx",
                       hexText(r.bytes), r.kind)
                  .arg(r.slave)
                  .arg(r.detail);
    QCOMPARE(read, (QStringList{QString("%1 2026-03-29T01:59:59.999+05:30 rx ").arg(requestLine) +
                                    kFrames["A"] + " answered 3 " + request.detail,
                                QString("%1 2026-03-28T19:30:00.041-01:00 tx ").arg(replyLine) +
                                    kFrames["a"] + " reply 0 "}));
    const RecordingRead recording = readRecording(dir.filePath(file));
    QVERIFY2(recording.recording, qPrintable(recording.refusal));
    QCOMPARE(recording.recording->exchanges[0].delayMs, 42);
  }

  // A recording that cannot be replayed is refused whole, naming the file, the line and what
  // is wrong with it.
  void refusals_data() {
    const QString ok = "2026-12-06T23:14:11.123+01:00";
    const QString later = "2026-12-06T23:14:11.200+01:00";
    const QString good = jsonLine(ok, kFrames["A"]);
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("content");
    QTest::addColumn<QString>("refusal");
    QTest::newRow("CSV header") << "x.csv"
                                << "time,direction,bytes\r\n"
                                << "x.csv, line 1: not an export of the bus monitor";
    QTest::newRow("CSV in .jsonl") << "x.jsonl"
                                   << "time,direction,bytes,kind,slave,detail\n"
                                   << "x.jsonl, line 1: not an export of the bus monitor";
    QTest::newRow("key missing")
        << "x.jsonl"
        << good + "{\"time\":\"" + ok +
               "\",\"direction\":\"rx\",\"bytes\":\"\",\"kind\":\"request\",\"detail\":\"\"}"
        << "x.jsonl, line 2: not an export of the bus monitor: it has no key \"slave\"";
    QTest::newRow("CSV cut off") << "x.csv"
                                 << "time,direction,bytes,kind,slave,detail\r\n" + ok +
                                        ",rx,01 03,fragment,,\r\n" + ok +
                                        ",rx,01 03,fragment,,\"said \"\"no\"\",\r\nthen"
                                 << "x.csv, line 3: the line is cut off";
    QTest::newRow("not hex") << "x.jsonl" << good + jsonLine(later, "01 0G")
                             << "x.jsonl, line 2: the bytes \"01 0G\" are not hexadecimal";
    QTest::newRow("time without offset")
        << "x.jsonl" << jsonLine("2026-12-06T23:14:11.123", kFrames["A"])
        << "x.jsonl, line 1: the time \"2026-12-06T23:14:11.123\" is not a local time";
    QTest::newRow("time backwards")
        << "x.jsonl" << good + jsonLine(later, "01") + good
        << "x.jsonl, line 3: the time goes backwards, to " + ok + " after " + later + " on line 2";
    QTest::newRow("nothing to replay")
        << "x.jsonl" << jsonLine(ok, "01 03", "fragment") << "x.jsonl holds no request to replay";
  }
  // A writer stopped anywhere in its last record leaves a line cut off, and says where.
  void cutAnywhere_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("whole");
    QTest::addColumn<QString>("last");
    const QString time = "2026-12-06T23:14:11.123+01:00";
    QTest::newRow("CSV") << "x.csv"
                         << "time,direction,bytes,kind,slave,detail\r\n"
                         << time + ",rx," + kFrames["A"] + ",request,,\"a, \"\"b\"\"\"\r\n";
    QTest::newRow("JSON Lines") << "x.jsonl" << jsonLine(time, kFrames["A"])
                                << jsonLine(time, kFrames["A"]);
  }
  void cutAnywhere() {
    QFETCH(QString, file);
    QFETCH(QString, whole);
    QFETCH(QString, last);
    for (int n = 1; n < last.size() - 1; ++n) {
      const RecordingRead read =
          readRecording((whole + last.first(n)).toUtf8(), *logFormatOf(file), file);
      QVERIFY2(read.refusal == file + ", line 2: the line is cut off",
               qPrintable(QString("%1 [%2]").arg(read.refusal, last.first(n))));
    }
  }

  void refusals() {
    QFETCH(QString, file);
    QFETCH(QString, content);
    QFETCH(QString, refusal);
    const RecordingRead read = readRecording(content.toUtf8(), *logFormatOf(file), file);
    QVERIFY(!read.recording);
    QVERIFY2(read.refusal.startsWith(refusal), qPrintable(read.refusal));
  }

  // The n-th arrival of a request gets its n-th recorded occurrence; after the last, the last
  // again, or the first again with loop; at the pace asked for. An arrival shows as
  // "OCCURRENCE:REPLY:DELAY IN MS", or "OCCURRENCE:-" for no reply.
  void slaveAnswers_data() {
    QTest::addColumn<bool>("loop");
    QTest::addColumn<double>("speed");
    QTest::addColumn<int>("characterUs");
    QTest::addColumn<QStringList>("answers");
    QTest::newRow("repeat the last")
        << false << 1.0 << 0
        << QStringList{"1:a:10", "2:-", "3:a':30", "3:a':30", "3:a':30", "1:b:40", "0:-"};
    QTest::newRow("loop") << true << 1.0 << 0
                          << QStringList{"1:a:10", "2:-",    "3:a':30", "1:a:10",
                                         "2:-",    "1:b:40", "0:-"};
    QTest::newRow("twice as fast")
        << false << 2.0 << 0
        << QStringList{"1:a:5", "2:-", "3:a':15", "3:a':15", "3:a':15", "1:b:20", "0:-"};
    // The replies' own bytes, heard to their last, take 1 ms each.
    QTest::newRow("bytes on the line")
        << false << 1.0 << 1000
        << QStringList{"1:a:3", "2:-", "3:a':23", "3:a':23", "3:a':23", "1:b:31", "0:-"};
  }
  void slaveAnswers() {
    QFETCH(bool, loop);
    QFETCH(double, speed);
    QFETCH(int, characterUs);
    QFETCH(QStringList, answers);
    const Recording recording =
        recordingOf({"0 rx request A", "10 rx response a", "100 rx request A", "200 rx request A",
                     "230 rx response a'", "300 rx request B", "340 rx response b"});
    SlaveReplay replay(recording, ReplayPace{speed, std::chrono::microseconds(characterUs)}, loop);
    QStringList got;
    QStringList reasons;
    for (const char* request : {"A", "A", "A", "A", "A", "B", "C"}) {
      const SlaveAnswer a = replay.answer(bytesOf(request));
      const QString reply = a.reply ? kFrames.key(QString(a.reply->toHex(' ').toUpper())) : "-";
      got << (a.reply ? QString("%1:%2:%3")
                            .arg(a.occurrence)
                            .arg(reply)
                            .arg(double(a.delay.count()) / 1e6)
                      : QString("%1:-").arg(a.occurrence));
      reasons << a.reason;
    }
    QCOMPARE(got, answers);
    QCOMPARE(reasons[1], QString("not answered, as on line 3 of the recording"));
    QCOMPARE(reasons.last(), "not answered: the recording never heard " + kFrames["C"]);
  }

  // Each reply to a replayed poll against the recorded one, values read as the display reads
  // the field that polls so.
  void comparisons_data() {
    QTest::addColumn<QString>("frames");  // the request, the recorded reply, the reply now
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QString>("difference");
    const QString a = "line 7, " + kFrames["A"] + ", slave 1 (field 2): ";
    const QString b = "line 7, " + kFrames["B"] + ", slave 2 (field 1): ";
    QTest::newRow("same") << "A a a" << int(ReplyOutcome::Matched) << "";
    QTest::newRow("silent both times") << "A - -" << int(ReplyOutcome::Matched) << "";
    QTest::newRow("other value") << "A a a'" << int(ReplyOutcome::OtherBytes)
                                 << a + "other bytes: recorded " + kFrames["a"] + " = 123.4, now " +
                                        kFrames["a'"] + " = 123.5";
    QTest::newRow("two registers") << "B b b-" << int(ReplyOutcome::OtherBytes)
                                   << b + "other bytes: recorded " + kFrames["b"] +
                                          " = 1234.56, now " + kFrames["b-"] + " = -1.23";
    QTest::newRow("exception") << "B b bx" << int(ReplyOutcome::OtherBytes)
                               << b + "other bytes: recorded " + kFrames["b"] + " = 1234.56, now " +
                                      kFrames["bx"] + " = exception 02 (illegal data address)";
    QTest::newRow("bad check value recorded")
        << "A a? a" << int(ReplyOutcome::OtherBytes)
        << a + "other bytes: recorded " + kFrames["a?"] + " (check value wrong), now " +
               kFrames["a"] + " = 123.4";
    QTest::newRow("no reply") << "A a -" << int(ReplyOutcome::NoReply)
                              << a + "no reply; recorded " + kFrames["a"] + " = 123.4";
    QTest::newRow("a reply, none recorded, no field")
        << "C - c" << int(ReplyOutcome::UnexpectedReply)
        << "line 7, " + kFrames["C"] + ": a reply where the recording had none: " + kFrames["c"];
  }
  void comparisons() {
    QFETCH(QString, frames);
    QFETCH(int, outcome);
    QFETCH(QString, difference);
    SlaveTable fields;
    fields[0] = {true, 2, 4, 0x20, 2, DataType::LongInteger, 2, 1000};
    fields[1] = {true, 1, 3, 0x10, 1, DataType::Signed, 1, 1000};
    fields[2] = {false, 3, 3, 0x00, 1, DataType::Unsigned, 0, 1000};  // not configured
    const QStringList f = frames.split(' ');
    RecordedExchange x;
    x.line = 7;
    x.request = bytesOf(f[0]);
    if (f[1] != "-") x.reply = bytesOf(f[1]);
    const auto reply = f[2] == "-" ? std::nullopt : std::optional(bytesOf(f[2]));
    const ReplyComparison c = compareReply(x, reply, fields);
    QCOMPARE(int(c.outcome), outcome);
    QCOMPARE(c.difference, difference);
  }

  // The master's requests keep the recorded spacing at the pace asked for; the summary counts
  // each outcome and the exit status says whether anything differed.
  void masterSide() {
    const Recording recording = recordingOf(
        {"0 tx poll A @1", "30 rx poll-reply a @1", "1000 tx poll B @2", "2500 tx poll A @1"});
    QCOMPARE(masterSchedule(recording, ReplayPace{4.0}),
             (std::vector<std::chrono::nanoseconds>{0ms, 250ms, 625ms}));
    ReplayTally tally;
    for (int i = 0; i < 3; ++i) tally.count(ReplyOutcome::Matched);
    QCOMPARE(tally.exitStatus(), 0);
    tally.count(ReplyOutcome::NoReply);
    tally.count(ReplyOutcome::UnexpectedReply);
    QCOMPARE(tally.summary(), QString("5 requests sent: 3 matched, 0 with other bytes, 1 without "
                                      "a reply, 1 reply where the recording had none"));
    QCOMPARE(tally.exitStatus(), 2);
  }
};

QTEST_GUILESS_MAIN(TstReplay)
#include "tst_replay.moc"
