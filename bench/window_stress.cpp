// The simulator's replies while the window is busy: a master polls the main window (offscreen,
// 38400,n,8,1 on a pseudo-terminal) 50 times a second, one poll slave 1 answers and one it must
// not, while the window goes through phases a user could put it through: idle, a full log
// filtered back and forth, the plots shown with five minutes of four fields in them, resizing
// with the plots shown, Clear, exporting a full log, refilling it. The window's
// event loop runs between actions as it would for a user. Prints per phase the polls, lost
// replies and the reply time of the answered polls; the goal is no lost reply and none slower
// than 5 ms in any phase.
#include "PtyPair.h"
#include "RecordingDialogs.h"
#include "RoundTrip.h"
#include "ServingWindow.h"
#include "core/modbus/Crc16.h"
#include "core/monitor/TrafficLog.h"
#include "core/settings/IniFile.h"
#include "ui/BusMonitor.h"
#include "ui/MainWindow.h"
#include "ui/PlotView.h"
#include "ui/PlotsPanel.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

using namespace vantor;
using namespace vantor::test;
using namespace vantor::bench;
using namespace std::chrono_literals;

namespace {

// `frame` with its Modbus check value appended, low byte first.
QByteArray checked(const char* hex) {
  QByteArray frame = QByteArray::fromHex(hex);
  const CheckValue check = checkValue(frame);
  return frame.append(char(check.lo)).append(char(check.hi));
}

const QByteArray kAnswered = checked("010300000001");    // 01 03 00 00 00 01 84 0A
const QByteArray kReply = checked("0103021234");         // slave 1 says 0x1234
const QByteArray kUnanswered = checked("090300000001");  // nobody simulates slave 9

constexpr std::array kPhases = {"idle",  "log at cap, filters", "plots shown",  "resizing, plots",
                                "Clear", "export 100,000 rows", "refill to cap"};
constexpr int kPhaseCount = int(kPhases.size());

struct PhaseStats {
  int polls = 0;
  int lost = 0;
  int faults = 0;  // a reply to the unanswered poll, or a wrong reply
  std::vector<double> replyMs;
};

// Reads what arrives on `fd` until `until`, or until `want` bytes are in (0: no limit).
QByteArray readUntil(int fd, Clock::time_point until, int want = 0) {
  QByteArray in;
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, int(std::max<long>(0, left))) <= 0) break;
    char buffer[256];
    const ssize_t n = ::read(fd, buffer, std::size_t(want > 0 ? want - in.size() : 256));
    if (n > 0) in.append(buffer, n);
    if (want > 0 && in.size() >= want) break;
  }
  return in;
}

// The master: every 40 ms an answered poll, timed to the last byte of its reply, and 20 ms
// later a poll nobody answers. Polls are put down to the phase running when they are sent
// (-1: none, not counted).
void master(int fd, const std::atomic<int>& phase, const std::atomic<bool>& stop,
            std::array<PhaseStats, kPhaseCount>& stats) {
  actAsADevice();
  PhaseStats ignored;
  bool resync = false;  // after a lost or wrong reply its bytes may still come: not a fault
  auto turn = Clock::now();
  while (!stop) {
    std::this_thread::sleep_until(turn);
    const QByteArray stray = readUntil(fd, Clock::now());
    const int p = phase;
    PhaseStats& s = p >= 0 ? stats[std::size_t(p)] : ignored;
    if (!stray.isEmpty() && !resync) ++s.faults;
    resync = false;

    const auto t0 = Clock::now();
    ::write(fd, kAnswered.constData(), std::size_t(kAnswered.size()));
    const QByteArray reply = readUntil(fd, t0 + 200ms, int(kReply.size()));
    const auto t1 = Clock::now();
    ++s.polls;
    if (reply.size() < kReply.size()) {
      ++s.lost;
      resync = true;
    } else if (reply != kReply) {
      ++s.faults;
      resync = true;
    } else {
      s.replyMs.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
    }

    std::this_thread::sleep_until(turn + 20ms);
    ::write(fd, kUnanswered.constData(), std::size_t(kUnanswered.size()));
    // A lost reply took its turn's time: the next turn comes late rather than without the
    // silence between frames that a master keeps.
    turn = std::max(turn + 40ms, Clock::now() + 20ms);
    if (!readUntil(fd, turn).isEmpty() && !resync) ++s.faults;
  }
}

// Runs the event loop for `ms`, asleep until something happens, as a user's window does.
void runEvents(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
  loop.exec();
}

// Records `count` events into the monitor as a busy line would bring them, a few hundred at a
// time with the event loop running in between, then shows them.
void fillLog(MainWindow& window, int count) {
  const auto event = [](Direction direction, const QByteArray& bytes, EventKind kind, int slave,
                        int about, const char* detail) {
    TrafficEvent e;
    e.sincePreviousRequestMs = direction == Direction::Rx ? 20 : -1;
    e.direction = direction;
    e.bytes = bytes;
    e.kind = kind;
    e.slave = slave;
    e.about = about;
    e.detail = QString::fromLatin1(detail);
    return e;
  };
  const TrafficEvent samples[] = {
      event(Direction::Rx, kAnswered, EventKind::Answered, 1, 1, ""),
      event(Direction::Tx, kReply, EventKind::Reply, 1, 1, ""),
      event(Direction::Rx, kUnanswered, EventKind::Unanswered, 0, 0,
            "no simulated slave has address 9"),
      event(Direction::Rx, kAnswered.left(6) + "\x12\x34", EventKind::CrcError, 0, 1,
            "expected check value 84 0A"),
  };
  // In batches, as a flood of polls would come from the serving thread.
  std::vector<TrafficEvent> batch;
  for (int i = 0; i < count; ++i) {
    batch.push_back(samples[i % 4]);
    batch.back().time = QDateTime::currentDateTimeUtc();
    if (batch.size() == 5000 || i == count - 1) {
      window.monitor().record(std::move(batch));
      batch.clear();
      QCoreApplication::processEvents();
    }
  }
}

// Five minutes up to now of four fields polled every 20 ms, one poll in seven unanswered, as
// the serving window would have fed them: the plots as full as they get.
void fillPlots(PlotsPanel& plots) {
  const qint64 now = QDateTime::currentMSecsSinceEpoch();
  std::vector<PlotSample> batch;
  for (qint64 t = now - PlotStore::kSpanMs; t < now; t += 20) {
    for (int field = 1; field <= 4; ++field) {
      PlotSample poll;
      poll.series = QStringLiteral("slave %1 (field %1)").arg(field);
      poll.timeMs = t;
      poll.poll = true;
      poll.configuredMs = 20;
      batch.push_back(poll);
      PlotSample shown = poll;
      shown.poll = false;
      const bool answered = (t / 20 + field) % 7 != 0;
      shown.shown = answered ? PlotSample::Shown::Value : PlotSample::Shown::Unanswered;
      if (answered) shown.value = double((t / 20) % 500) / 10 * field;
      shown.text = answered ? QString::number(*shown.value) : QStringLiteral("no reply");
      shown.latencyMs = answered ? 0.2 + double(t % 13) / 10 : -1;
      batch.push_back(shown);
    }
    if (batch.size() >= 4000) {
      plots.take(batch);
      batch.clear();
      QCoreApplication::processEvents();
    }
  }
  plots.take(batch);
}

}  // namespace

int main(int argc, char* argv[]) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int phaseMs = argc > 1 ? std::atoi(argv[1]) : 3000;

  PtyPair line(true);
  QTemporaryDir dir;
  IniFile ini(dir.path());
  chooseLine(ini, line.devicePath(), "1602");
  storeTwoLineSlave(ini);

  RecordingDialogs dialogs;
  MainWindow window(ini, dialogs);
  if (!connectServing(window, dialogs)) return 1;
  auto* kinds = window.findChild<QComboBox*>("cboLogKind");
  auto* slaves = window.findChild<QComboBox*>("cboLogSlave");
  auto* views = window.findChild<QTabWidget*>("tabsTraffic");
  auto* plots = window.findChild<PlotsPanel*>("fPlots");
  TrafficLog& log = window.monitor().log();

  std::array<PhaseStats, kPhaseCount> stats;
  std::atomic<int> phase{-1};
  std::atomic<bool> stop{false};
  std::atomic<bool> done{false};
  std::thread poller([&] {
    master(line.masterFd(), phase, stop, stats);
    done = true;
  });
  runEvents(500);  // warm-up, not counted

  QElapsedTimer phaseClock;
  const auto begin = [&](int p) {
    phase = p;
    phaseClock.restart();
  };
  const auto finish = [&] { runEvents(std::max(0, phaseMs - int(phaseClock.elapsed()))); };

  begin(0);
  finish();

  begin(1);
  fillLog(window, log.capacity());
  const int rowsAtCap = log.rowCount();
  const int kindOrder[] = {1, 2, 3, 4, 5, 0};
  const int slaveOrder[] = {1, 2, 3, 4, 1, 0};
  for (int i = 0; i < 6; ++i) {
    kinds->setCurrentIndex(kindOrder[i] % kinds->count());
    runEvents(200);
    slaves->setCurrentIndex(slaveOrder[i] % slaves->count());
    runEvents(200);
  }
  finish();

  begin(2);
  views->setCurrentWidget(plots);
  fillPlots(*plots);
  runEvents(PlotsPanel::kRedrawMs * 2);
  // One full draw of both plots, as the redraw timer makes it.
  QElapsedTimer drawClock;
  drawClock.start();
  for (QWidget* plot : plots->findChildren<PlotView*>()) plot->repaint();
  const double drawMs = double(drawClock.nsecsElapsed()) / 1e6;
  finish();

  begin(3);
  const QSize base = window.size();
  for (int i = 0; i < 10; ++i) {  // the last one back to where it started
    window.resize(
        i == 9 ? base : base + QSize((i % 2 ? 240 : -120) + 20 * i, (i % 3 ? 160 : -80) + 10 * i));
    runEvents(250);
  }
  finish();

  begin(4);
  views->setCurrentWidget(&window.monitor());
  window.findChild<QPushButton*>("cmdClear")->click();
  runEvents(100);
  const int rowsAfterClear = log.rowCount();
  finish();

  begin(5);
  fillLog(window, log.capacity());
  dialogs.saveAs = dir.filePath(QStringLiteral("log.csv"));
  window.findChild<QPushButton*>("cmdExport")->click();
  // The export may finish later than the click: wait for the file with the events flowing.
  QElapsedTimer exportClock;
  exportClock.start();
  while (!QFile::exists(dialogs.saveAs) && dialogs.boxes.isEmpty() && exportClock.elapsed() < 60000)
    runEvents(20);
  QFile exported(dialogs.saveAs);
  qint64 exportedLines = 0;
  if (exported.open(QIODevice::ReadOnly)) exportedLines = exported.readAll().count('\n');
  finish();

  begin(6);
  fillLog(window, log.capacity());
  finish();

  // Keep the events flowing until the master has sent its last poll.
  phase = -1;
  stop = true;
  while (!done) runEvents(20);
  poller.join();

  std::printf(
      "38400,n,8,1 on a pseudo-terminal; every 40 ms one answered and one unanswered poll; "
      "log cap %d (rows at cap: %d, after Clear: %d); exported %lld data rows%s\n",
      log.capacity(), rowsAtCap, rowsAfterClear, exportedLines > 0 ? exportedLines - 1 : 0,
      qPrintable(dialogs.boxes.isEmpty() ? QString() : " (" + dialogs.boxes[0].text + ')'));
  std::printf("plots: %zu series, a full draw of both %.1f ms (%dx%d each at most)\n",
              plots->store().series().size(), drawMs, plots->width(), plots->height());
  std::printf("%-22s %6s %5s %6s %8s %8s %8s\n", "phase", "polls", "lost", "faults", "p50 ms",
              "p99 ms", "max ms");
  bool met = true;
  for (int p = 0; p < kPhaseCount; ++p) {
    const PhaseStats& s = stats[std::size_t(p)];
    const double worst =
        s.replyMs.empty() ? 0 : *std::max_element(s.replyMs.begin(), s.replyMs.end());
    std::printf("%-22s %6d %5d %6d %8.2f %8.2f %8.2f\n", kPhases[std::size_t(p)], s.polls, s.lost,
                s.faults, percentile(s.replyMs, 50), percentile(s.replyMs, 99), worst);
    met = met && s.polls > 0 && s.lost == 0 && s.faults == 0 && worst < 5.0;
  }
  std::printf("goal (no reply lost or wrong, every reply within 5 ms, in every phase): %s\n",
              met ? "met" : "MISSED");
  return met ? 0 : 1;
}
