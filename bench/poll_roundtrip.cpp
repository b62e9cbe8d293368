// Poll round trip: a libmodbus master polls the main window's simulator (offscreen) and
// libmodbus's own RTU server, each on a pseudo-terminal pair of its own, in alternating blocks
// so that a machine busy with something else weighs on both alike. Prints the median of the
// per-block ratios of polls per second and the p50/p99 round trip of each.
#include "ModbusMaster.h"
#include "PtyPair.h"
#include "RecordingDialogs.h"
#include "core/settings/IniFile.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTemporaryDir>

#include <modbus.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

using namespace vantor;
using namespace vantor::test;
using Clock = std::chrono::steady_clock;

namespace {

struct Block {
  double pollsPerSecond = 0;
  std::vector<double> rtt;  // microseconds
  int failures = 0;
};

// Polls slave 1, holding register 0, `polls` times.
Block pollFrom(int fd, int polls) {
  ModbusMaster master(fd, 1000);
  Block b;
  b.rtt.reserve(std::size_t(polls));
  const auto start = Clock::now();
  for (int i = 0; i < polls; ++i) {
    const auto t0 = Clock::now();
    const auto regs = master.readHolding(1, 0, 1);
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

double percentile(std::vector<double> v, int p) {
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

}  // namespace

int main(int argc, char* argv[]) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int blocks = argc > 1 ? std::atoi(argv[1]) : 10;
  const int polls = argc > 2 ? std::atoi(argv[2]) : 500;

  PtyPair ourLine(true);
  PtyPair theirLine(true);
  QTemporaryDir dir;
  IniFile ini(dir.path());
  ini.write("Ports", "1", ourLine.devicePath());
  ini.write("Settings", "CommPort", "1");
  ini.write("Settings", "Setting", "38400,n,8,1");
  ini.write("LCD", "Module", "1602");
  for (auto [key, value] : {std::pair{"Saddr", "1"}, {"RHigh", "0"}, {"RLow", "0"},
                            {"Fcode", "3"}, {"DT", "0"}})
    ini.write("Cfg1602", key, value);

  // The simulator as a user would have it: connected, values picked.
  RecordingDialogs dialogs;
  MainWindow window(ini, dialogs);
  window.show();
  window.findChild<QPushButton*>("cmdConnect")->click();
  window.findChild<QComboBox*>("cboMReg1_1")->setCurrentIndex(0x12);
  window.findChild<QComboBox*>("cboMReg1_0")->setCurrentIndex(0x34);
  if (!dialogs.boxes.isEmpty()) {
    std::fprintf(stderr, "connect failed: %s\n", qPrintable(dialogs.boxes[0].detail));
    return 1;
  }
  ReferenceServer reference(theirLine.devicePath());
  if (!reference.ok()) {
    std::fprintf(stderr, "libmodbus server: %s\n", modbus_strerror(errno));
    return 1;
  }

  // Both ends serve through this thread's event loop alike, so the only difference between
  // them is the server.
  serve([&] { return pollFrom(ourLine.masterFd(), 200); });  // warm-up
  serve([&] { return pollFrom(theirLine.masterFd(), 200); });
  std::vector<double> ratios, ourRtt, theirRtt;
  int failures = 0;
  for (int i = 0; i < blocks; ++i) {
    const Block ours = serve([&] { return pollFrom(ourLine.masterFd(), polls); });
    const Block theirs = serve([&] { return pollFrom(theirLine.masterFd(), polls); });
    ratios.push_back(theirs.pollsPerSecond > 0 ? ours.pollsPerSecond / theirs.pollsPerSecond : 0);
    ourRtt.insert(ourRtt.end(), ours.rtt.begin(), ours.rtt.end());
    theirRtt.insert(theirRtt.end(), theirs.rtt.begin(), theirs.rtt.end());
    failures += ours.failures + theirs.failures;
  }

  const double ratio = percentile(ratios, 50);
  std::printf("%d alternating blocks of %d polls, 38400 baud, pseudo-terminals\n", blocks, polls);
  std::printf("%-22s p50 %7.1f us   p99 %7.1f us\n", "Vantor simulator",
              percentile(ourRtt, 50), percentile(ourRtt, 99));
  std::printf("%-22s p50 %7.1f us   p99 %7.1f us\n", "libmodbus RTU server",
              percentile(theirRtt, 50), percentile(theirRtt, 99));
  std::printf("median of block ratios (Vantor / libmodbus polls per second): %.2f "
              "(min %.2f, max %.2f); failed polls %d\n",
              ratio, *std::min_element(ratios.begin(), ratios.end()),
              *std::max_element(ratios.begin(), ratios.end()), failures);
  const bool met = ratio >= 1.0 && percentile(ourRtt, 99) < 1000 && failures == 0;
  std::printf("goal (ratio at least 1.0, p99 under 1 ms): %s\n", met ? "met" : "MISSED");
  return met ? 0 : 1;
}
