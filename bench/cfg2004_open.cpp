// How long "Configure KV-420" takes to open: port opened on a pseudo-terminal, 48 lists
// (about 7,400 entries) cleared and refilled, section Cfg2004 restored, the window shown and
// painted, offscreen. Every opening is followed by a close answered with No. Prints the cold
// first opening and the median and maximum of the others, in milliseconds; exits with 2 when
// an opening took 100 ms or more.
#include "PtyPair.h"
#include "RecordingDialogs.h"
#include "config2004/Cfg2004.h"
#include "config2004/frmCfg2004.h"
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

namespace {

constexpr double kGoalMs = 100.0;

}  // namespace

int main(int argc, char* argv[]) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int openings = argc > 1 ? std::max(2, std::atoi(argv[1])) : 30;

  PtyPair pty(true);
  QTemporaryDir dir;
  modINI ini(dir.path());
  ini.WriteINI("Ports", "1", pty.devicePath());
  // A saved configuration with all four fields active, so that nothing falls back to defaults.
  Cfg2004 saved = loadCfg2004(ini).cfg;
  saved.cboBaud = 0;
  saved.cboDF1 = 0;
  saved.cboAF = 3;
  QString error;
  if (!saveCfg2004(ini, saved, &error)) {
    std::fprintf(stderr, "%s\n", qPrintable(error));
    return 1;
  }

  modVar vars;
  vars.gCommPort = QStringLiteral("1");
  RecordingDialogs dialogs;
  frmCfg2004 window(vars, ini, dialogs);

  std::vector<double> ms;
  for (int i = 0; i < openings; ++i) {
    const auto t0 = Clock::now();
    window.showWindow();
    QCoreApplication::processEvents();
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    if (!window.port().isOpen() || !dialogs.boxes.isEmpty()) {
      std::fprintf(stderr, "opening %d failed\n", i + 1);
      return 1;
    }
    dialogs.answers = {false};
    window.close();
    dialogs.boxes.clear();
  }

  const double first = ms.front();
  std::vector<double> others(ms.begin() + 1, ms.end());
  std::sort(others.begin(), others.end());
  const double median = others[others.size() / 2];
  const double worst = others.back();
  std::printf("Configure KV-420, %d openings on a pseudo-terminal, offscreen\n", openings);
  std::printf("first %.2f ms   median %.2f ms   max %.2f ms   (goal: under %.0f ms)\n", first,
              median, worst, kGoalMs);
  return std::max(first, worst) < kGoalMs ? 0 : 2;
}
