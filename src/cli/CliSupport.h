#pragma once

// What the commands of vantor-cli share: messages on standard error, the module, port and line
// settings as the options and the settings file give them, the log file, and Ctrl+C.

#include "cli/AsyncWriter.h"
#include "cli/CliOptions.h"
#include "core/modbus/LineSettings.h"
#include "core/monitor/LogExport.h"
#include "core/settings/IniFile.h"
#include "serial/PollServer.h"

#include <QSocketNotifier>
#include <QString>

#include <csignal>
#include <memory>
#include <optional>

namespace vantor::cli {

// One line on standard error, after "vantor-cli: "; always 1, the exit code of a failure.
int fail(const QString& message);

// The module as the main window reads it: --module, or exactly "1602" in the file is the
// two-line module.
QString moduleOf(const CliOptions& o, const IniFile& ini);

// The port number of --port, or else of the CommPort key.
int portNumberOf(const CliOptions& o, const IniFile& ini);

// The line settings of --setting, or else of the Setting key; nothing, with the message said,
// when they are not usable.
std::optional<LineSettings> checkedLineSettings(const CliOptions& o, const IniFile& ini);

// Opens the --log file without waiting for anything (a named pipe nobody reads is refused at
// once); -1 with a message said when it cannot.
int openLog(const QString& path);

// The --log file, opened before the port is.
struct LogFile {
  QString path;
  LogFormat format;
  int fd;
};
// The --log of `o` opened, or nothing when there is none; false, with the message said, when
// it cannot be.
bool openLogOption(const CliOptions& o, std::optional<LogFile>& log);

// What a run on a port prints and logs: standard output and the --log file, each written from a
// thread of its own, so that nothing printed or logged holds up the port's thread; a reader
// that falls behind loses lines, not polls.
class RunOutput {
 public:
  explicit RunOutput(std::optional<LogFile> log);
  void print(QString line, const QDateTime& time, bool stamped);
  void log(const TrafficEvent& event);
  // Within ~0.6 s: what waits goes out, the log is closed, and what was dropped is said. False
  // when standard output or the log could not be written.
  bool finish();

 private:
  std::optional<LogFile> log_;
  AsyncWriter out_;
  std::optional<AsyncWriter> logWriter_;
};

// The port of --device, --port or the CommPort key, at `settings`.
ServeLine serveLine(const CliOptions& o, const IniFile& ini, const LineSettings& settings);

// Watches for Ctrl+C and SIGTERM: the first stops the simulator in an orderly way, within a
// second; a second one, should that ever hang, ends the program at once. Watched from the
// start, so that a stop asked for while the port opens is a clean one.
class StopOnSignal {
 public:
  // False when the signals cannot be watched.
  bool watch();
  // Whether a stop was asked for.
  static bool asked() { return asked_ != 0; }

 private:
  static void onSignal(int);

  static inline int pipe_[2] = {-1, -1};
  static inline volatile std::sig_atomic_t asked_ = 0;
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace vantor::cli
