#include "core/modbus/Crc16.h"
#include "core/monitor/TrafficEvent.h"
#include "core/plot/HeardSamples.h"
#include "core/plot/PlotStore.h"

#include <QtTest>

using namespace vantor;

Q_DECLARE_METATYPE(std::optional<quint32>)
Q_DECLARE_METATYPE(std::optional<double>)

namespace {

const qint64 kStart = QDateTime(QDate(2026, 12, 6), QTime(23, 14, 11), Qt::UTC).toMSecsSinceEpoch();

PlotSample poll(qint64 ms, int configuredMs = 500, const QString& series = "slave 1 (field 1)") {
  PlotSample s;
  s.series = series;
  s.timeMs = kStart + ms;
  s.poll = true;
  s.configuredMs = configuredMs;
  return s;
}

PlotSample shown(qint64 ms, std::optional<double> value, const QString& text = {}) {
  PlotSample s;
  s.series = "slave 1 (field 1)";
  s.timeMs = kStart + ms;
  s.shown = value ? PlotSample::Shown::Value : PlotSample::Shown::Unanswered;
  s.value = value;
  s.text = value ? QString::number(*value) : text;
  s.latencyMs = value ? 0.25 : -1;
  return s;
}

// What a listener heard: "+ms hex" per frame, the kind told by its length.
TrafficEvent heard(const QString& at) {
  const QStringList parts = at.split(' ');
  TrafficEvent e;
  e.time = QDateTime::fromMSecsSinceEpoch(kStart + parts[0].toLongLong(), Qt::UTC);
  e.bytes = withCheckValue(QByteArray::fromHex(parts[1].toLatin1()));
  e.kind = e.bytes.size() == 8   ? EventKind::Request
           : e.bytes.size() == 5 ? EventKind::Exception
                                 : EventKind::Response;
  return e;
}

SlaveTable tableWith(DataType type, int decimals) {
  SlaveTable table{};
  table[1] = Slave{true, 7, 3, 0, 1, type, decimals, 500};
  return table;
}

}  // namespace

class TstPlot : public QObject {
  Q_OBJECT

 private slots:
  // Eleven minutes of a fast master (a poll every 20 ms, every seventh unanswered): what is
  // kept is the newest span, in at most one point per resolution, the newest value last.
  void keepsTheSpanInBoundedMemory() {
    PlotStore store;
    const qint64 end = 11 * 60 * 1000;
    for (qint64 ms = 0; ms <= end; ms += 20) {
      store.take(poll(ms, 20));
      store.take(ms % 140 == 0 ? shown(ms, std::nullopt, "no reply") : shown(ms, double(ms)));
    }
    const PlotSeries& s = store.series().at(0);
    const qint64 oldestKept = kStart + end - PlotStore::kSpanMs;
    const qint64 most = PlotStore::kSpanMs / PlotStore::kResolutionMs + 1;
    for (const PlotLine* line : {&s.values, &s.intervals, &s.latencies}) {
      QVERIFY(!line->points().empty());
      // Trimmed in steps of the resolution at most.
      QVERIFY(line->points().front().timeMs >= oldestKept - PlotStore::kResolutionMs);
      QVERIFY2(qint64(line->points().size()) <= most,
               qPrintable(QString::number(line->points().size())));
    }
    QVERIFY(qint64(s.unanswered.size()) <= most);
    QVERIFY(s.unanswered.front().timeMs >= oldestKept - PlotStore::kResolutionMs);
    // One poll in seven of the span's 15,000 went unanswered.
    QVERIFY2(qAbs(s.unansweredCount() - PlotStore::kSpanMs / 140) <= 3,
             qPrintable(QString::number(s.unansweredCount())));
    QCOMPARE(s.values.points().back().last, double(end));
    QVERIFY(store.oldestMs() >= oldestKept &&
            store.oldestMs() < oldestKept + PlotStore::kResolutionMs);
    QCOMPARE(s.lastIntervalMs, 20.0);
  }

  // The master's rhythm against the configured interval: a late cycle, a pause (not an
  // interval, the lines broken across it), no pause without a configured interval.
  void timesPollsAgainstTheConfiguredInterval_data() {
    QTest::addColumn<QList<qint64>>("polls");
    QTest::addColumn<int>("configured");
    QTest::addColumn<QString>("said");
    QTest::newRow("steady") << QList<qint64>{0, 500, 1000} << 500
                            << "slave 1 (field 1): interval 500 ms (configured 500 ms)";
    QTest::newRow("within a fifth")
        << QList<qint64>{0, 600} << 500 << "slave 1 (field 1): interval 600 ms (configured 500 ms)";
    QTest::newRow("late") << QList<qint64>{0, 500, 1150} << 500
                          << "slave 1 (field 1): interval 650 ms (configured 500 ms), late";
    QTest::newRow("pause") << QList<qint64>{0, 500, 3001, 3501} << 500
                           << "slave 1 (field 1): interval 500 ms (configured 500 ms), 1 pause";
    QTest::newRow("not configured")
        << QList<qint64>{0, 10000} << 0 << "slave 1 (field 1): interval 10000 ms";
  }
  void timesPollsAgainstTheConfiguredInterval() {
    QFETCH(QList<qint64>, polls);
    QFETCH(int, configured);
    QFETCH(QString, said);
    PlotStore store;
    for (const qint64 ms : polls) store.take(poll(ms, configured));
    QCOMPARE(describeTiming(store), said);
    const auto& points = store.series().at(0).intervals.points();
    const bool paused = !store.series().at(0).pauses.empty();
    QCOMPARE(points.back().joined, !paused && points.size() > 1);
  }

  // The serving thread may report a reply before the poll it answered: a pause still breaks the
  // lines at the first poll after it, not at the one after that.
  void aPauseBreaksTheLinesWhereItEnds() {
    PlotStore store;
    for (const qint64 ms : {0, 500, 4000, 4500}) {
      store.take(shown(ms, double(ms)));
      store.take(poll(ms));
    }
    const PlotSeries& s = store.series().at(0);
    for (const PlotLine* line : {&s.values, &s.latencies}) {
      QList<bool> joined;
      for (const PlotPoint& p : line->points()) joined << p.joined;
      QCOMPARE(joined, (QList<bool>{false, true, false, true}));
    }
  }

  // A served slave's reply as the module shows it: its type and decimal places; a value that
  // is no number is said but not drawn; no reply is a mark, and said with its reason.
  void servedValuesAsTheModuleShowsThem_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<std::optional<quint32>>("raw");
    QTest::addColumn<std::optional<double>>("point");
    QTest::addColumn<QString>("said");
    const auto row = [](const char* name, DataType t, int d, std::optional<quint32> raw,
                        std::optional<double> point, const char* said) {
      QTest::newRow(name) << int(t) << d << raw << point << QString(said);
    };
    row("signed, 1 place", DataType::Signed, 1, 0xFF83, -12.5, "slave 7 (field 2): -12.5");
    row("unsigned, 2 places", DataType::Unsigned, 2, 411, 4.11, "slave 7 (field 2): 4.11");
    row("bcd", DataType::Bcd, 0, 0x1234, 1234, "slave 7 (field 2): 1234");
    row("not bcd", DataType::Bcd, 0, 0x12A4, std::nullopt, "slave 7 (field 2): not BCD (0x12A4)");
    row("no reply", DataType::Signed, 1, std::nullopt, std::nullopt,
        "slave 7 (field 2): no value (no reply: fault); 1 poll unanswered");
  }
  void servedValuesAsTheModuleShowsThem() {
    QFETCH(int, type);
    QFETCH(int, decimals);
    QFETCH(std::optional<quint32>, raw);
    QFETCH(std::optional<double>, point);
    QFETCH(QString, said);
    const SlaveTable table = tableWith(DataType(type), decimals);
    const QDateTime at = QDateTime::fromMSecsSinceEpoch(kStart, Qt::UTC);
    PlotStore store;
    store.take(servedValue(table, 2, at, raw, "no reply: fault", raw ? 180.0 : -1));
    const PlotSeries& s = store.series().at(0);
    QCOMPARE(describeTrend(store), said);
    QCOMPARE(s.values.points().empty(), !point);
    if (point) QCOMPARE(s.values.points().back().last, *point);
    QCOMPARE(s.lastLatencyMs, raw ? 0.18 : -1.0);
  }

  // Only the polls of a simulated slave are its rhythm; times are taken as the log has them.
  void servedPollsAreTheSlavesOwn() {
    const SlaveTable table = tableWith(DataType::Unsigned, 0);
    TrafficEvent e;
    e.time = QDateTime::fromMSecsSinceEpoch(kStart + 7, Qt::UTC);
    e.about = 2;
    for (const EventKind kind : {EventKind::Answered, EventKind::Unanswered}) {
      e.kind = kind;
      const auto p = servedPoll(table, e);
      QVERIFY(p && p->poll);
      QCOMPARE(p->series, QString("slave 7 (field 2)"));
      QCOMPARE(p->timeMs, kStart + 7);
      QCOMPARE(p->configuredMs, 500);
    }
    e.kind = EventKind::Reply;
    QVERIFY(!servedPoll(table, e));
    e.kind = EventKind::Answered;
    e.about = 0;  // answered because every poll is
    QVERIFY(!servedPoll(table, e));
  }

  // Heard polls: a configured field's value as the module shows it, any other poll as its
  // register; a poll the next request followed without a reply, or answered with an exception,
  // went unanswered; the latency from the request heard to its reply.
  void heardPolls_data() {
    QTest::addColumn<QStringList>("frames");
    QTest::addColumn<QString>("trend");
    QTest::addColumn<QString>("timing");
    QTest::newRow("configured field")
        << QStringList{"0 070300000001", "12 070302FF83"} << "slave 7 (field 2): -12.5"
        << "slave 7 (field 2): latency 12.0 ms";
    QTest::newRow("other poll") << QStringList{"0 090400100001", "30 09040204D2"}
                                << "slave 9 (function 04, 0x0010 +1): 1234"
                                << "slave 9 (function 04, 0x0010 +1): latency 30.0 ms";
    QTest::newRow("no reply") << QStringList{"0 070300000001", "500 070300000001"}
                              << "slave 7 (field 2): no value (no reply heard); 1 poll unanswered"
                              << "slave 7 (field 2): interval 500 ms (configured 500 ms)";
    QTest::newRow("exception")
        << QStringList{"0 070300000001", "9 078302"}
        << "slave 7 (field 2): no value (exception 02: illegal data address); 1 poll unanswered"
        << "slave 7 (field 2): latency 9.00 ms";
    QTest::newRow("reply to another poll")
        << QStringList{"0 070300000001", "9 0803020001"} << QString() << QString();
  }
  void heardPolls() {
    QFETCH(QStringList, frames);
    QFETCH(QString, trend);
    QFETCH(QString, timing);
    HeardSamples samples(tableWith(DataType::Signed, 1));
    PlotStore store;
    std::vector<PlotSample> out;
    for (const QString& f : frames) samples.take(heard(f), out);
    for (const PlotSample& sample : out) store.take(sample);
    QCOMPARE(describeTrend(store), trend);
    QCOMPARE(describeTiming(store), timing);
  }

  // Paused, nothing new is kept, yet polls are timed: the first interval after it is the
  // master's, not the pause's; the line after it starts afresh.
  void pausedKeepsNothingNew() {
    PlotStore store;
    store.take(poll(0));
    store.take(shown(0, 1));
    store.setPaused(true);
    for (qint64 ms = 500; ms <= 5000; ms += 500) {
      store.take(poll(ms));
      store.take(shown(ms, double(ms)));
    }
    QCOMPARE(describeTrend(store), QString("slave 1 (field 1): 1"));
    QCOMPARE(describeTiming(store), QString("slave 1 (field 1): latency 0.25 ms"));
    store.setPaused(false);
    store.take(poll(5500));
    store.take(shown(5500, 7));
    QCOMPARE(describeTiming(store),
             QString("slave 1 (field 1): interval 500 ms (configured 500 ms), latency 0.25 ms"));
    const auto& values = store.series().at(0).values.points();
    QCOMPARE(values.size(), std::size_t(2));
    QVERIFY(!values.back().joined);
  }
};

QTEST_APPLESS_MAIN(TstPlot)
#include "tst_plot.moc"
