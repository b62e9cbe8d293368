// Replayed delays: vantor-cli simulate answers a raw master with a random delay (10 to 300 ms)
// and records the session with --log; vantor-cli replay --as slaves then answers the same
// requests from the recording. The master times each reply from its request written to the
// reply's first byte read, on a pseudo-terminal pair. Prints how far each replayed delay is from
// the recorded one; the goal is every one within 10% at speed 1, or within the recording's
// resolution of 1 ms.
#include "PtyPair.h"
#include "core/modbus/Crc16.h"
#include "core/replay/Recording.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <optional>
#include <vector>

#include <poll.h>
#include <sched.h>
#include <unistd.h>

using namespace vantor;
using namespace vantor::test;

namespace {

using Clock = std::chrono::steady_clock;

// Milliseconds from `request` written to the first byte of its reply; nothing within a second.
std::optional<double> timedReply(int fd, const QByteArray& request) {
  if (::write(fd, request.constData(), std::size_t(request.size())) != request.size())
    return std::nullopt;
  const Clock::time_point sent = Clock::now();
  pollfd p{fd, POLLIN, 0};
  if (::poll(&p, 1, 1000) != 1) return std::nullopt;
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - sent).count();
  QThread::msleep(20);  // the rest of the reply
  char rest[256];
  while (::poll(&p, 1, 0) == 1 && ::read(fd, rest, sizeof rest) > 0) {
  }
  return ms;
}

// Runs vantor-cli with `args` on a fresh line and times `polls` replies to `request`.
std::vector<std::optional<double>> session(QStringList args, const QByteArray& request, int polls) {
  PtyPair line;
  QProcess cli;
  cli.setStandardOutputFile(QProcess::nullDevice());
  cli.setReadChannel(QProcess::StandardError);
  cli.start(QCoreApplication::applicationDirPath() + QStringLiteral("/../vantor-cli"),
            args << QStringLiteral("--device") << line.devicePath());
  std::vector<std::optional<double>> delays;
  if (!cli.waitForReadyRead(10000)) return delays;  // it says when its port is open
  for (int i = 0; i < polls; ++i) {
    delays.push_back(timedReply(line.masterFd(), request));
    QThread::msleep(100);
  }
  cli.terminate();
  cli.waitForFinished(5000);
  return delays;
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  // The master times replies: where the system allows, it is not kept waiting by other work
  // either, as the port's thread is not.
  sched_param param{};
  param.sched_priority = sched_get_priority_min(SCHED_FIFO);
  sched_setscheduler(0, SCHED_FIFO, &param);
  const int polls = argc > 1 ? std::atoi(argv[1]) : 40;
  QTemporaryDir dir;
  const QString ini = dir.filePath(QStringLiteral("modlcd.ini"));
  QFile file(ini);
  if (!file.open(QIODevice::WriteOnly)) return 1;
  file.write("[Settings]\nAF=1\n[Cfg2004]\nCSet=9600,n,8,1\nSaddr1=3\nRLow1=2\n");
  file.close();
  const QString recording = dir.filePath(QStringLiteral("site.jsonl"));
  const QByteArray request = withCheckValue(QByteArray::fromHex("030300020001"));
  const QStringList common{"--module", "2004", "--ini", ini, "--setting", "9600,n,8,1"};

  const auto site = session(
      QStringList{"simulate", "--value", "1=1234", "--delay", "1=10-300", "--log", recording} +
          common,
      request, polls);
  const RecordingRead read = readRecording(recording);
  if (!read.recording) {
    std::fprintf(stderr, "%s\n", qPrintable(read.refusal));
    return 1;
  }
  const QString replayed = dir.filePath(QStringLiteral("bench.jsonl"));
  const auto bench =
      session(QStringList{"replay", recording, "--as", "slaves", "--log", replayed} + common,
              request, polls);
  // As the replay logged them (to the millisecond): late there is the port's thread's doing,
  // late only at the master is the line's (a pseudo-terminal's bytes are passed on by the
  // kernel's worker threads, which a busy machine can hold up).
  const RecordingRead own = readRecording(replayed);

  std::vector<double> errors;  // replayed minus recorded, ms
  double worst = 0;            // the largest error as a share of its delay
  int missed = 0;              // beyond 10% and 1 ms
  int missedOwn = 0;           // the same, as the replay logged them
  const auto& recorded = read.recording->exchanges;
  for (std::size_t i = 0; i < recorded.size() && i < bench.size(); ++i) {
    if (!recorded[i].reply || !bench[i]) continue;
    const double error = *bench[i] - double(recorded[i].delayMs);
    errors.push_back(error);
    const double delay = std::max<double>(double(recorded[i].delayMs), 1);
    worst = std::max(worst, std::abs(error) / delay);
    if (std::abs(error) > std::max(0.1 * delay, 1.0)) ++missed;
    if (own.recording && i < own.recording->exchanges.size() &&
        std::abs(double(own.recording->exchanges[i].delayMs - recorded[i].delayMs)) >
            std::max(0.1 * delay, 1.0))
      ++missedOwn;
  }
  std::sort(errors.begin(), errors.end());
  const bool all =
      !errors.empty() && errors.size() == std::size_t(polls) && site.size() == bench.size();
  std::printf(
      "%zu of %d replies replayed; replayed minus recorded delay: min %+.2f ms, median "
      "%+.2f ms, max %+.2f ms; the worst %.1f%% of its delay\n",
      errors.size(), polls, errors.empty() ? 0 : errors.front(),
      errors.empty() ? 0 : errors[errors.size() / 2], errors.empty() ? 0 : errors.back(),
      worst * 100);
  std::printf("beyond 10%% and 1 ms: %d as the master timed them, %d as the replay logged them\n",
              missed, missedOwn);
  const bool met = all && missed == 0;
  std::printf("goal (every delay within 10%% or 1 ms): %s\n", met ? "met" : "MISSED");
  return met ? 0 : 1;
}
