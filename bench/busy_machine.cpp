// Frame boundaries on a busy machine: vantor-cli simulate (a process of its own, 9600,n,8,1 on
// a pseudo-terminal) judges polls while two processes keep both cores spinning. Three ways a
// master sends, 200 times each: noise, 30 ms of silence, then a poll; a poll in two pieces 1 ms
// apart (one frame: the gap is under 3.5 characters, about 4 ms); two polls 6 ms apart (two
// frames). A poll is judged as the master sent it when the right reply comes back. Prints per
// case the polls sent, judged as sent and misjudged, and what the simulator's log says the
// requests were; the goal is every poll judged as sent.
#include "PtyPair.h"
#include "core/settings/IniFile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>

#include <array>
#include <chrono>
#include <cstdio>
#include <map>
#include <thread>

using namespace vantor;
using namespace vantor::test;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

const QByteArray kPoll = QByteArray::fromHex("010300000001840A");
const QByteArray kReply = QByteArray::fromHex("0103021234B533");  // slave 1 says 0x1234
const QByteArray kNoise = QByteArray::fromHex("5555");
constexpr double kFrameGapMs = 3.5 * 11 * 1000 / 9600;  // 3.5 characters of 11 bits

struct Case {
  explicit Case(const char* caseName) : name(caseName) {}
  const char* name;
  int sent = 0;
  int judged = 0;
  int notCounted = 0;  // the master's own gap slipped past a frame gap: sent as two frames
  int notCountedAnswered = 0;
  double worstGapMs = 0;
  QDateTime from, to;  // for the simulator's log
  std::map<QString, int> logged;
};

double msSince(Clock::time_point t) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

// How many of the `expected` replies came back whole and right, each in turn.
int rightReplies(PtyPair& line, int expected) {
  const QByteArray in = line.read(int(kReply.size()) * expected, 500);
  int right = 0;
  for (int i = 0; i < expected; ++i) right += in.mid(i * kReply.size(), kReply.size()) == kReply;
  return right;
}

// A child process that keeps one core busy until it is killed (or this process dies).
pid_t spinner() {
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    volatile unsigned long turns = 0;
    for (;;) turns = turns + 1;
  }
  return pid;
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  const int repetitions = argc > 1 ? std::atoi(argv[1]) : 200;

  PtyPair line(true);
  QTemporaryDir dir;
  IniFile ini(dir.path());
  for (auto [key, value] :
       {std::pair{"Saddr", "1"}, {"RHigh", "0"}, {"RLow", "0"}, {"Fcode", "3"}, {"DT", "0"}})
    ini.write("Cfg1602", key, value);
  const QString logPath = dir.filePath(QStringLiteral("simulate.jsonl"));

  QProcess cli;
  cli.setStandardOutputFile(QProcess::nullDevice());
  cli.setReadChannel(QProcess::StandardError);
  cli.start(
      QCoreApplication::applicationDirPath() + QStringLiteral("/../vantor-cli"),
      {QStringLiteral("simulate"), QStringLiteral("--device"), line.devicePath(),
       QStringLiteral("--setting"), QStringLiteral("9600,n,8,1"), QStringLiteral("--module"),
       QStringLiteral("1602"), QStringLiteral("--ini"), ini.filePath(), QStringLiteral("--value"),
       QStringLiteral("1=0x1234"), QStringLiteral("--log"), logPath});
  QByteArray said;  // until it says it is serving
  while (!said.contains("Simulating") && cli.waitForReadyRead(10000))
    said += cli.readAllStandardError();
  if (!said.contains("Simulating")) {
    std::fprintf(stderr, "vantor-cli is not serving: %s%s\n", qPrintable(cli.errorString()),
                 (said + cli.readAllStandardError()).constData());
    return 1;
  }

  const std::array spinners = {spinner(), spinner()};
  std::this_thread::sleep_for(200ms);

  std::array<Case, 3> cases = {Case{"noise, 30 ms, poll"}, Case{"poll in two pieces, 1 ms"},
                               Case{"two polls 6 ms apart"}};
  int strayBytes = 0;
  for (std::size_t c = 0; c < cases.size(); ++c) {
    Case& k = cases[c];
    k.from = QDateTime::currentDateTime();
    for (int i = 0; i < repetitions; ++i) {
      strayBytes += int(line.read(0, 2).size());
      if (c == 0) {
        line.write(kNoise);
        std::this_thread::sleep_for(30ms);
        line.write(kPoll);
        k.sent += 1;
        k.judged += rightReplies(line, 1);
      } else if (c == 1) {
        line.write(kPoll.left(7));
        const auto t = Clock::now();
        while (Clock::now() < t + 1ms) {
          // Waiting awake keeps the gap nearer 1 ms than a sleep would on a busy machine.
        }
        const double gap = msSince(t);
        line.write(kPoll.right(1));
        k.worstGapMs = std::max(k.worstGapMs, gap);
        if (gap >= kFrameGapMs) {  // two frames as sent, whatever the simulator made of them
          ++k.notCounted;
          k.notCountedAnswered += rightReplies(line, 1);
        } else {
          k.sent += 1;
          k.judged += rightReplies(line, 1);
        }
      } else {
        line.write(kPoll);
        std::this_thread::sleep_for(6ms);
        line.write(kPoll);
        k.sent += 2;
        k.judged += rightReplies(line, 2);
      }
      std::this_thread::sleep_for(50ms);
    }
    k.to = QDateTime::currentDateTime();
  }

  for (const pid_t pid : spinners) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
  }
  ::kill(pid_t(cli.processId()), SIGINT);
  const bool stopped = cli.waitForFinished(10000);
  const QByteArray counters = cli.readAllStandardError();

  // What the simulator took each request for, from its own log, put down to the case it
  // happened in.
  QFile log(logPath);
  if (log.open(QIODevice::ReadOnly)) {
    while (!log.atEnd()) {
      const QJsonObject record = QJsonDocument::fromJson(log.readLine()).object();
      if (record.value(u"direction").toString() != u"rx") continue;
      const QDateTime time =
          QDateTime::fromString(record.value(u"time").toString(), Qt::ISODateWithMs);
      for (Case& k : cases)
        if (time >= k.from.addMSecs(-1) && time <= k.to.addMSecs(1))
          ++k.logged[record.value(u"kind").toString()];
    }
  }

  std::printf(
      "vantor-cli simulate at 9600,n,8,1 on a pseudo-terminal, both cores kept busy by two "
      "spinning processes; %d repetitions a case\n",
      repetitions);
  std::printf("%-26s %6s %7s %10s   %s\n", "case", "polls", "judged", "misjudged",
              "the simulator's log (received)");
  bool met = stopped;
  for (const Case& k : cases) {
    QString logged;
    for (const char* kind : {"answered", "unanswered", "crc-error", "fragment", "echo"})
      logged += QStringLiteral("%1 %2  ")
                    .arg(QLatin1String(kind))
                    .arg(k.logged.count(kind) ? k.logged.at(kind) : 0);
    std::printf("%-26s %6d %7d %10d   %s\n", k.name, k.sent, k.judged, k.sent - k.judged,
                qPrintable(logged.trimmed()));
    met = met && k.sent > 0 && k.judged == k.sent;
  }
  std::printf(
      "two pieces: longest gap the master left %.2f ms; %d polls not counted (a gap of %.1f ms "
      "or more: two frames as sent), %d of them answered anyway; %d stray bytes read between "
      "repetitions\n",
      cases[1].worstGapMs, cases[1].notCounted, kFrameGapMs, cases[1].notCountedAnswered,
      strayBytes);
  std::printf("vantor-cli %s:\n%s", stopped ? "stopped" : "did not stop within 10 s",
              counters.constData());
  std::printf("goal (every poll judged as the master sent it): %s\n", met ? "met" : "MISSED");
  return met ? 0 : 1;
}
