// pty-bus [ends] [--echo <end>]...: joins `ends` (default 2) pseudo-terminals as one shared
// line, prints their device paths one a line, and relays until interrupted. For trying the
// program by hand against a module stand-in, or two copies of it against each other.
#include "PtyBus.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

int main(int argc, char** argv) {
  int ends = 2;
  std::vector<int> echoes;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--echo") == 0 && i + 1 < argc) {
      echoes.push_back(std::atoi(argv[++i]));
    } else if (std::atoi(argv[i]) > 0) {
      ends = std::atoi(argv[i]);
    } else {
      std::fprintf(stderr, "usage: %s [ends] [--echo <end>]...\n", argv[0]);
      return 2;
    }
  }
  // Interrupts are taken by sigwait below, never by the relay thread.
  sigset_t stopping;
  sigemptyset(&stopping);
  sigaddset(&stopping, SIGINT);
  sigaddset(&stopping, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopping, nullptr);

  vantor::test::PtyBus bus(ends);
  for (const int end : echoes) bus.setEcho(end, true);
  if (!bus.start()) {
    std::fprintf(stderr, "pty-bus: could not open %d pseudo-terminals\n", ends);
    return 1;
  }
  for (int i = 0; i < bus.size(); ++i) std::printf("%s\n", qPrintable(bus.path(i)));
  std::fflush(stdout);
  int signal = 0;
  sigwait(&stopping, &signal);
  return 0;
}
