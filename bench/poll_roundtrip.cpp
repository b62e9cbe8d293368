// Poll round trip: a libmodbus master polls, over one pseudo-terminal pair, (a) the main window's
// simulator (offscreen) and then (b) libmodbus's own RTU server, and prints polls per second
// and the p50/p99 round trip of each.
#include "ModbusMaster.h"
#include "PtyPair.h"
#include "RecordingDialogs.h"
#include "ui/MainWindow.h"
#include "core/settings/IniFile.h"


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

struct Result {
  double pollsPerSecond = 0;
  double p50us = 0;
  double p99us = 0;
  int failures = 0;
};

// Polls slave 1, holding register 0, `polls` times; returns the round trips.
Result pollFrom(int fd, int polls) {
  ModbusMaster master(fd, 1000);
  std::vector<double> rtt;
  rtt.reserve(std::size_t(polls));
  Result r;
  const auto start = Clock::now();
  for (int i = 0; i < polls; ++i) {
    const auto t0 = Clock::now();
    const auto regs = master.read(3, 1, 0, 1);
    const auto t1 = Clock::now();
    if (!regs || (*regs)[0] != 0x1234) {
      ++r.failures;
      continue;
    }
    rtt.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  r.pollsPerSecond = double(polls - r.failures) / seconds;
  std::sort(rtt.begin(), rtt.end());
  if (!rtt.empty()) {
    r.p50us = rtt[rtt.size() / 2];
    r.p99us = rtt[std::min(rtt.size() - 1, rtt.size() * 99 / 100)];
  }
  return r;
}

void print(const char* name, const Result& r) {
  std::printf("%-26s %9.0f polls/s   p50 %7.1f us   p99 %7.1f us   failed %d\n", name,
              r.pollsPerSecond, r.p50us, r.p99us, r.failures);
}

}  // namespace

int main(int argc, char* argv[]) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int polls = argc > 1 ? std::atoi(argv[1]) : 5000;

  PtyPair pty(true);
  QTemporaryDir dir;
  IniFile ini(dir.path());
  ini.write("Ports", "1", pty.devicePath());
  ini.write("Settings", "CommPort", "1");
  ini.write("Settings", "Setting", "38400,n,8,1");
  ini.write("LCD", "Module", "1602");
  for (auto [key, value] : {std::pair{"Saddr", "1"}, {"RHigh", "0"}, {"RLow", "0"},
                            {"Fcode", "3"}, {"DT", "0"}})
    ini.write("Cfg1602", key, value);

  // (a) The simulator, as a user would have it: connected, values picked.
  Result ours;
  {
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
    serve([&] { return pollFrom(pty.masterFd(), 200); });  // warm-up
    ours = serve([&] { return pollFrom(pty.masterFd(), polls); });
    window.findChild<QPushButton*>("cmdConnect")->click();
  }

  // (b) libmodbus's own RTU server on the same device.
  Result theirs;
  {
    modbus_t* server = modbus_new_rtu(qPrintable(pty.devicePath()), 38400, 'N', 8, 1);
    modbus_mapping_t* map = modbus_mapping_new(0, 0, 16, 16);
    map->tab_registers[0] = 0x1234;
    modbus_set_slave(server, 1);
    if (modbus_connect(server) != 0) {
      std::fprintf(stderr, "libmodbus server: %s\n", modbus_strerror(errno));
      return 1;
    }
    modbus_set_indication_timeout(server, 0, 100000);
    std::atomic<bool> stop{false};
    std::thread serverThread([&] {
      uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
      while (!stop) {
        const int n = modbus_receive(server, query);
        if (n > 0) modbus_reply(server, query, n, map);
      }
    });
    pollFrom(pty.masterFd(), 200);
    theirs = pollFrom(pty.masterFd(), polls);
    stop = true;
    serverThread.join();
    modbus_close(server);
    modbus_mapping_free(map);
    modbus_free(server);
  }

  std::printf("%d polls each, 38400 baud, on a pseudo-terminal\n", polls);
  print("Vantor simulator", ours);
  print("libmodbus RTU server", theirs);
  std::printf("ratio of polls per second (Vantor / libmodbus): %.2f\n",
              theirs.pollsPerSecond > 0 ? ours.pollsPerSecond / theirs.pollsPerSecond : 0.0);
  return ours.failures + theirs.failures == 0 ? 0 : 1;
}
