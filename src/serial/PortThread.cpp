#include "serial/PortThread.h"

#include "serial/LineIo.h"
#include "serial/ListenJob.h"
#include "serial/ReplaySlavesJob.h"
#include "serial/SerialPort.h"
#include "serial/ServeJob.h"

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
#include <mutex>

namespace vantor {

namespace {

// Events waiting for an owner that does not take them are dropped beyond this many.
constexpr std::size_t kMaxWaitingEvents = 500000;

// A reply, or a poll, is due within a few milliseconds, whatever else the computer is busy
// with. Where the system allows it (root, or a real-time allowance for the user), the port's
// thread gets the lowest real-time priority; it sleeps until bytes come or a poll is due, so it
// takes next to nothing from anyone else. Elsewhere it keeps the ordinary priority, which is
// still well served.
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

}  // namespace

struct PortThread::Shared {
  std::mutex mutex;
  std::vector<ServeEvent> events;  // waiting for the owner
  bool notified = false;           // the owner has been told that events wait
  std::atomic<bool> stop{false};
};

// The port's thread: opens the device, then runs its job on it until told to stop or the
// device goes away. It runs no event loop: the port object opened here never sees its own
// notifiers fire.
class PortThread::Thread : public QThread {
 public:
  Thread(std::shared_ptr<Shared> shared, ServeLine line, std::unique_ptr<PortJob> job,
         PortThread* owner)
      : shared_(std::move(shared)), line_(std::move(line)), job_(std::move(job)), owner_(owner) {}

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
    opened_.set_value(result);
    if (!result.ok) return;

    io_.setHandle(port.handle());
    JobLine line(io_, port.handle(), *line_.settings, shared_->stop, port.describe(),
                 [this](std::vector<ServeEvent>& events) { publish(events); });
    job_->run(line);
    port.close();
  }

 private:
  // Hands a turn's events to the owner, waking it only when it does not know yet.
  void publish(std::vector<ServeEvent>& events) {
    bool tell = false;
    {
      const std::lock_guard lock(shared_->mutex);
      auto& waiting = shared_->events;
      for (ServeEvent& e : events)
        if (waiting.size() < kMaxWaitingEvents) waiting.push_back(std::move(e));
      tell = !std::exchange(shared_->notified, true);
    }
    if (tell) QMetaObject::invokeMethod(owner_, [o = owner_] { o->deliverSoon(); });
  }

  std::shared_ptr<Shared> shared_;
  const ServeLine line_;
  std::unique_ptr<PortJob> job_;
  PortThread* owner_;
  std::promise<OpenResult> opened_;
  LineIo io_;
};

PortThread::PortThread(QObject* parent) : QObject(parent) {
  batch_.setSingleShot(true);
  connect(&batch_, &QTimer::timeout, this, &PortThread::deliver);
}

PortThread::~PortThread() {
  // The owner may be half destroyed by now: stop without telling it.
  stopThread();
}

OpenResult PortThread::open(const ServeLine& line, std::shared_ptr<const ServePlan> plan) {
  close();
  plan_ = std::make_shared<ServePlanSlot>(std::move(plan));
  return start(line, std::make_unique<ServeJob>(plan_));
}

OpenResult PortThread::listen(const ServeLine& line) {
  close();
  return start(line, std::make_unique<ListenJob>());
}

QString PortThread::listenExactly(const ServeLine& line) {
  const OpenResult opened = listen(line);
  if (!opened.ok) return opened.error;
  if (!opened.notice.isEmpty()) close();
  return opened.notice;
}

OpenResult PortThread::poll(const ServeLine& line, std::shared_ptr<const ModulePolls> polls,
                            PollPace pace) {
  close();
  return start(line, std::make_unique<PollJob>(std::move(polls), pace));
}

OpenResult PortThread::replaySlaves(const ServeLine& line,
                                    std::shared_ptr<const Recording> recording, double speed,
                                    bool loop) {
  close();
  return start(line, std::make_unique<ReplaySlavesJob>(std::move(recording), speed, loop));
}

OpenResult PortThread::replayMaster(const ServeLine& line,
                                    std::shared_ptr<const Recording> recording,
                                    MasterReplayPace pace, const SlaveTable& fields) {
  close();
  return start(line, std::make_unique<ReplayMasterJob>(std::move(recording), pace, fields));
}

OpenResult PortThread::start(const ServeLine& line, std::unique_ptr<PortJob> job) {
  shared_ = std::make_shared<Shared>();
  thread_ = std::make_unique<Thread>(shared_, line, std::move(job), this);
  std::future<OpenResult> opened = thread_->opened();
  thread_->start();
  OpenResult result = opened.get();
  if (!result.ok) {
    thread_->wait();
    thread_.reset();
    plan_.reset();
    return result;
  }
  running_ = true;
  return result;
}

bool PortThread::stopThread() {
  if (!thread_) return false;
  shared_->stop = true;
  thread_->wake();
  thread_->wait();
  thread_.reset();
  plan_.reset();
  running_ = false;
  batch_.stop();
  return true;
}

void PortThread::close() {
  if (!stopThread()) return;
  // What happened up to here still reaches the owner, after anything it is handling now.
  if (delivering_)
    QMetaObject::invokeMethod(this, &PortThread::deliver, Qt::QueuedConnection);
  else
    deliver();
}

void PortThread::setPlan(std::shared_ptr<const ServePlan> plan) {
  if (plan_ && plan) plan_->set(std::move(plan));
}

void PortThread::deliverSoon() {
  if (batch_.isActive()) return;
  const qint64 since = sinceDelivery_.isValid() ? sinceDelivery_.elapsed() : interval_.count();
  if (since >= interval_.count())
    deliver();
  else
    batch_.start(int(interval_.count() - since));
}

void PortThread::deliver() {
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
