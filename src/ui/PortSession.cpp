#include "ui/PortSession.h"

#include "core/settings/IniFile.h"
#include "serial/PortThread.h"
#include "ui/AnswerAllBox.h"
#include "ui/BusMonitor.h"
#include "ui/ByteDisplays.h"
#include "ui/Dialogs.h"
#include "ui/DisplayPanel.h"
#include "ui/LinePanel.h"
#include "ui/ListenViews.h"
#include "ui/PlotsPanel.h"
#include "ui/PollViews.h"
#include "ui/ReplayViews.h"
#include "ui/SimulatorPanel.h"

#include <QWidget>

namespace vantor {

namespace {

// The slave (from 1) of the saved configuration whose address `frame` is for; 0: none.
int slaveAnswering(const SlaveTable& table, const QByteArray& frame) {
  if (frame.isEmpty()) return 0;
  for (int s = 1; s <= kSlaveCount; ++s) {
    const Slave& slave = table[std::size_t(s - 1)];
    if (slave.enabled && slave.address == std::uint8_t(frame.at(0))) return s;
  }
  return 0;
}

// Replaying as the slaves, what goes back and forth is put down to the field of the saved
// configuration whose slave has its address, as serving puts it down to the slave answering,
// so that the counters per slave agree with their total.
void nameReplayedSlaves(const SlaveTable& table, std::vector<TrafficEvent>& traffic) {
  for (TrafficEvent& e : traffic) {
    if (e.about != 0) continue;
    const int s = slaveAnswering(table, e.bytes);
    if (s == 0) continue;
    e.about = s;
    e.address = std::uint8_t(e.bytes.at(0));
    if (e.kind == EventKind::Answered || e.kind == EventKind::Reply) e.slave = s;
  }
}

}  // namespace

PortSession::PortSession(IniFile& ini, Dialogs& dialogs, const Views& views, QWidget* window)
    : QObject(window), ini_(ini), dialogs_(dialogs), views_(views), window_(window) {
  server_ = new PortThread(this);
  server_->setObjectName(QStringLiteral("MSComm1"));
  connect(server_, &PortThread::events, this, &PortSession::onEvents);
}

ServeLine PortSession::lineAt(int port, const std::optional<LineSettings>& settings) const {
  return {port, views_.line->devicePath(port), false, settings};
}

bool PortSession::serve() {
  // Remembered on every press, so that even a failed Connect is kept at exit.
  views_.line->remember();
  const bool twoLine = views_.line->twoLine();
  const SlaveTableLoad loaded = twoLine ? loadSlaveTable1602(ini_) : loadSlaveTable2004(ini_);
  // Served from the first byte as the window will stand once the load is shown: slaves the
  // load enables start at 0x00. A port that does not open leaves the window as it was.
  ServePlan first = plan();
  first.table = loaded.table;
  for (std::size_t i = 0; i < loaded.views.size(); ++i)
    if (loaded.views[i].listsReset) first.values[i] = valueListsOf(0);
  const std::optional<LineSettings> settings = lineSettingsOf(views_.line->lineChoice());
  const OpenResult result = server_->open(lineAt(views_.line->chosenPort(), settings),
                                          std::make_shared<const ServePlan>(first));
  if (!result.ok) {
    dialogs_.message(window_, QStringLiteral("COMM PORT ERROR!"), result.error);
    return false;
  }
  setState(State::Serving);
  // The lists at 0x00 with nothing typed, then the values the settings file keeps; each
  // change reaches the serving thread from the next poll.
  views_.simulator->showLoad(loaded, views_.line->module());
  emit opened(result.deviceName, *settings);
  showServed(loaded, result.notice);
  return true;
}

void PortSession::showServed(const SlaveTableLoad& loaded, const QString& openNotice) {
  views_.monitor->setTable(loaded.table);
  served_ = loaded.table;
  views_.plots->start(fieldSeries(loaded.table));
  // The display as the module will show it, from the configuration the slaves stand for.
  views_.display->showConfiguration(loaded);
  // The port stays open and the slaves answer; what the user should know is said: a setting
  // the device did not take, keys the file did not give. A configuration never saved is no
  // fault: that alone is said in the ordinary colour.
  QStringList notices{openNotice, loaded.notice};
  notices.removeAll(QString());
  emit notice(notices.join(u'\n'), !openNotice.isEmpty() || loaded.noticeWarns,
              loaded.noticeDetails);
}

bool PortSession::listen() {
  views_.line->remember();
  // The saved configuration names the fields of the polls it makes, and draws the display
  // from their replies.
  const SlaveTableLoad loaded =
      views_.line->twoLine() ? loadSlaveTable1602(ini_) : loadSlaveTable2004(ini_);
  const std::optional<LineSettings> settings = lineSettingsOf(views_.line->lineChoice());
  const OpenResult result = server_->listen(lineAt(views_.line->chosenPort(), settings));
  if (!result.ok) {
    dialogs_.message(window_, QStringLiteral("COMM PORT ERROR!"), result.error);
    return false;
  }
  emit opened(result.deviceName, *settings);
  const ModuleConfig saved{loaded.config1602, loaded.config2004};
  views_.pollPlan->start(saved);
  views_.display->listen(saved);
  heard_ = HeardSamples(loaded.table);
  views_.plots->start(fieldSeries(loaded.table));
  setState(State::Listening);
  const QString listening =
      tr("Listening on %1: nothing is written to the line.").arg(result.deviceName);
  listening_ = {result.notice.isEmpty() ? listening : result.notice + u'\n' + listening,
                !result.notice.isEmpty()};
  emit notice(listening_.text, listening_.warns, {});
  return true;
}

bool PortSession::poll() {
  views_.line->remember();
  const ModulePollsLoad loaded = loadModulePolls(ini_, views_.line->twoLine(), true);
  if (!loaded.polls) {
    dialogs_.message(window_, tr("Nothing to poll."), loaded.refusal);
    return false;
  }
  auto polls = std::make_shared<const ModulePolls>(*loaded.polls);
  const std::optional<LineSettings> settings = lineSettingsOf(views_.line->lineChoice());
  PollPace pace;
  pace.interval = std::chrono::milliseconds(polls->intervalMs);
  const OpenResult result = server_->poll(lineAt(views_.line->chosenPort(), settings), polls, pace);
  if (!result.ok) {
    dialogs_.message(window_, QStringLiteral("COMM PORT ERROR!"), result.error);
    return false;
  }
  emit opened(result.deviceName, *settings);
  views_.pollFields->start(polls);
  // The fields polled, as the plots and the log name them.
  served_ = {};
  for (const PolledField& field : polls->fields) {
    Slave& slave = served_[std::size_t(field.field - 1)];
    slave = field.slave;
    slave.enabled = true;
    slave.intervalMs = polls->intervalMs;
  }
  views_.plots->start(fieldSeries(served_));
  views_.display->showConfiguration(polls->config1602, polls->config2004);
  setState(State::Polling);
  QStringList said{result.notice, loaded.notice};
  const std::optional<LineSettings> own = moduleLineSettings(polls->line);
  if (own && *own != *settings)
    said << tr("The module is configured for %1; polling at %2 as chosen.")
                .arg(formatLineSettings(*own), formatLineSettings(*settings));
  const int fields = int(polls->fields.size());
  said << tr("Polling %1 as the module on %2: a cycle every %3 ms, each reply waited for up to "
             "%4 ms.")
              .arg(fields == 1 ? tr("1 field") : tr("%1 fields").arg(fields))
              .arg(result.deviceName)
              .arg(polls->intervalMs)
              .arg(pace.timeout.count());
  said.removeAll(QString());
  emit notice(said.join(u'\n'), !result.notice.isEmpty(), {});
  return true;
}

bool PortSession::replay(const ReplayChoice& choice) {
  views_.line->remember();
  // The saved configuration names the fields the recording's polls are of, reads the values
  // of the replies compared, and draws the display from what goes back and forth.
  const SlaveTableLoad loaded =
      views_.line->twoLine() ? loadSlaveTable1602(ini_) : loadSlaveTable2004(ini_);
  const std::optional<LineSettings> settings = lineSettingsOf(views_.line->lineChoice());
  const ServeLine line = lineAt(views_.line->chosenPort(), settings);
  MasterReplayPace pace;
  pace.speed = choice.speed;
  pace.loop = choice.loop;
  const OpenResult result =
      choice.asSlaves ? server_->replaySlaves(line, choice.recording, choice.speed, choice.loop)
                      : server_->replayMaster(line, choice.recording, pace, loaded.table);
  if (!result.ok) {
    dialogs_.message(window_, QStringLiteral("COMM PORT ERROR!"), result.error);
    return false;
  }
  emit opened(result.deviceName, *settings);
  replayAsMaster_ = !choice.asSlaves;
  tally_ = {};
  served_ = loaded.table;
  views_.monitor->setTable(loaded.table);
  views_.display->listen({loaded.config1602, loaded.config2004});
  heard_ = HeardSamples(loaded.table);
  views_.plots->start(fieldSeries(loaded.table));
  setState(State::Replaying);
  const QString how = choice.loop ? tr(" at %1x, over and over").arg(choice.speed)
                                  : tr(" at %1x").arg(choice.speed);
  emit notice(
      (result.notice.isEmpty() ? QString() : result.notice + u'\n') +
          (choice.asSlaves
               ? tr("Replaying %1 as its slaves on %2%3: each request is answered as it was "
                    "then.")
               : tr("Replaying %1 as its master on %2%3: each reply is compared with the "
                    "recorded one."))
              .arg(choice.recording->path, result.deviceName, how),
      !result.notice.isEmpty(), {});
  return true;
}

// A replayed request and what came of it: counted when compared, and given to the display
// and the plots as if heard on the line.
void PortSession::takeReplayed(const ReplayStep& step, std::vector<TrafficEvent>& heard) {
  if (replayAsMaster_) tally_.count(step.comparison.outcome);
  TrafficEvent request;
  request.time = step.time;
  request.bytes = step.request;
  request.kind = EventKind::Request;
  heard.push_back(request);
  if (step.reply.isEmpty()) return;
  // As the slaves, the recorded delay is the reply's latency, counted as serving counts it.
  if (const int slave = replayAsMaster_ ? 0 : slaveAnswering(served_, step.request); slave > 0)
    views_.monitor->recordLatency(slave, step.delayMs * 1000.0);
  TrafficEvent reply = request;
  reply.bytes = step.reply;
  reply.time = step.time.addMSecs(qint64(std::max(step.delayMs, 0.0)));
  const bool exception = step.reply.size() > 1 && (quint8(step.reply[1]) & 0x80) != 0;
  reply.kind = exception ? EventKind::Exception : EventKind::Response;
  heard.push_back(reply);
}

void PortSession::close() {
  server_->close();
  setState(State::Closed);
}

void PortSession::setState(State state) {
  if (state == state_) return;
  state_ = state;
  emit stateChanged(state);
}

ServePlan PortSession::plan() const {
  ServePlan p;
  views_.simulator->fillPlan(p);
  p.dropEcho = views_.monitor->echoFilterOn();
  p.answerAll = views_.answerAll->answersAll();
  p.registerMap = views_.answerAll->registers();
  return p;
}

void PortSession::updatePlan() {
  if (state_ == State::Serving) server_->setPlan(std::make_shared<const ServePlan>(plan()));
}

void PortSession::onEvents(const std::vector<ServeEvent>& batch) {
  std::vector<TrafficEvent> traffic;
  traffic.reserve(batch.size());
  std::vector<PlotSample> plotted;
  std::vector<TrafficEvent> replayHeard;  // a replay's requests and replies, as if heard
  const Exchange* last = nullptr;
  std::optional<QString> lost;
  for (const ServeEvent& event : batch) {
    switch (event.type) {
      case ServeEvent::Type::Traffic:
        traffic.push_back(event.traffic);
        if (state_ == State::Listening)
          heard_.take(event.traffic, plotted);
        else if (state_ == State::Polling || state_ == State::Replaying)
          break;  // the poll's or the replay's result says all the plots need
        else if (auto poll = servedPoll(served_, event.traffic))
          plotted.push_back(std::move(*poll));
        break;
      case ServeEvent::Type::Exchange:
        last = &event.exchange;
        takeExchange(event.exchange, plotted);
        break;
      case ServeEvent::Type::Polled: {
        const int field = event.poll.field;
        views_.pollFields->take(event.poll);
        views_.display->setReading(field, views_.pollFields->stats().reading(field));
        plotPoll(event.poll, plotted);
        break;
      }
      case ServeEvent::Type::Replayed:
        takeReplayed(event.replay, replayHeard);
        break;
      case ServeEvent::Type::Finished:
        emit notice(tr("The recording was played to its end. %1").arg(tally_.summary()),
                    tally_.exitStatus() != 0, {});
        break;
      case ServeEvent::Type::Closed:
        lost = event.reason;
        break;
    }
  }
  if (state_ == State::Listening) {
    views_.pollPlan->take(traffic);
    // The news first: the status bar shows a notice's first line.
    if (const QString drawing = views_.display->hear(traffic); !drawing.isEmpty())
      emit notice(drawing + u'\n' + listening_.text, listening_.warns, {});
  }
  if (state_ == State::Replaying) {
    if (!replayAsMaster_) nameReplayedSlaves(served_, traffic);
    for (const TrafficEvent& e : replayHeard) heard_.take(e, plotted);
    views_.display->hear(replayHeard);
  }
  views_.monitor->record(std::move(traffic));
  feedPlots(plotted);
  // The byte displays show the latest exchange of the batch; a person reads no faster.
  if (last) views_.bytes->showExchange(*last);
  views_.display->refresh();
  if (state_ == State::Polling) views_.pollFields->refresh();
  if (lost) onPortLost(*lost);
}

// A request served and what went out for it.
void PortSession::takeExchange(const Exchange& x, std::vector<PlotSample>& plotted) {
  if (x.latencyUs >= 0) views_.monitor->recordLatency(x.slave, x.latencyUs);
  // A sweep's lists follow the value its slave last sent.
  if (x.slave > 0 && x.value && !x.sent.isEmpty()) views_.simulator->followSweep(x.slave, *x.value);
  if (!x.sendError.isEmpty())
    emit notice(tr("The reply was not sent. %1").arg(x.sendError), true, {});
  views_.display->take(x);
  if (x.slave > 0) {
    const FieldReading shown = readingOf(x);
    plotted.push_back(servedValue(served_, x.slave, x.time, shown.raw, shown.why, x.latencyUs));
  }
}

// A field polled as the module: when it was polled, and what came of it as the module shows
// it, with the response time.
void PortSession::plotPoll(const PollResult& result, std::vector<PlotSample>& plotted) const {
  if (result.field < 1 || result.field > kFieldCount) return;
  PlotSample poll;
  poll.series = servedSeries(served_, result.field);
  poll.timeMs = result.time.toMSecsSinceEpoch();
  poll.poll = true;
  poll.configuredMs = served_[std::size_t(result.field - 1)].intervalMs;
  plotted.push_back(poll);
  const std::optional<std::uint32_t> raw = result.failed() ? std::nullopt : result.raw;
  plotted.push_back(servedValue(served_, result.field, result.time, raw,
                                result.failed() ? result.text : QString(),
                                result.responseMs < 0 ? -1 : result.responseMs * 1000));
}

void PortSession::feedPlots(const std::vector<PlotSample>& samples) {
  views_.plots->setPaused(views_.monitor->log().paused());
  views_.plots->take(samples);
}

void PortSession::onPortLost(const QString& reason) {
  const bool polling = state_ == State::Polling;
  close();
  dialogs_.message(window_, tr("The serial port was lost."),
                   polling ? tr("%1. Polling as the module stopped; press Poll as module once "
                                "the device is back.")
                                 .arg(reason)
                           : tr("%1. The simulator is disconnected; press Connect once the "
                                "device is back.")
                                 .arg(reason));
}

}  // namespace vantor
