// How long the configuration windows take to open: port opened on a pseudo-terminal, lists
// cleared and refilled (about 2,000 entries on the two-line window, 7,400 on the four-line
// one), the saved section restored, the window shown and painted, offscreen. Every opening is
// followed by a close answered with No. Prints the cold first opening and the median and
// maximum of the others, in milliseconds; exits with 2 when a window missed its goal.
#include "PtyPair.h"
#include "RecordingDialogs.h"
#include "core/config/Config1602.h"
#include "core/config/Config2004.h"
#include "core/settings/IniFile.h"
#include "serial/SerialPort.h"
#include "ui/config/Config1602Window.h"
#include "ui/config/Config2004Window.h"

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
bool measure(const char* title, double goalMs, int openings, IniFile& ini) {
  RecordingDialogs dialogs;
  Window window(ini, dialogs);

  std::vector<double> ms;
  for (int i = 0; i < openings; ++i) {
    const auto t0 = Clock::now();
    window.showWindow(1);
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
  IniFile ini(dir.path());
  ini.write("Ports", "1", pty.devicePath());

  // Saved configurations with every list chosen, so that nothing falls back to defaults.
  Config1602 two = loadConfig1602(ini).cfg;
  two.line = {9600, 0};
  Config2004 four = loadConfig2004(ini).cfg;
  four.line = {9600, 0};
  four.activeFields = 4;
  QString error;
  if (!saveConfig1602(ini, two, &error) || !saveConfig2004(ini, four, &error)) {
    std::fprintf(stderr, "%s\n", qPrintable(error));
    return 1;
  }

  std::printf("%d openings each, on a pseudo-terminal, offscreen\n", openings);
  const bool fast = measure<Config1602Window>("Configure KV-216/KV-216L", 50.0, openings, ini) &
                    measure<Config2004Window>("Configure KV-420", 100.0, openings, ini);
  return fast ? 0 : 2;
}
