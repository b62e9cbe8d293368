#pragma once

// What the round-trip benchmarks share: a libmodbus master timing polls, and libmodbus's own
// RTU server to compare against.

#include "ModbusMaster.h"
#include "core/settings/IniFile.h"

#include <QEventLoop>
#include <QMetaObject>
#include <QString>

#include <modbus.h>
#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <optional>
#include <thread>
#include <vector>

namespace vantor::bench {

using Clock = std::chrono::steady_clock;
using test::ModbusMaster;

struct Block {
  double pollsPerSecond = 0;
  std::vector<double> rtt;  // microseconds
  int failures = 0;
};

// Where the system allows, the calling thread stops waiting for this computer's processors: a
// master stands for a module, a device of its own, and what is timed is the server's reply.
inline void actAsADevice() {
  sched_param param{};
  param.sched_priority = sched_get_priority_min(SCHED_FIFO) + 1;
  pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
}

// Polls slave 1, holding register 0, `polls` times.
inline Block pollFrom(int fd, int polls, int slave = 1) {
  actAsADevice();
  ModbusMaster master(fd, 1000);
  Block b;
  b.rtt.reserve(std::size_t(polls));
  const auto start = Clock::now();
  for (int i = 0; i < polls; ++i) {
    const auto t0 = Clock::now();
    const auto regs = master.read(3, slave, 0, 1);
    const auto t1 = Clock::now();
    if (!regs || (*regs)[0] != 0x1234) {
      ++b.failures;
      continue;
    }
    b.rtt.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  b.pollsPerSecond = double(polls - b.failures) / seconds;
  return b;
}

inline double percentile(std::vector<double> v, int p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, v.size() * std::size_t(p) / 100)];
}

// libmodbus's RTU server answering on `device` from a thread of its own while it lives.
class ReferenceServer {
 public:
  explicit ReferenceServer(const QString& device) {
    ctx_ = modbus_new_rtu(qPrintable(device), 38400, 'N', 8, 1);
    map_ = modbus_mapping_new(0, 0, 16, 16);
    map_->tab_registers[0] = 0x1234;
    modbus_set_slave(ctx_, 1);
    ok_ = modbus_connect(ctx_) == 0;
    modbus_set_indication_timeout(ctx_, 0, 100000);
    if (ok_)
      thread_ = std::thread([this] {
        // As Vantor's serving thread does where the system allows: a like-for-like comparison.
        actAsADevice();
        uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
        while (!stop_) {
          const int n = modbus_receive(ctx_, query);
          if (n > 0) modbus_reply(ctx_, query, n, map_);
        }
      });
  }
  ~ReferenceServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    modbus_close(ctx_);
    modbus_mapping_free(map_);
    modbus_free(ctx_);
  }
  bool ok() const { return ok_; }

 private:
  modbus_t* ctx_ = nullptr;
  modbus_mapping_t* map_ = nullptr;
  std::atomic<bool> stop_{false};
  bool ok_ = false;
  std::thread thread_;
};

// The main window's choices in `ini`: port 1 is `device`, at 38400,n,8,1, serving `module`.
inline void chooseLine(IniFile& ini, const QString& device, const char* module) {
  ini.write("Ports", "1", device);
  ini.write("Settings", "CommPort", "1");
  ini.write("Settings", "Setting", "38400,n,8,1");
  ini.write("LCD", "Module", module);
}

struct Comparison {
  double ratio = 0, minRatio = 0, maxRatio = 0;  // ours / theirs, polls per second, per block
  double ourP50 = 0, ourP99 = 0, theirP50 = 0, theirP99 = 0;  // microseconds
  int failures = 0;
};

// Runs `work` on a thread of its own while this thread runs its event loop as the program
// does, asleep until something happens: a server that answers from the event loop is measured
// as it runs, not with a loop spinning beside it.
template <typename F>
auto withEventLoop(F&& work) {
  QEventLoop loop;
  std::optional<decltype(work())> result;
  std::thread worker([&] {
    result = work();
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  loop.exec();
  worker.join();
  return *result;
}

// Polls our simulator on `ourFd` and the reference server on `theirFd` in alternating blocks,
// so that whatever else the machine does weighs on both alike. Both masters run on a thread
// of their own while this thread sleeps in its event loop (which is where ours answers).
inline Comparison compare(int ourFd, int theirFd, int blocks, int polls, int slave = 1) {
  withEventLoop([&] { return pollFrom(ourFd, 200, slave); });  // warm-up
  withEventLoop([&] { return pollFrom(theirFd, 200); });
  std::vector<double> ratios, ours, theirs;
  Comparison c;
  for (int i = 0; i < blocks; ++i) {
    const Block a = withEventLoop([&] { return pollFrom(ourFd, polls, slave); });
    const Block b = withEventLoop([&] { return pollFrom(theirFd, polls); });
    ratios.push_back(b.pollsPerSecond > 0 ? a.pollsPerSecond / b.pollsPerSecond : 0);
    ours.insert(ours.end(), a.rtt.begin(), a.rtt.end());
    theirs.insert(theirs.end(), b.rtt.begin(), b.rtt.end());
    c.failures += a.failures + b.failures;
  }
  c.ratio = percentile(ratios, 50);
  c.minRatio = *std::min_element(ratios.begin(), ratios.end());
  c.maxRatio = *std::max_element(ratios.begin(), ratios.end());
  c.ourP50 = percentile(ours, 50);
  c.ourP99 = percentile(ours, 99);
  c.theirP50 = percentile(theirs, 50);
  c.theirP99 = percentile(theirs, 99);
  return c;
}

inline void print(const Comparison& c) {
  std::printf("%-22s p50 %7.1f us   p99 %7.1f us\n", "Vantor simulator", c.ourP50, c.ourP99);
  std::printf("%-22s p50 %7.1f us   p99 %7.1f us\n", "libmodbus RTU server", c.theirP50,
              c.theirP99);
  std::printf(
      "median of block ratios (Vantor / libmodbus polls per second): %.2f "
      "(min %.2f, max %.2f); failed polls %d\n",
      c.ratio, c.minRatio, c.maxRatio, c.failures);
}

}  // namespace vantor::bench
