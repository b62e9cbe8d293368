#include "serial/PollServer.h"

#include "core/listen/HeardFrames.h"
#include "core/modbus/RequestCutter.h"
#include "core/monitor/EchoFilter.h"
#include "serial/LineIo.h"
#include "serial/SerialPort.h"

#include <QThread>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

#include <atomic>
#include <future>
#include <map>
#include <mutex>

namespace vantor {

namespace {

using namespace std::chrono_literals;

// What was written gets this long to leave the line when serving stops.
constexpr auto kDrainLimit = 250ms;
// Events waiting for an owner that does not take them are dropped beyond this many.
constexpr std::size_t kMaxWaitingEvents = 500000;

// A reply is due within a few milliseconds, whatever else the computer is busy with. Where the
// system allows it (root, or a real-time allowance for the user), the serving thread gets the
// lowest real-time priority; it sleeps until bytes come, so it takes next to nothing from
// anyone else. Elsewhere it keeps the ordinary priority, which is still well served.
void raisePriority() {
#ifdef Q_OS_WIN
  // Above every ordinary thread, below those the system keeps for itself.
  ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
#else
  sched_param param{};
  param.sched_priority = sched_get_priority_min(SCHED_FIFO);
  if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0) return;
  setpriority(PRIO_PROCESS, pid_t(syscall(SYS_gettid)), -10);
#endif
}

qint64 monotonicNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

ServeEvent trafficEvent(TrafficEvent e) {
  ServeEvent event;
  event.traffic = std::move(e);
  return event;
}

TrafficEvent received(EventKind kind, const QByteArray& bytes, const QDateTime& time) {
  TrafficEvent e;
  e.time = time;
  e.direction = Direction::Rx;
  e.bytes = bytes;
  e.kind = kind;
  return e;
}

}  // namespace

struct PollServer::Shared {
  std::mutex mutex;
  std::vector<ServeEvent> events;  // waiting for the owner
  bool notified = false;           // the owner has been told that events wait
  std::shared_ptr<const ServePlan> plan;
  std::atomic<quint64> planVersion{0};
  std::atomic<bool> stop{false};
};

// The serving thread: opens the device, then loops on the device, its wake-up and its own
// deadlines (the frame gap, delayed replies) until told to stop or the device goes away. It
// runs no event loop: the port object opened here never sees its own notifiers fire.
class PollServer::Thread : public QThread {
 public:
  Thread(std::shared_ptr<Shared> shared, ServeLine line, PollServer* owner)
      : shared_(std::move(shared)), line_(std::move(line)), owner_(owner) {}

  std::future<OpenResult> opened() { return opened_.get_future(); }
  void wake() { io_.wake(); }

 protected:
  void run() override {
    raisePriority();
    SerialPort port([device = line_.device](int) { return device; });
    if (line_.byPath)
      port.setDevicePath(line_.device);
    else
      port.setCommPort(line_.commPort);
    port.setLineSettings(line_.settings);
    OpenResult result;
    result.ok = io_.error().isEmpty() && port.open(&result.error);
    if (!io_.error().isEmpty())
      result.error = tr("%1: cannot serve it: %2").arg(port.describe(), io_.error());
    result.notice = port.settingsNotice();
    result.deviceName = port.deviceName();
    describe_ = port.describe();
    opened_.set_value(result);
    if (!result.ok) return;

    handle_ = port.handle();
    io_.setHandle(handle_);
    if (line_.listenOnly) {
      listen();
    } else {
      cutter_.emplace(frameGap(*line_.settings));
      const bool lost = serve();
      delayed_.clear();  // a reply not yet due is never written: the poll it answers is gone
      if (!lost) finish();
    }
    port.close();
  }

 private:
  struct Due {
    Decision decision;
    qint64 readNs;
    QDateTime time;
  };

  // Serves until stopped (false) or until the device goes away (true).
  bool serve() {
    while (!shared_->stop) {
      takePlan();
      std::optional<qint64> due = cutter_->deadline();
      const auto dueAt = [&due](qint64 ns) { due = due ? std::min(*due, ns) : ns; };
      if (!delayed_.empty()) dueAt(delayed_.begin()->first);
      if (const auto held = echo_.deadline()) dueAt(*held * 1'000'000);
      std::optional<std::chrono::nanoseconds> timeout;
      if (due) timeout = std::chrono::nanoseconds(std::max<qint64>(*due - monotonicNs(), 0));

      const LineIo::Woken woken = io_.wait(timeout, !unsent_.isEmpty());
      // The time the bytes were read: taken as the thread wakes, before anything else.
      const qint64 readNs = monotonicNs();
      QString readError;
      if (woken.input) {
        const QByteArray bytes = io_.read(&readError);
        if (!bytes.isEmpty()) take(bytes, readNs);
      }
      if (woken.lost || !readError.isEmpty()) {
        lose();
        return true;
      }
      if (woken.writable && !unsent_.isEmpty()) flushUnsent();
      if (!woken.input) {
        // Nothing came up to readNs: what waits may be due. (A thread that is slow to come
        // back here must not take its own delay for silence on the line.)
        const QDateTime now = QDateTime::currentDateTimeUtc();
        const QByteArray held = echo_.release(readNs / 1'000'000);
        for (const CutPiece& piece : cutter_->read(held, readNs)) judge(piece, readNs, now);
        for (const CutPiece& piece : cutter_->idle(readNs)) judge(piece, readNs, now);
      }
      while (!delayed_.empty() && delayed_.begin()->first <= monotonicNs()) {
        const Due due = delayed_.begin()->second;
        delayed_.erase(delayed_.begin());
        send(due.decision, due.readNs, QDateTime::currentDateTimeUtc(), false);
      }
      publish();
    }
    return false;
  }

  // Hears the line until stopped or until the device goes away, and writes nothing at all.
  void listen() {
    FrameListener listener(frameGap(*line_.settings));
    const auto heard = [this](std::vector<TrafficEvent> frames) {
      for (TrafficEvent& e : frames) events_.push_back(trafficEvent(std::move(e)));
    };
    while (!shared_->stop) {
      std::optional<std::chrono::nanoseconds> timeout;
      if (const auto due = listener.deadline())
        timeout = std::chrono::nanoseconds(std::max<qint64>(*due - monotonicNs(), 0));
      const LineIo::Woken woken = io_.wait(timeout, false);
      const qint64 readNs = monotonicNs();
      QString readError;
      if (woken.input) {
        const QByteArray bytes = io_.read(&readError);
        qCDebug(lcSerial) << "heard:" << bytes.toHex(' ');
        if (!bytes.isEmpty()) heard(listener.read(bytes, readNs, QDateTime::currentDateTimeUtc()));
      }
      if (woken.lost || !readError.isEmpty()) return lose();
      if (!woken.input) heard(listener.idle(readNs, QDateTime::currentDateTimeUtc()));
      publish();
    }
  }

  void takePlan() {
    const quint64 version = shared_->planVersion.load();
    if (version == planVersion_) return;
    std::shared_ptr<const ServePlan> plan;
    {
      const std::lock_guard lock(shared_->mutex);
      plan = shared_->plan;
      planVersion_ = shared_->planVersion.load();
    }
    if (plan->dropEcho != echo_.enabled()) echo_.setEnabled(plan->dropEcho);
    state_.use(std::move(plan));
  }

  void take(QByteArray bytes, qint64 readNs) {
    takePlan();  // a change applies from the next poll
    const QDateTime time = QDateTime::currentDateTimeUtc();
    qCDebug(lcSerial) << "in:" << bytes.toHex(' ');
    const QByteArray echo = echo_.take(bytes, readNs / 1'000'000);
    if (!echo.isEmpty()) events_.push_back(trafficEvent(received(EventKind::Echo, echo, time)));
    if (bytes.isEmpty()) return;
    for (const CutPiece& piece : cutter_->read(bytes, readNs)) judge(piece, readNs, time);
  }

  void judge(const CutPiece& piece, qint64 readNs, const QDateTime& time) {
    if (!piece.request) {
      qCDebug(lcSerial) << "dropped:" << piece.bytes.toHex(' ');
      events_.push_back(trafficEvent(received(EventKind::Fragment, piece.bytes, time)));
      return;
    }
    Decision decision = state_.judge(piece.bytes);
    if (decision.delayMs <= 0 || decision.response.reply.isEmpty())
      return send(decision, readNs, time, true);

    // A delayed reply waits on this thread's clock; requests that come meanwhile are judged
    // as usual, and another slave's reply is not held up.
    Response& r = decision.response;
    const QString delayed = QStringLiteral("reply delayed by %1 ms").arg(decision.delayMs);
    r.note = r.note.isEmpty() ? delayed : r.note + QStringLiteral(", ") + delayed;
    for (TrafficEvent& event : eventsOf(r, time))
      if (event.direction == Direction::Rx) events_.push_back(trafficEvent(std::move(event)));
    delayed_.emplace(readNs + qint64(decision.delayMs) * 1'000'000, Due{decision, readNs, time});
  }

  // Writes the reply before anything is reported: the module is waiting for it.
  void send(const Decision& decision, qint64 readNs, const QDateTime& time, bool logRequest) {
    const Response& r = decision.response;
    WriteResult written{0, r.reply.size(), {}};
    if (!r.reply.isEmpty()) {
      if (unsent_.isEmpty()) {
        const qint64 n = io_.write(r.reply, &written.error);
        if (n >= 0 && n < r.reply.size()) unsent_ = r.reply.sliced(n);
        // What the driver had no room for yet goes out as soon as it has.
        written.written = n < 0 ? 0 : r.reply.size();
      } else {
        unsent_ += r.reply;
        written.written = r.reply.size();
      }
    }
    const qint64 writtenNs = monotonicNs();
    if (!r.reply.isEmpty())
      qCDebug(lcSerial) << "out:" << r.reply.toHex(' ') << qPrintable(written.error);
    const QByteArray sent = r.reply.first(written.written);
    if (!sent.isEmpty()) echo_.expect(sent, writtenNs / 1'000'000);

    ServeEvent exchange;
    exchange.type = ServeEvent::Type::Exchange;
    Exchange& x = exchange.exchange;
    x.time = time;
    x.request = r.request;
    x.verdict = r.verdict;
    x.slave = r.slave;
    x.sent = sent;
    x.note = r.note;
    x.reason = reasonText(r);
    x.altered = r.altered;
    x.sendError = written.message();
    x.latencyUs = sent.isEmpty() ? -1 : double(writtenNs - readNs) / 1000.0;
    x.value = decision.value;
    events_.push_back(std::move(exchange));
    for (TrafficEvent& event : eventsOf(r, time)) {
      if (event.direction == Direction::Rx && !logRequest) continue;
      if (event.direction == Direction::Tx) {
        event.bytes = sent;
        if (!written.ok()) event.detail = written.message();
      }
      events_.push_back(trafficEvent(std::move(event)));
    }
  }

  // Hands over what the driver had no room for, as much as it takes now.
  void flushUnsent() {
    QString error;
    const qint64 n = io_.write(unsent_, &error);
    unsent_ = n < 0 ? QByteArray() : unsent_.sliced(n);
  }

  // At the end of serving: what was written gets a moment to leave, then the device goes.
  void finish() {
    const qint64 deadline = monotonicNs() + std::chrono::nanoseconds(kDrainLimit).count();
    while (!unsent_.isEmpty() && monotonicNs() < deadline) {
      flushUnsent();
      if (!unsent_.isEmpty()) io_.wait(10ms, true);
    }
    drainOutput(handle_, kDrainLimit);
  }

  void lose() {
    ServeEvent closed;
    closed.type = ServeEvent::Type::Closed;
    closed.reason = tr("%1 was lost: the device is no longer there (unplugged or switched off?)")
                        .arg(describe_);
    events_.push_back(std::move(closed));
    publish();
  }

  // Hands this turn's events to the owner, waking it only when it does not know yet.
  void publish() {
    if (events_.empty()) return;
    bool tell = false;
    {
      const std::lock_guard lock(shared_->mutex);
      auto& waiting = shared_->events;
      for (ServeEvent& e : events_)
        if (waiting.size() < kMaxWaitingEvents) waiting.push_back(std::move(e));
      tell = !std::exchange(shared_->notified, true);
    }
    events_.clear();
    if (tell) QMetaObject::invokeMethod(owner_, [o = owner_] { o->deliverSoon(); });
  }

  std::shared_ptr<Shared> shared_;
  const ServeLine line_;
  PollServer* owner_;
  std::promise<OpenResult> opened_;
  QString describe_;
  LineIo io_;
  qintptr handle_ = -1;
  std::optional<RequestCutter> cutter_;
  ServingState state_;
  quint64 planVersion_ = 0;
  EchoFilter echo_;
  std::multimap<qint64, Due> delayed_;
  QByteArray unsent_;  // reply bytes the driver had no room for yet
  std::vector<ServeEvent> events_;
};

PollServer::PollServer(QObject* parent) : QObject(parent) {
  batch_.setSingleShot(true);
  connect(&batch_, &QTimer::timeout, this, &PollServer::deliver);
}

PollServer::~PollServer() {
  // The owner may be half destroyed by now: stop serving without telling it.
  stopThread();
}

OpenResult PollServer::open(const ServeLine& line, std::shared_ptr<const ServePlan> plan) {
  close();
  shared_ = std::make_shared<Shared>();
  shared_->plan = plan ? std::move(plan) : std::make_shared<const ServePlan>();
  shared_->planVersion = 1;
  thread_ = std::make_unique<Thread>(shared_, line, this);
  std::future<OpenResult> opened = thread_->opened();
  thread_->start();
  OpenResult result = opened.get();
  if (!result.ok) {
    thread_->wait();
    thread_.reset();
    return result;
  }
  running_ = true;
  return result;
}

QString PollServer::listenExactly(ServeLine line) {
  line.listenOnly = true;
  const OpenResult opened = open(line, nullptr);
  if (!opened.ok) return opened.error;
  if (!opened.notice.isEmpty()) close();
  return opened.notice;
}

bool PollServer::stopThread() {
  if (!thread_) return false;
  shared_->stop = true;
  thread_->wake();
  thread_->wait();
  thread_.reset();
  running_ = false;
  batch_.stop();
  return true;
}

void PollServer::close() {
  if (!stopThread()) return;
  // What happened up to here still reaches the owner, after anything it is handling now.
  if (delivering_)
    QMetaObject::invokeMethod(this, &PollServer::deliver, Qt::QueuedConnection);
  else
    deliver();
}

void PollServer::setPlan(std::shared_ptr<const ServePlan> plan) {
  if (!shared_ || !plan) return;
  {
    const std::lock_guard lock(shared_->mutex);
    shared_->plan = std::move(plan);
  }
  ++shared_->planVersion;
}

void PollServer::deliverSoon() {
  if (batch_.isActive()) return;
  const qint64 since = sinceDelivery_.isValid() ? sinceDelivery_.elapsed() : interval_.count();
  if (since >= interval_.count())
    deliver();
  else
    batch_.start(int(interval_.count() - since));
}

void PollServer::deliver() {
  if (delivering_ || !shared_) return;
  std::vector<ServeEvent> batch;
  {
    const std::lock_guard lock(shared_->mutex);
    batch.swap(shared_->events);
    shared_->notified = false;
  }
  if (batch.empty()) return;
  sinceDelivery_.restart();
  delivering_ = true;
  emit events(batch);
  delivering_ = false;
}

}  // namespace vantor
