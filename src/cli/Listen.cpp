#include "cli/Listen.h"

#include "cli/CliSupport.h"
#include "core/display/DisplayPreview.h"
#include "core/listen/HeardDisplay.h"
#include "core/listen/LineScan.h"
#include "core/listen/PollPlan.h"
#include "core/modbus/HexText.h"
#include "core/monitor/LogExport.h"
#include "core/simulator/SlaveTable.h"
#include "serial/PortThread.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>

#include <unistd.h>

namespace vantor::cli {

namespace {

// One run of listening: every frame heard printed and logged, and summed up in the poll plan
// (with --display, the module's display drawn from it), until a signal, --count or a lost port
// ends it.
class Hearing {
 public:
  Hearing(const CliOptions& o, const ModuleConfig& saved, std::optional<LogFile> log)
      : o_(o), output_(std::move(log)), plan_(saved), display_(saved) {}

  // Listens until the run ends, saying so first with `started`; the exit code.
  int listen(PortThread& server, const QString& started) {
    QObject::connect(&server, &PortThread::events,
                     [this](const std::vector<ServeEvent>& batch) { take(batch); });
    const StopOnSignal::Orderly orderly(
        QStringLiteral("stopping, before the poll plan was printed"));
    // Only now does Ctrl+C stop the run in order, as the line says.
    std::fprintf(stderr, "%s\n", qPrintable(started));
    QCoreApplication::exec();
    server.close();
    if (!output_.finish()) exitCode_ = 1;
    std::fprintf(stderr, "Poll plan, from %lld frames heard:\n%s", static_cast<long long>(heard_),
                 qPrintable(plan_.text()));
    return exitCode_;
  }

 private:
  bool countReached() const { return o_.count && heard_ >= *o_.count; }

  void take(const std::vector<ServeEvent>& batch) {
    for (const ServeEvent& event : batch) {
      if (countReached()) break;
      if (event.type == ServeEvent::Type::Closed) {
        exitCode_ = fail(event.reason);
        QCoreApplication::quit();
        break;
      }
      if (event.type != ServeEvent::Type::Traffic) continue;
      const TrafficEvent& e = event.traffic;
      ++heard_;
      plan_.take(e);
      output_.log(e);
      QString text = QStringLiteral("RX %1 | %2").arg(hexText(e.bytes), kindName(e.kind));
      if (!e.detail.isEmpty()) text += QStringLiteral(" | ") + e.detail;
      output_.print(text, e.time, o_.timestamps);
      if (o_.display && display_.take(e)) showDisplay(e.kind == EventKind::ConfigFrame);
    }
    if (countReached()) QCoreApplication::quit();
  }

  // The rows after the frame that changed them; a configuration heard is said to be drawn
  // first, whatever its rows. Rows are no event of the line: they carry no time stamp.
  void showDisplay(bool tookOver) {
    if (!display_.heard()) return;
    QString rows = framedRows(display_.preview());
    if (!tookOver && rows == shownRows_) return;
    shownRows_ = rows;
    if (tookOver) rows.prepend(display_.configNote() + u'\n');
    output_.print(rows, {}, false);
  }

  const CliOptions& o_;
  RunOutput output_;
  PollPlan plan_;
  HeardDisplay display_;
  QString shownRows_;
  qint64 heard_ = 0;
  int exitCode_ = 0;
};

// What was heard at one setting, and whether the line was lost meanwhile.
struct Heard {
  ScanCounts counts;
  QString lost;  // what happened to the device; empty while it is there
};

// Listens at `settings` for `seconds` and counts what was heard.
Heard listenAt(const CliOptions& o, const IniFile& ini, const LineSettings& settings,
               double seconds) {
  Heard heard{{settings, 0, 0, 0, {}}, {}};
  PortThread server;
  QEventLoop loop;
  QObject::connect(&server, &PortThread::events, [&](const std::vector<ServeEvent>& batch) {
    for (const ServeEvent& e : batch) {
      if (e.type == ServeEvent::Type::Traffic) heard.counts.take(e.traffic);
      if (e.type == ServeEvent::Type::Closed) {
        heard.lost = e.reason;
        loop.quit();
      }
    }
  });
  // Nothing heard counts at settings the device did not take.
  if (QString refused = server.listenExactly(serveLine(o, ini, settings)); !refused.isEmpty())
    return {{settings, 0, 0, 0, refused}, {}};
  QTimer::singleShot(int(seconds * 1000), &loop, &QEventLoop::quit);
  if (!StopOnSignal::asked()) loop.exec();
  server.close();  // what was heard up to here is delivered before close() returns
  return heard;
}

int runScan(const CliOptions& o, const IniFile& ini) {
  const double seconds = o.seconds.value_or(3.0);
  const std::vector<LineSettings> all = scanSettings();
  // A signal quits the loop of the setting being heard; the scan stops there.
  const StopOnSignal::Orderly orderly(QStringLiteral("scanning"));
  std::fprintf(stderr, "Listening %.1f s at each of %zu line settings; Ctrl+C stops.\n", seconds,
               all.size());
  std::vector<ScanCounts> counts;
  for (const LineSettings& settings : all) {
    if (StopOnSignal::asked()) return fail(QStringLiteral("stopped before the scan was done"));
    const Heard heard = listenAt(o, ini, settings, seconds);
    if (!heard.lost.isEmpty())
      return fail(QStringLiteral("the scan stopped at %1: %2")
                      .arg(formatLineSettings(settings), heard.lost));
    counts.push_back(heard.counts);
    std::printf("%s", qPrintable(scanTable({counts.back()})));
    std::fflush(stdout);
  }
  const ScanFinding finding = chooseSettings(counts);
  std::printf("%s\n", qPrintable(finding.summary));
  if (!finding.best) return 1;
  std::printf("Listen at them with: vantor-cli listen --setting %s\n",
              qPrintable(formatLineSettings(*finding.best)));
  return 0;
}

}  // namespace

int runListen(const CliOptions& o, const IniFile& ini) {
  keepGoingOnFailedWrites();
  if (o.scan) return runScan(o, ini);
  const auto line = checkedLineSettings(o, ini);
  if (!line) return 1;
  // The saved configuration names the fields of the polls heard and reads their values, until
  // a configuration frame heard takes its place.
  const SlaveTableLoad load =
      moduleOf(o, ini) == u"1602" ? loadSlaveTable1602(ini) : loadSlaveTable2004(ini);
  std::optional<LogFile> log;
  if (!openLogOption(o, log)) return 1;

  PortThread server;
  server.setBatchInterval(std::chrono::milliseconds(20));
  const ServeLine serve = serveLine(o, ini, *line);
  StopOnSignal::doing(QStringLiteral("opening %1").arg(serve.device));
  const OpenResult opened = server.listen(serve);
  if (!opened.ok) {
    if (log) ::close(log->fd);
    return fail(opened.error);
  }
  if (!opened.notice.isEmpty()) fail(opened.notice);
  Hearing hearing(o, {load.config1602, load.config2004}, std::move(log));
  return hearing.listen(server, QStringLiteral("Listening on %1 at %2, writing nothing; Ctrl+C "
                                               "stops.")
                                    .arg(opened.deviceName, formatLineSettings(*line)));
}

}  // namespace vantor::cli
