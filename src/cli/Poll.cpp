#include "cli/Poll.h"

#include "cli/CliSupport.h"
#include "core/poll/PollStats.h"
#include "serial/PortThread.h"

#include <QCoreApplication>

#include <cstdio>

namespace vantor::cli {

namespace {

using std::chrono::milliseconds;

// One run of polling: every poll printed and logged, and counted per field, until a signal,
// --count or a lost port ends it.
class Polling {
 public:
  Polling(const CliOptions& o, const ModulePolls& polls, std::optional<LogFile> log)
      : o_(o), polls_(polls), output_(std::move(log)) {}

  // Polls until the run ends, saying so first with `started`; the exit code.
  int run(PortThread& port, const QString& started) {
    QObject::connect(&port, &PortThread::events,
                     [this](const std::vector<ServeEvent>& batch) { take(batch); });
    const StopOnSignal::Orderly orderly(QStringLiteral("stopping, before the counts were printed"));
    // Only now does Ctrl+C stop the run in order, as the line says.
    std::fprintf(stderr, "%s\n", qPrintable(started));
    QCoreApplication::exec();
    port.close();
    if (!output_.finish()) exitCode_ = 1;
    std::fprintf(stderr, "Polled %lld cycles:\n%s\n", static_cast<long long>(cycles_),
                 qPrintable(stats_.summary(polls_)));
    return exitCode_;
  }

 private:
  bool countReached() const { return o_.count && cycles_ >= *o_.count; }

  void take(const std::vector<ServeEvent>& batch) {
    for (const ServeEvent& event : batch) {
      if (countReached()) break;
      switch (event.type) {
        case ServeEvent::Type::Traffic:
          output_.log(event.traffic);
          break;
        case ServeEvent::Type::Polled:
          print(event.poll);
          break;
        case ServeEvent::Type::Exchange:
        case ServeEvent::Type::Replayed:
        case ServeEvent::Type::Finished:
          break;
        case ServeEvent::Type::Closed:
          exitCode_ = fail(event.reason);
          QCoreApplication::quit();
          return;
      }
    }
    if (countReached()) QCoreApplication::quit();
  }

  void print(const PollResult& r) {
    stats_.take(r);
    const auto poll = std::find_if(polls_.fields.begin(), polls_.fields.end(),
                                   [&r](const PolledField& p) { return p.field == r.field; });
    if (poll == polls_.fields.end()) return;
    QString line = pollText(*poll) + QStringLiteral("  ") + r.text;
    if (r.responseMs >= 0) line += QStringLiteral("  %1 ms").arg(r.responseMs, 0, 'f', 1);
    if (r.late) line += QStringLiteral("  late");
    output_.print(line, r.time, false);
    if (poll + 1 != polls_.fields.end()) return;
    // The cycle is complete: what the module's display now shows.
    ++cycles_;
    if (o_.display) output_.print(framedRows(stats_.display(polls_)), r.time, false);
  }

  const CliOptions& o_;
  const ModulePolls& polls_;
  RunOutput output_;
  PollStats stats_;
  qint64 cycles_ = 0;
  int exitCode_ = 0;
};

}  // namespace

int runPoll(const CliOptions& o, const IniFile& ini) {
  keepGoingOnFailedWrites();
  const QString module = moduleOf(o, ini);
  const ModulePollsLoad load = loadModulePolls(ini, module == u"1602", o.setting.has_value());
  if (!load.polls)
    return fail(o.setting ? load.refusal
                          : load.refusal + QStringLiteral(" (Or give the line with --setting.)"));
  const ModulePolls& polls = *load.polls;
  const std::optional<LineSettings> line =
      o.setting ? checkedLineSettings(o, ini) : moduleLineSettings(polls.line);
  if (!line) return 1;
  // Polled as the configuration window would show the file: say which settings it made up.
  if (!load.notice.isEmpty()) fail(load.notice);
  const PollPace pace{milliseconds(o.intervalMs.value_or(polls.intervalMs)),
                      milliseconds(o.timeoutMs.value_or(500)), o.count};

  std::optional<LogFile> log;
  PortThread port;
  const std::optional<QString> device =
      openRun(port, o, ini, *line, log, [&](const ServeLine& serve) {
        return port.poll(serve, std::make_shared<const ModulePolls>(polls), pace);
      });
  if (!device) return 1;
  Polling polling(o, polls, std::move(log));
  return polling.run(port,
                     QStringLiteral("Polling as the %1 module on %2 at %3: %4 field%5 every %6 ms, "
                                    "replies waited for %7 ms; Ctrl+C stops.")
                         .arg(module, *device, formatLineSettings(*line))
                         .arg(polls.fields.size())
                         .arg(polls.fields.size() == 1 ? "" : "s")
                         .arg(pace.interval.count())
                         .arg(pace.timeout.count()));
}

}  // namespace vantor::cli
