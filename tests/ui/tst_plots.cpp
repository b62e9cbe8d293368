// The plots of the main window while a real master (libmodbus) polls it: what they say of the
// newest points, pausing with the log, and saving them as pictures.
#include "AppSession.h"
#include "core/monitor/TrafficLog.h"
#include "ui/BusMonitor.h"
#include "ui/PlotsPanel.h"

#include <QImage>
#include <QTabWidget>

using namespace vantor;
using namespace vantor::test;

namespace {

// The window's plot with accessible name `name`.
QWidget* plotNamed(const AppSession& s, const QString& name) {
  for (QWidget* w : s.main->findChildren<QWidget*>())
    if (w->accessibleName() == name) return w;
  qFatal("no plot %s", qPrintable(name));
}

// The milliseconds between the last two polls of `slave` the log holds; -1 before two.
qint64 lastLoggedInterval(TrafficLog& log, int slave) {
  QList<QDateTime> times;
  for (int row = log.rowCount() - 1; row >= 0 && times.size() < 2; --row) {
    const TrafficEvent& e = log.event(row);
    if (e.about == slave && (e.kind == EventKind::Answered || e.kind == EventKind::Unanswered))
      times << e.time;
  }
  return times.size() < 2 ? -1 : times[1].msecsTo(times[0]);
}

}  // namespace

class tst_plots : public QObject {
  Q_OBJECT

 private slots:
  // Slave 1 sweeps a ramp shown at one decimal place, slave 2 keeps silent at every second
  // poll: the trend says the newest value as the module shows it and the polls unanswered,
  // the timing each slave's last interval (as the log timed it) and latency. Paused with the
  // log, the plots keep nothing new; resumed, they go on.
  void plotsFollowTheMasterAndPauseWithTheLog() {
    AppSession s;
    s.set("Cfg2004", "DP1", "1");
    s.set("Cfg2004", "Interval", "2");
    const Poll ramp{1, 3, 0, 0};
    const Poll flapping{2, 3, 16, 0};
    for (const Poll& p : {ramp, flapping, Poll{3, 3, 32, 0}, Poll{4, 3, 48, 0}})
      storePoll(s.ini, "Cfg2004", QString::number(p.address), p);
    s.choosePort(2, "9600,n,8,2", "2004");
    s.start();
    s.connect();
    s.main->setSweep(1, Sweep::ramp(5, 95, 10));
    s.main->setFault(2, Fault{FaultKind::Silent, 6, 0, 0, 2});
    ModbusMaster master(s.pty.masterFd(), 200);
    const auto round = [&] {
      readValue(master, ramp);
      readValue(master, flapping);
    };
    for (int i = 0; i < 4; ++i) round();
    s.get<QTabWidget>("tabsTraffic")->setCurrentWidget(s.get("fPlots"));
    QWidget* trend = plotNamed(s, "Value trend");
    QWidget* timing = plotNamed(s, "Poll timing");
    QTRY_COMPARE_WITH_TIMEOUT(
        trend->accessibleDescription(),
        QString("slave 1 (field 1): 3.5\n"
                "slave 2 (field 2): no value (no reply: fault on slave 2 (field 2)); "
                "2 polls unanswered"),
        20000);
    QTRY_VERIFY_WITH_TIMEOUT(timing->accessibleDescription().count("latency") == 2, 20000);
    const QStringList timed = timing->accessibleDescription().split('\n');
    QCOMPARE(timed.size(), 2);
    for (int slave = 1; slave <= 2; ++slave) {
      const QString said = timed[slave - 1];
      const QString interval = QString("slave %1 (field %1): interval %2 ms (configured 200 ms)")
                                   .arg(slave)
                                   .arg(lastLoggedInterval(s.main->monitor().log(), slave));
      QVERIFY2(said.startsWith(interval), qPrintable(said + " | " + interval));
      QVERIFY2(said.contains(QRegularExpression(", latency \\d+\\.\\d+ ms$")), qPrintable(said));
    }

    const auto* panel = s.get<PlotsPanel>("fPlots");
    const QString trendBefore = describeTrend(panel->store());
    const QString timingBefore = describeTiming(panel->store());
    const BusCounters& counters = s.main->monitor().counters();
    const qint64 requests = counters.counts(0).requests;
    s.press("cmdPause");
    round();
    round();
    QTRY_VERIFY_WITH_TIMEOUT(counters.counts(0).requests >= requests + 4, 20000);
    QCOMPARE(describeTrend(panel->store()), trendBefore);
    QCOMPARE(describeTiming(panel->store()), timingBefore);
    s.press("cmdPause");
    round();
    QTRY_COMPARE_WITH_TIMEOUT(
        trend->accessibleDescription(),
        QString("slave 1 (field 1): 6.5\nslave 2 (field 2): 0; 2 polls unanswered"), 20000);
  }

  // Each plot saved as a PNG of itself; a name without the suffix gets it; a file that cannot
  // be written is said, and nothing is said to be saved.
  void savesEachPlotAsAPicture() {
    AppSession s;
    storePoll(s.ini, "Cfg1602", "", {1, 3, 0, 0});
    s.choosePort(2, "9600,n,8,2", "1602");
    s.start();
    s.connect();
    ModbusMaster master(s.pty.masterFd(), 200);
    for (int i = 0; i < 3; ++i) readValue(master, {1, 3, 0, 0});
    s.get<QTabWidget>("tabsTraffic")->setCurrentWidget(s.get("fPlots"));
    QWidget* trend = plotNamed(s, "Value trend");
    QTRY_VERIFY_WITH_TIMEOUT(!trend->accessibleDescription().isEmpty(), 20000);

    s.dialogs.saveAs = s.folder() + "/trend";
    s.press("cmdSaveTrend");
    const QImage saved(s.dialogs.saveAs + ".png", "PNG");
    QCOMPARE(saved.size(), trend->size() * trend->devicePixelRatio());
    QCOMPARE(s.get<QLabel>("lblLastNotice")->text(),
             "Saved the value trend to " + s.dialogs.saveAs + ".png.");

    s.dialogs.saveAs = s.folder() + "/no such folder/timing.png";
    s.press("cmdSaveTiming");
    QCOMPARE(s.dialogs.texts(), QStringList{"The poll timing was not saved."});
    QVERIFY(!s.get<QLabel>("lblLastNotice")->text().contains("timing"));
  }
};

QTEST_MAIN(tst_plots)
#include "tst_plots.moc"
