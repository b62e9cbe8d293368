// Opening time of the two-line configuration window: the whole opening sequence (port opened on
// a pseudo-terminal, twelve lists cleared and filled, settings restored) until the window has
// been shown and painted, offscreen. Each opening is followed by a close answered with No.
// Prints the first opening and the median and maximum of the rest, in milliseconds.
#include "PtyPair.h"
#include "RecordingDialogs.h"
#include "config1602/frmCfg1602.h"
#include "platform/SerialPort.h"
#include "settings/modINI.h"
#include "shared/modVar.h"

#include <QApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace vantor;
using namespace vantor::test;
using Clock = std::chrono::steady_clock;

int main(int argc, char* argv[]) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int openings = argc > 1 ? std::max(2, std::atoi(argv[1])) : 50;

  PtyPair pty(true);
  QTemporaryDir dir;
  modINI ini(dir.path());
  ini.WriteINI("Ports", "1", pty.devicePath());
  const std::pair<const char*, const char*> keys[] = {
      {"CSet", "9600,n,8,1"}, {"Interval", "10"}, {"RHigh", "0"}, {"RLow", "100"},
      {"Dwidth1", "4"},       {"SP1", "0"},       {"DP1", "1"},   {"DT", "0"},
      {"UDT1", "TEMP^"},      {"UDT2", ""},       {"Saddr", "1"}, {"Fcode", "3"}};
  for (auto [key, value] : keys) ini.WriteINI("Cfg1602", key, value);

  modVar vars;
  vars.gCommPort = QStringLiteral("1");
  RecordingDialogs dialogs;
  frmCfg1602 window(vars, ini, dialogs);

  std::vector<double> ms;
  for (int i = 0; i < openings; ++i) {
    const auto t0 = Clock::now();
    window.showWindow();
    QCoreApplication::processEvents();
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    if (!window.port().isOpen() || !dialogs.boxes.isEmpty()) {
      std::fprintf(stderr, "opening %d failed\n", i);
      return 1;
    }
    dialogs.answers = {false};
    window.close();
    dialogs.boxes.clear();
  }

  const double first = ms.front();
  std::vector<double> rest(ms.begin() + 1, ms.end());
  std::sort(rest.begin(), rest.end());
  const double median = rest[rest.size() / 2];
  const double worst = rest.back();
  std::printf("Configure KV-216/KV-216L, %d openings on a pseudo-terminal, offscreen\n", openings);
  std::printf("first %.2f ms   median %.2f ms   max %.2f ms   (goal: under 50 ms)\n", first, median,
              worst);
  return std::max(first, worst) < 50.0 ? 0 : 2;
}
