// Poll round trip: a libmodbus master polls the main window's simulator (offscreen) and
// libmodbus's own RTU server, each on a pseudo-terminal pair of its own, in alternating blocks
// so that a machine busy with something else weighs on both alike. Prints the median of the
// per-block ratios of polls per second and the p50/p99 round trip of each.
#include "PtyPair.h"
#include "RecordingDialogs.h"
#include "RoundTrip.h"
#include "ServingWindow.h"
#include "core/settings/IniFile.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTemporaryDir>

#include <cstdio>
#include <vector>

using namespace vantor;
using namespace vantor::test;
using namespace vantor::bench;

int main(int argc, char* argv[]) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int blocks = argc > 1 ? std::atoi(argv[1]) : 10;
  const int polls = argc > 2 ? std::atoi(argv[2]) : 500;

  PtyPair ourLine(true);
  PtyPair theirLine(true);
  QTemporaryDir dir;
  IniFile ini(dir.path());
  chooseLine(ini, ourLine.devicePath(), "1602");
  storeTwoLineSlave(ini);

  // The simulator as a user would have it: connected, values picked.
  RecordingDialogs dialogs;
  MainWindow window(ini, dialogs);
  if (!connectServing(window, dialogs)) return 1;
  ReferenceServer reference(theirLine.devicePath());
  if (!reference.ok()) {
    std::fprintf(stderr, "libmodbus server: %s\n", modbus_strerror(errno));
    return 1;
  }

  std::printf("%d alternating blocks of %d polls, 38400 baud, pseudo-terminals\n", blocks, polls);
  const Comparison c = compare(ourLine.masterFd(), theirLine.masterFd(), blocks, polls);
  print(c);
  const bool met = c.ratio >= 1.0 && c.ourP99 < 1000 && c.failures == 0;
  std::printf("goal (ratio at least 1.0, p99 under 1 ms): %s\n", met ? "met" : "MISSED");
  return met ? 0 : 1;
}
