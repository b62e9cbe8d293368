#include "core/monitor/BusCounters.h"
#include "core/monitor/EchoFilter.h"
#include "core/monitor/LogExport.h"
#include "core/monitor/LogSearch.h"
#include "core/monitor/TrafficLog.h"
#include "core/simulator/Faults.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include "SettingsFiles.h"

#include <ctime>

using namespace vantor;
using namespace vantor::test;

namespace {

const QDateTime kStart(QDate(2026, 12, 6), QTime(23, 14, 11, 123), Qt::OffsetFromUTC, 3600);

TrafficEvent makeEvent(EventKind kind, const char* hex, int slave = 0, const QString& detail = {},
                       int ms = 0) {
  TrafficEvent e;
  e.time = kStart.addMSecs(ms);
  e.direction = kind == EventKind::Reply ? Direction::Tx : Direction::Rx;
  e.bytes = QByteArray::fromHex(hex);
  e.kind = kind;
  e.slave = e.about = slave;
  e.detail = detail;
  return e;
}

// A poll answered, its reply, a poll with a wrong check value, one nobody answered, an exception
// reply and a fragment.
void fillSearchedLog(TrafficLog& log) {
  log.append(std::vector<TrafficEvent>{
      makeEvent(EventKind::Answered, "010300000001840A", 1),
      makeEvent(EventKind::Reply, "010302000A3843", 1),
      makeEvent(EventKind::CrcError, "010300000001840B", 0, "expected check value 84 0A"),
      makeEvent(EventKind::Unanswered, "050300000001858E", 0, "no simulated slave has address 5"),
      makeEvent(EventKind::Reply, "018302C0F1", 1), makeEvent(EventKind::Fragment, "5555")});
}

}  // namespace

class TstMonitor : public QObject {
  Q_OBJECT

 private slots:
  // The exact formats other tools read, and an export that cannot be written.
  void exportFormats() {
    const std::vector<TrafficEvent> events{
        makeEvent(EventKind::Unanswered, "010400000001", 0,
                  "slave 2 expects register 0x000A, the poll asks for 0x0010"),
        makeEvent(EventKind::Reply, "010302000A3843", 1)};
    QTemporaryDir dir;
    QVERIFY(exportLog(events, dir.filePath("log.csv"), nullptr));
    QCOMPARE(fileBytes(dir.filePath("log.csv")),
             QByteArray("time,direction,bytes,kind,slave,detail\r\n"
                        "2026-12-06T23:14:11.123+01:00,rx,01 04 00 00 00 01,unanswered,,"
                        "\"slave 2 expects register 0x000A, the poll asks for 0x0010\"\r\n"
                        "2026-12-06T23:14:11.123+01:00,tx,01 03 02 00 0A 38 43,reply,1,\r\n"));
    QVERIFY(exportLog(events, dir.filePath("log.jsonl"), nullptr));
    const QList<QByteArray> lines = fileBytes(dir.filePath("log.jsonl")).split('\n');
    QCOMPARE(
        lines.value(1),
        QByteArray("{\"time\":\"2026-12-06T23:14:11.123+01:00\",\"direction\":\"tx\",\"bytes\":"
                   "\"01 03 02 00 0A 38 43\",\"kind\":\"reply\",\"slave\":1,\"detail\":\"\"}"));
    QVERIFY(lines.value(0).contains("\"slave\":null,"));

    QString error;
    QVERIFY(!exportLog(events, dir.filePath("gone/log.csv"), &error));
    QVERIFY2(error.contains(dir.filePath("gone/log.csv")), qPrintable(error));
    QVERIFY(!exportLog(events, dir.filePath("log.txt"), &error));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), (QStringList{"log.csv", "log.jsonl"}));
  }

  // What another tool reads back from an export is what was logged: quotes, commas, line
  // breaks and control characters in a detail, and the time in the zone the computer is in.
  void exportReadsBack_data() {
    QTest::addColumn<QString>("file");
    QTest::newRow("CSV") << "log.csv";
    QTest::newRow("JSON Lines") << "log.jsonl";
  }
  void exportReadsBack() {
    QFETCH(QString, file);
    const QByteArray zone = qgetenv("TZ");
    qputenv("TZ", "Asia/Kolkata");  // +05:30, never summer time
    ::tzset();
    TrafficEvent e = makeEvent(EventKind::Unanswered, "0103", 0, "say \"no\", then\nstop\x01");
    e.time = QDateTime(QDate(2026, 12, 6), QTime(22, 14, 11, 123), Qt::UTC);
    QTemporaryDir dir;
    QVERIFY(exportLog(std::vector<TrafficEvent>{e}, dir.filePath(file), nullptr));
    qputenv("TZ", zone);
    ::tzset();
    const QByteArray bytes = fileBytes(dir.filePath(file));
#ifdef Q_OS_WIN
    // Windows takes the zone from the system, never from TZ: the time read back is the same
    // moment, with the computer's own offset.
    const auto sameTime = [&e](const QString& text) {
      return text.size() == 29 && QDateTime::fromString(text, Qt::ISODateWithMs) == e.time;
    };
    if (file.endsWith(".csv")) {
      const QByteArray row = bytes.split('\n').value(1);
      QVERIFY2(sameTime(QString::fromUtf8(row.first(29))), row.constData());
      QCOMPARE(row.sliced(29), QByteArray(",rx,01 03,unanswered,,\"say \"\"no\"\", then"));
    } else {
      QVERIFY2(bytes.contains("then\\nstop\\u0001\""), bytes.constData());
      const QJsonObject record = QJsonDocument::fromJson(bytes).object();
      QVERIFY2(sameTime(record["time"].toString()), bytes.constData());
      QCOMPARE(record["detail"].toString(), e.detail);
    }
#else
    if (file.endsWith(".csv")) {
      QCOMPARE(bytes.split('\n').value(1),
               QByteArray("2026-12-07T03:44:11.123+05:30,rx,01 03,unanswered,,\"say \"\"no\"\", "
                          "then"));
    } else {
      // Qt's reader takes raw control characters too; other readers refuse them.
      QVERIFY2(bytes.contains("then\\nstop\\u0001\""), bytes.constData());
      const QJsonObject record = QJsonDocument::fromJson(bytes).object();
      QCOMPARE(record["time"].toString(), QString("2026-12-07T03:44:11.123+05:30"));
      QCOMPARE(record["detail"].toString(), e.detail);
    }
#endif
  }

  // The newest rows stay, the dropped ones are counted; a filter shows what it accepts of the
  // rows kept, also as old rows go. A paused log keeps nothing but still times the polls.
  void logKeepsItsCapAndFilters() {
    TrafficLog log(nullptr, 5);
    const auto poll = [](int i) {
      return makeEvent(EventKind::Answered, "01", 1 + i % 2, {}, i * 100);
    };
    log.append(poll(0));
    log.append(
        std::vector<TrafficEvent>{poll(1), poll(2), poll(3), poll(4), poll(5), poll(6), poll(7)});
    QCOMPARE(log.rowCount(), 5);
    QCOMPARE(log.droppedRows(), 3);
    QCOMPARE(log.event(0).time, kStart.addMSecs(300));
    QCOMPARE(log.event(0).sincePreviousRequestMs, 100);

    log.setFilter({2, EventKind::Answered});  // slave 2: the polls at 300, 500, 700 ms
    QCOMPARE(log.rowCount(), 3);
    log.append(poll(9));  // the poll at 300 ms makes room
    QCOMPARE(log.rowCount(), 3);
    QCOMPARE(log.event(0).time, kStart.addMSecs(500));
    QCOMPARE(log.event(2).time, kStart.addMSecs(900));

    log.setPaused(true);
    log.append(makeEvent(EventKind::Answered, "01", 1, {}, 1000));
    log.setPaused(false);
    log.append(makeEvent(EventKind::CrcError, "01", 0, {}, 1250));
    log.setFilter({});
    QCOMPARE(log.rowCount(), 5);
    QCOMPARE(log.event(4).sincePreviousRequestMs, 250);
    QCOMPARE(log.droppedRows(), 5);
  }

  // A search reads the events: bytes typed in hexadecimal are found whole and in order however
  // they are grouped, words in what the log says whatever their case; only the rows shown are
  // searched, on from the row given and round past the end.
  void searchFindsBytesAndWords_data() {
    QTest::addColumn<QString>("query");
    QTest::addColumn<QList<int>>("rows");  // found one after the other from the top
    QTest::newRow("bytes") << "01 03 00 00" << QList<int>{0, 2, 0};
    QTest::newRow("bytes grouped otherwise") << "0300 0000" << QList<int>{0, 2, 3, 0};
    QTest::newRow("bytes, or the words of a check value") << "84 0a" << QList<int>{0, 2, 0};
    QTest::newRow("not across bytes") << "30 00" << QList<int>{};
    QTest::newRow("words, any case") << "ADDRESS 5" << QList<int>{3, 3};
    QTest::newRow("nothing typed") << "  " << QList<int>{};
  }
  void searchFindsBytesAndWords() {
    QFETCH(QString, query);
    QFETCH(QList<int>, rows);
    TrafficLog log;
    fillSearchedLog(log);
    const LogQuery q(query);
    const auto matches = [&q](const TrafficEvent& e) { return q.matches(e); };
    QList<int> found;
    for (int row = -1; found.size() < rows.size();)
      found << (row = log.findRow(row, true, matches));
    QCOMPARE(found, rows);
    if (rows.isEmpty()) QCOMPARE(log.findRow(-1, true, matches), -1);
  }

  // Next error: the CRC error, the unanswered poll, the exception reply, the fragment; back
  // from the first, the last. A filter leaves out what it does not show.
  void nextError() {
    TrafficLog log;
    fillSearchedLog(log);
    QList<int> errors;
    for (int row = -1; errors.size() < 5;) errors << (row = log.findRow(row, true, isErrorEvent));
    QCOMPARE(errors, (QList<int>{2, 3, 4, 5, 2}));
    QCOMPARE(log.findRow(2, false, isErrorEvent), 5);
    log.setFilter({1, std::nullopt});
    QCOMPARE(log.findRow(-1, true, isErrorEvent), 2);  // the exception reply, now row 2
  }

  void echoFilter_data() {
    QTest::addColumn<QList<QByteArray>>("reads");
    QTest::addColumn<QByteArray>("echo");
    QTest::addColumn<QByteArray>("left");
    const QByteArray reply = QByteArray::fromHex("010304000002C5");
    QTest::newRow("whole") << QList<QByteArray>{reply} << reply << QByteArray();
    QTest::newRow("in two pieces")
        << QList<QByteArray>{reply.left(3), reply.mid(3)} << reply << QByteArray();
    QTest::newRow("followed by a request") << QList<QByteArray>{reply + QByteArray::fromHex("0103")}
                                           << reply << QByteArray::fromHex("0103");
    QTest::newRow("something else") << QList<QByteArray>{QByteArray::fromHex("0103000000")}
                                    << QByteArray() << QByteArray::fromHex("0103000000");
    // The same slave and function start the next request as they start the echo.
    QTest::newRow("a request that starts alike, in two pieces")
        << QList<QByteArray>{QByteArray::fromHex("0103"), QByteArray::fromHex("00000001840A")}
        << QByteArray() << QByteArray::fromHex("010300000001840A");
  }
  void echoFilter() {
    QFETCH(QList<QByteArray>, reads);
    QFETCH(QByteArray, echo);
    QFETCH(QByteArray, left);
    EchoFilter filter;
    const QByteArray reply = QByteArray::fromHex("010304000002C5");
    filter.expect(reply, 0);
    QByteArray taken, rest;
    for (QByteArray read : reads) {
      taken += filter.take(read, 10);
      rest += read;
    }
    QCOMPARE(taken, echo);
    QCOMPARE(rest, left);
    // Too late to be an echo.
    filter.expect(echo, 0);
    QByteArray late = echo;
    QVERIFY(filter.take(late, EchoFilter::kWindowMs + 1).isEmpty());
    // The echo's start and no more: held until the echo can no longer come.
    filter.expect(reply, 0);
    QByteArray start = reply.first(2);
    QVERIFY(filter.take(start, 10).isEmpty() && start.isEmpty());
    QCOMPARE(filter.release(EchoFilter::kWindowMs), QByteArray());
    QCOMPARE(filter.release(EchoFilter::kWindowMs + 1), reply.first(2));
  }

  void countersAndTiming() {
    BusCounters counters;
    SlaveTable table{};
    table[1] = {true, 5, 3, 0, 1, DataType::Unsigned, 0, 1000};
    counters.setTable(table);
    for (int ms : {0, 1000, 2500, 3500})
      counters.record(makeEvent(EventKind::Answered, "05", 2, {}, ms));
    counters.record(makeEvent(EventKind::CrcError, "05", 0, {}, 3600));  // put down to slave 2
    counters.record(makeEvent(EventKind::CrcError, "09", 0, {}, 3700));
    counters.record(makeEvent(EventKind::Fragment, "05", 0, {}, 3800));
    QCOMPARE(counters.counts(2).requests, 5);
    QCOMPARE(counters.counts(2).crcErrors, 1);
    QCOMPARE(counters.counts(0).crcErrors, 2);
    QCOMPARE(counters.counts(0).fragments, 1);
    const Summary interval = *counters.interval(2);
    QCOMPARE(interval.last, 1000.0);
    QCOMPARE(interval.min, 1000.0);
    QCOMPARE(interval.max, 1500.0);
    QVERIFY(qAbs(interval.mean - 3500.0 / 3) < 0.01);
    QVERIFY(!counters.intervalOff(2));  // 1167 ms is within 20% of 1000 ms
    counters.record(makeEvent(EventKind::Answered, "05", 2, {}, 8000));
    QVERIFY(counters.intervalOff(2));

    for (int us = 1; us <= 100; ++us) counters.recordLatency(2, us);
    QCOMPARE(*counters.latency(2), (std::pair<double, double>{51, 100}));
    counters.reset();
    QCOMPARE(counters.counts(0).requests, 0);
    QVERIFY(!counters.interval(2));
  }

  // Against 500 ms configured: the interval is measured over the newest 100 gaps, a gap of
  // more than five intervals is a pause, and the mark goes by the median.
  void intervalsAndPauses_data() {
    QTest::addColumn<QList<int>>("gaps");
    QTest::addColumn<double>("median");
    QTest::addColumn<double>("max");
    QTest::addColumn<int>("pauses");
    QTest::addColumn<bool>("marked");
    const auto times = [](int n, int ms) { return QList<int>(n, ms); };
    QTest::newRow("a pause of 36 s")
        << times(10, 500) + QList{36000} + times(10, 500) << 500.0 << 500.0 << 1 << false;
    QTest::newRow("700 ms") << times(20, 700) << 700.0 << 700.0 << 0 << true;
    QTest::newRow("slow polls more than 100 ago")
        << times(100, 900) + times(100, 500) << 500.0 << 500.0 << 0 << false;
    QTest::newRow("a few slow ones, five intervals is no pause")
        << times(10, 500) + times(2, 2500) << 500.0 << 2500.0 << 0 << false;
  }
  void intervalsAndPauses() {
    QFETCH(QList<int>, gaps);
    BusCounters counters;
    SlaveTable table{};
    table[0] = {true, 1, 3, 0, 1, DataType::Unsigned, 0, 500};
    counters.setTable(table);
    int ms = 0;
    counters.record(makeEvent(EventKind::Answered, "01", 1, {}, ms));
    for (const int gap : gaps)
      counters.record(makeEvent(EventKind::Answered, "01", 1, {}, ms += gap));
    const Summary interval = *counters.interval(1);
    QTEST(interval.median, "median");
    QTEST(interval.max, "max");
    QTEST(int(counters.pauses(1)), "pauses");
    QTEST(counters.intervalOff(1), "marked");
    QVERIFY(counters.report().contains(QStringLiteral("; %1 pauses").arg(counters.pauses(1))));
  }

  // An exception reply is counted as one, not as a reply, and its row says so to the view.
  void exceptionReplies() {
    BusCounters counters;
    SlaveTable table{};
    table[0] = {true, 1, 3, 0, 1, DataType::Unsigned, 0, 500};
    counters.setTable(table);
    Response r;
    r.verdict = Verdict::Answered;
    r.request = QByteArray::fromHex("010300000001840A");
    r.reply = QByteArray::fromHex("010302000A3843");
    r.slave = 1;
    TrafficLog log;
    for (const auto& e : eventsOf(r, kStart)) counters.record(e);
    log.append(eventsOf(r, kStart));
    applyFault(r, *parseFault(QStringLiteral("exception:6")));
    for (const auto& e : eventsOf(r, kStart)) counters.record(e);
    log.append(eventsOf(r, kStart));
    for (int slave : {0, 1}) {
      QCOMPARE(counters.counts(slave).requests, 2);
      QCOMPARE(counters.counts(slave).replies, 1);
      QCOMPARE(counters.counts(slave).exceptions, 1);
    }
    QVERIFY(
        counters.report().contains(QStringLiteral("1 replies, 0 CRC errors, 0 unanswered, "
                                                  "0 fragments, 1 exceptions")));
    QList<bool> exceptionRows;
    for (int row = 0; row < log.rowCount(); ++row)
      exceptionRows
          << log.index(row, TrafficLog::BytesColumn).data(TrafficLog::ExceptionRole).toBool();
    QCOMPARE(exceptionRows, (QList<bool>{false, false, false, true}));
  }

  // A name typed bare takes the chosen filter's suffix; one naming a format keeps it.
  void exportNames_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("suggested");
    const QString csv = "CSV (*.csv)", jsonl = "JSON Lines (*.jsonl)";
    const QString suggestedCsv = "vantor-log-20261207-142501.csv";
    QTest::newRow("bare") << "/home/u/v1.2/mylog" << csv << "/home/u/v1.2/mylog.csv"
                          << suggestedCsv;
    QTest::newRow("bare, JSON Lines") << "mylog" << jsonl << "mylog.jsonl"
                                      << "vantor-log-20261207-142501.jsonl";
    QTest::newRow("another format named") << "mylog.JSONL" << csv << "mylog.JSONL" << suggestedCsv;
    QTest::newRow("an extension of no format") << "my.log" << csv << "my.log.csv" << suggestedCsv;
    QTest::newRow("a dot at the end") << "mylog." << csv << "mylog.csv" << suggestedCsv;
  }
  void exportNames() {
    QFETCH(QString, filter);
    QFETCH(QString, typed);
    QTEST(exportPath(typed, filter), "path");
    QTEST(suggestedExportName(QDateTime(QDate(2026, 12, 7), QTime(14, 25, 1)), filter),
          "suggested");
  }
};

QTEST_GUILESS_MAIN(TstMonitor)
#include "tst_monitor.moc"
