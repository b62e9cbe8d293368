// How long the configuration windows take to open: port opened on a pseudo-terminal, lists
// cleared and refilled (about 2,000 entries on the two-line window, 7,400 on the four-line
// one), the saved section restored, the window shown and painted, offscreen. Every opening is
// followed by a close answered with No. Prints the cold first opening and the median and
// maximum of the others, in milliseconds; exits with 2 when a window missed its goal.
#include "PtyPair.h"
#include "RecordingDialogs.h"
#include "config1602/Cfg1602.h"
#include "config1602/frmCfg1602.h"
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

// Opens and closes `Window` on a saved configuration; false when it missed `goalMs` or failed.
template <typename Window>
bool measure(const char* title, double goalMs, int openings, modINI& ini) {
  modVar vars;
  vars.gCommPort = QStringLiteral("1");
  RecordingDialogs dialogs;
  Window window(vars, ini, dialogs);

  std::vector<double> ms;
  for (int i = 0; i < openings; ++i) {
    const auto t0 = Clock::now();
    window.showWindow();
    QCoreApplication::processEvents();
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    if (!window.port().isOpen() || !dialogs.boxes.isEmpty()) {
      std::fprintf(stderr, "%s: opening %d failed\n", title, i + 1);
      return false;
    }
    dialogs.answers = {false};
    window.close();
    dialogs.boxes.clear();
  }

  std::vector<double> rest(ms.begin() + 1, ms.end());
  std::sort(rest.begin(), rest.end());
  std::printf("%-26s first %6.2f ms   median %6.2f ms   max %6.2f ms   (goal: under %.0f ms)\n",
              title, ms.front(), rest[rest.size() / 2], rest.back(), goalMs);
  return std::max(ms.front(), rest.back()) < goalMs;
}

}  // namespace

int main(int argc, char* argv[]) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int openings = argc > 1 ? std::max(2, std::atoi(argv[1])) : 30;

  PtyPair pty(true);
  QTemporaryDir dir;
  modINI ini(dir.path());
  ini.WriteINI("Ports", "1", pty.devicePath());

  // Saved configurations with every list chosen, so that nothing falls back to defaults.
  Cfg1602 two = loadCfg1602(ini).cfg;
  two.cboBaud = two.cboDF1 = 0;
  Cfg2004 four = loadCfg2004(ini).cfg;
  four.cboBaud = four.cboDF1 = 0;
  four.cboAF = 3;
  QString error;
  if (!saveCfg1602(ini, two, &error) || !saveCfg2004(ini, four, &error)) {
    std::fprintf(stderr, "%s\n", qPrintable(error));
    return 1;
  }

  std::printf("%d openings each, on a pseudo-terminal, offscreen\n", openings);
  const bool fast = measure<frmCfg1602>("Configure KV-216/KV-216L", 50.0, openings, ini) &
                    measure<frmCfg2004>("Configure KV-420", 100.0, openings, ini);
  return fast ? 0 : 2;
}
