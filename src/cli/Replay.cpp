#include "cli/Replay.h"

#include "cli/CliSupport.h"
#include "core/modbus/HexText.h"
#include "core/replay/Recording.h"
#include "core/simulator/SlaveTable.h"
#include "serial/PortThread.h"

#include <QCoreApplication>

#include <cstdio>

namespace vantor::cli {

namespace {

// One replay: each request printed (as the slaves) or each difference (as the master), every
// event logged, until the recording is played through (as the master, without --loop), a
// signal or a lost port ends it.
class Replaying {
 public:
  Replaying(const CliOptions& o, std::optional<LogFile> log)
      : o_(o), master_(o.replayAs == u"master"), output_(std::move(log)) {}

  // Replays until the run ends, saying so first with `started`; the exit code.
  int run(PortThread& port, const QString& started) {
    QObject::connect(&port, &PortThread::events,
                     [this](const std::vector<ServeEvent>& batch) { take(batch); });
    const StopOnSignal::Orderly orderly(QStringLiteral("stopping, before the summary was printed"));
    std::fprintf(stderr, "%s\n", qPrintable(started));
    QCoreApplication::exec();
    port.close();
    if (!output_.finish()) error_ = true;
    std::fprintf(stderr, "%s\n", qPrintable(summary()));
    if (error_) return 1;
    return master_ ? tally_.exitStatus() : 0;
  }

 private:
  void take(const std::vector<ServeEvent>& batch) {
    for (const ServeEvent& event : batch) {
      switch (event.type) {
        case ServeEvent::Type::Traffic:
          output_.log(event.traffic);
          break;
        case ServeEvent::Type::Replayed:
          print(event.replay);
          break;
        case ServeEvent::Type::Finished:
          QCoreApplication::quit();
          break;
        case ServeEvent::Type::Closed:
          error_ = true;
          fail(event.reason);
          QCoreApplication::quit();
          break;
        case ServeEvent::Type::Exchange:
        case ServeEvent::Type::Polled:
          break;
      }
    }
  }

  void print(const ReplayStep& step) {
    if (!step.sendError.isEmpty())
      fail(QStringLiteral("The request or reply was not sent. %1").arg(step.sendError));
    if (master_) {
      tally_.count(step.comparison.outcome);
      if (!step.comparison.difference.isEmpty())
        output_.print(step.comparison.difference, step.time, o_.timestamps);
      return;
    }
    ++requests_;
    QString what;
    if (step.occurrence == 0) {
      ++unheard_;
      what = step.reason;
    } else if (step.reply.isEmpty()) {
      ++silent_;
      what = step.reason;
    } else {
      what = QStringLiteral("as on line %1 (%2 of %3)")
                 .arg(step.line)
                 .arg(step.occurrence)
                 .arg(step.occurrences);
    }
    const QString tx = hexText(step.reply);
    output_.print(QStringLiteral("RX %1 | %2 | TX%3")
                      .arg(hexText(step.request), what, tx.isEmpty() ? tx : u' ' + tx),
                  step.time, o_.timestamps);
  }

  QString summary() const {
    if (master_) return tally_.summary();
    return QStringLiteral(
               "%1 requests: %2 answered as recorded, %3 left unanswered as recorded, "
               "%4 the recording never heard")
        .arg(requests_)
        .arg(requests_ - silent_ - unheard_)
        .arg(silent_)
        .arg(unheard_);
  }

  const CliOptions& o_;
  const bool master_;
  RunOutput output_;
  ReplayTally tally_;
  int requests_ = 0;
  int silent_ = 0;   // left unanswered as the recording was
  int unheard_ = 0;  // never heard in the recording
  bool error_ = false;
};

}  // namespace

int runReplay(const CliOptions& o, const IniFile& ini) {
  keepGoingOnFailedWrites();
  // The whole recording is read before anything goes on the line.
  StopOnSignal::doing(QStringLiteral("reading the recording %1").arg(*o.input));
  RecordingRead read = readRecording(*o.input);
  if (!read.recording) return fail(read.refusal);
  const auto recording = std::make_shared<const Recording>(std::move(*read.recording));
  const auto line = checkedLineSettings(o, ini);
  if (!line) return 1;
  const bool master = o.replayAs == u"master";
  const double speed = o.speed.value_or(1.0);
  const MasterReplayPace pace{speed, o.loop, std::chrono::milliseconds(o.timeoutMs.value_or(500))};
  // The saved configuration's fields name the polls and read the values that differ.
  const SlaveTable fields =
      moduleOf(o, ini) == u"1602" ? loadSlaveTable1602(ini).table : loadSlaveTable2004(ini).table;

  std::optional<LogFile> log;
  PortThread port;
  const std::optional<QString> device =
      openRun(port, o, ini, *line, log, [&](const ServeLine& serve) {
        return master ? port.replayMaster(serve, recording, pace, fields)
                      : port.replaySlaves(serve, recording, speed, o.loop);
      });
  if (!device) return 1;
  Replaying replaying(o, std::move(log));
  return replaying.run(
      port, QStringLiteral("Replaying %1 (%2 requests) as the %3 on %4 at %5, speed %6%7; Ctrl+C "
                           "stops.")
                .arg(*o.input)
                .arg(recording->exchanges.size())
                .arg(master ? QStringLiteral("master") : QStringLiteral("slaves"), *device,
                     formatLineSettings(*line))
                .arg(speed)
                .arg(o.loop ? QStringLiteral(", looping") : QString()));
}

}  // namespace vantor::cli
