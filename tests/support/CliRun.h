#pragma once

#include <QProcess>
#include <QString>

namespace vantor::test {

// How a run of a program ended: its exit code (-1 when it crashed or had to be killed) and
// what it wrote.
struct CliRun {
  int exitCode = -1;
  QString out;
  QString err;
};

// Waits for `p` to end, up to `timeoutMs` (then kills it).
inline CliRun finished(QProcess& p, int timeoutMs = 30000) {
  if (!p.waitForFinished(timeoutMs)) p.kill();
  return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
          QString::fromUtf8(p.readAllStandardOutput()),
          QString::fromUtf8(p.readAllStandardError())};
}

}  // namespace vantor::test
