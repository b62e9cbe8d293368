// Bus monitor under a flood: a master sends the main window (offscreen, bus monitor on) 10,000
// polls a second for 10 seconds, mixed answered, unanswered and bad. Measures the longest
// stalls of the window's event loop, the memory at the end against the start, and then the
// poll round trip with the full log on against libmodbus's own server in the same run.
#include "PtyPair.h"
#include "RecordingDialogs.h"
#include "RoundTrip.h"
#include "ServingWindow.h"
#include "core/modbus/Crc16.h"
#include "core/settings/IniFile.h"
#include "serial/SerialPort.h"
#include "ui/BusMonitor.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <thread>

using namespace vantor;
using namespace vantor::test;
using namespace vantor::bench;

namespace {

long residentKiB() {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return 0;
  for (const QByteArray& line : status.readAll().split('\n'))
    if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').value(0).toLong();
  return 0;
}

QByteArray request(int address, int function, bool goodCheck) {
  QByteArray r;
  r.append(char(address)).append(char(function)).append(2, '\0').append('\0').append('\1');
  const CheckValue c = checkValue(r);
  return r.append(char(c.lo)).append(char(goodCheck ? c.hi : c.hi ^ 0xFF));
}

// Writes `perSecond` requests a second for `seconds` to `fd`: 6 in 10 to slave 1, 3 in 10 to
// an address nobody simulates, 1 in 10 with a broken check value; and reads away the replies.
std::pair<int, int> flood(int fd, int perSecond, int seconds) {
  const QByteArray kinds[] = {request(1, 3, true), request(9, 3, true), request(1, 3, false)};
  const auto step = std::chrono::nanoseconds(1'000'000'000 / perSecond);
  auto next = Clock::now();
  const auto end = next + std::chrono::seconds(seconds);
  int sent = 0;
  int repliesBytes = 0;
  char buffer[4096];
  while (Clock::now() < end) {
    const int k = sent % 10;
    const QByteArray& frame = kinds[k < 6 ? 0 : k < 9 ? 1 : 2];
    if (::write(fd, frame.constData(), std::size_t(frame.size())) == frame.size()) ++sent;
    next += step;
    pollfd p{fd, POLLIN, 0};
    while (Clock::now() < next) {
      if (::poll(&p, 1, 0) > 0) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) repliesBytes += int(n);
      }
    }
  }
  return {sent, repliesBytes};
}

}  // namespace

int main(int argc, char* argv[]) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int perSecond = argc > 1 ? std::atoi(argv[1]) : 10000;
  const int seconds = argc > 2 ? std::atoi(argv[2]) : 10;

  PtyPair ourLine(true);
  PtyPair theirLine(true);
  QTemporaryDir dir;
  IniFile ini(dir.path());
  chooseLine(ini, ourLine.devicePath(), "2004");
  ini.write("Settings", "AF", "2");
  for (auto [key, value] : {std::pair{"Saddr1", "1"},
                            {"Saddr2", "2"},
                            {"RLow1", "0"},
                            {"RLow2", "0"},
                            {"Interval", "1"}})
    ini.write("Cfg2004", key, value);

  RecordingDialogs dialogs;
  MainWindow window(ini, dialogs);
  if (!connectServing(window, dialogs)) return 1;
  window.findChild<QComboBox*>("cboMReg2_0")->setCurrentIndex(0x56);
  ReferenceServer reference(theirLine.devicePath());
  QCoreApplication::processEvents();

  // The event loop's stalls: how late a 1 ms timer fires.
  std::vector<double> stalls;
  QElapsedTimer sinceTick;
  QTimer tick;
  tick.setTimerType(Qt::PreciseTimer);
  tick.setInterval(1);
  QObject::connect(&tick, &QTimer::timeout, [&] {
    if (sinceTick.isValid()) stalls.push_back(std::max(0.0, sinceTick.nsecsElapsed() / 1e6 - 1.0));
    sinceTick.restart();
  });
  tick.start();

  const long rssStart = residentKiB();
  const auto [sent, replyBytes] =
      serve([&] { return flood(ourLine.masterFd(), perSecond, seconds); });
  QCoreApplication::processEvents();
  tick.stop();
  const long rssEnd = residentKiB();

  const BusCounters& counters = window.monitor().counters();
  std::printf(
      "flood: %d requests in %d s (%d/s asked); judged %lld (%lld answered, %lld "
      "unanswered, %lld CRC errors), %d reply bytes read back\n",
      sent, seconds, perSecond, static_cast<long long>(counters.counts(0).requests),
      static_cast<long long>(counters.counts(0).replies),
      static_cast<long long>(counters.counts(0).unanswered),
      static_cast<long long>(counters.counts(0).crcErrors), replyBytes);
  std::printf("log: %d rows kept, %lld dropped (cap %d)\n", window.monitor().log().rowCount(),
              static_cast<long long>(window.monitor().log().droppedRows()),
              window.monitor().log().capacity());
  const double p99 = percentile(stalls, 99);
  const double worst = stalls.empty() ? 0 : *std::max_element(stalls.begin(), stalls.end());
  std::printf("event-loop stalls: p99 %.1f ms, max %.1f ms (%zu ticks)\n", p99, worst,
              stalls.size());
  std::printf("memory: %ld KiB at the start, %ld KiB at the end (+%ld KiB)\n", rssStart, rssEnd,
              rssEnd - rssStart);

  std::printf("round trip with the full log on, 10 alternating blocks of 500 polls:\n");
  const Comparison c = compare(ourLine.masterFd(), theirLine.masterFd(), 10, 500);
  print(c);

  // A reply held back 100 ms on slave 2 must not hold up slave 1's: slave 1's round trip with
  // a delayed reply of slave 2 pending, against slave 1's alone.
  const auto slave1Rtt = [&](bool withDelayedPoll) {
    return withEventLoop([&] {
      std::vector<double> rtt;
      const QByteArray poll2 = request(2, 3, true);
      for (int round = 0; round < 30; ++round) {
        if (withDelayedPoll) {
          ::write(ourLine.masterFd(), poll2.constData(), std::size_t(poll2.size()));
          std::this_thread::sleep_for(std::chrono::milliseconds(10));  // past the frame gap
        }
        const Block b = pollFrom(ourLine.masterFd(), 20, 1);
        rtt.insert(rtt.end(), b.rtt.begin(), b.rtt.end());
        std::this_thread::sleep_for(std::chrono::milliseconds(120));  // slave 2's reply comes
        char drain[256];
        while (::read(ourLine.masterFd(), drain, sizeof drain) > 0) {
        }
      }
      return rtt;
    });
  };
  ::fcntl(ourLine.masterFd(), F_SETFL, ::fcntl(ourLine.masterFd(), F_GETFL) | O_NONBLOCK);
  const std::vector<double> alone = slave1Rtt(false);
  window.setFault(2, Fault{FaultKind::None, 6, 100, 100, 1});
  const std::vector<double> beside = slave1Rtt(true);
  ::fcntl(ourLine.masterFd(), F_SETFL, ::fcntl(ourLine.masterFd(), F_GETFL) & ~O_NONBLOCK);
  std::printf(
      "slave 1 round trip alone: p50 %.1f us, p99 %.1f us; with slave 2's reply held "
      "back 100 ms: p50 %.1f us, p99 %.1f us (%zu polls each)\n",
      percentile(alone, 50), percentile(alone, 99), percentile(beside, 50), percentile(beside, 99),
      beside.size());

  const bool met = c.ratio >= 1.0 && worst <= 50 && c.failures == 0;
  std::printf("goal (ratio at least 1.0, no stall over 50 ms): %s\n", met ? "met" : "MISSED");
  return met ? 0 : 1;
}
