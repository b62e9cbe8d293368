#pragma once

// What the commands of vantor-cli share: messages on standard error, the module, port and line
// settings as the options and the settings file give them, the log file, and Ctrl+C.

#include "cli/AsyncWriter.h"
#include "cli/CliOptions.h"
#include "core/modbus/LineSettings.h"
#include "core/monitor/LogExport.h"
#include "core/settings/IniFile.h"
#include "serial/PortThread.h"

#include <QSocketNotifier>
#include <QString>

#include <functional>
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

// Opens the --log file of `o` first (a log that cannot be written keeps the port free), then
// the port of `o` at `settings` with `open` (a PortThread method that starts a job); events
// come in batches of 20 ms, so that a reader of the terminal sees each at once. The port's
// name, or nothing with the message said (and the log closed) when either cannot be opened.
std::optional<QString> openRun(PortThread& port, const CliOptions& o, const IniFile& ini,
                               const LineSettings& settings, std::optional<LogFile>& log,
                               const std::function<OpenResult(const ServeLine&)>& open);

// A reader that went away or a file-size limit is a failed write to report, not a reason for a
// run on a port to die.
void keepGoingOnFailedWrites();

// Ctrl+C and SIGTERM (on Windows also Ctrl+Break and the console closing), whatever the program
// is doing. While a port is served or heard, the event loop stops it in order: the first signal
// asks the loop to quit, and the run closes its port and prints what it counted, within a
// second. Anywhere else (waiting for the settings file's lock, opening a port, a frame leaving,
// decode reading an input that never ends) nothing is left half done by ending at once (a save
// replaces the file in one step), so the program ends there and then, with exit status 1 and a
// line on standard error saying what it was doing. A second signal always ends it at once.
class StopOnSignal {
 public:
  // Installs the handlers; false when they cannot be. From the start of main(), so that no
  // state is left to the signals' default, which ends the program without a word.
  static bool install();
  // What the program does from here on, in words that follow "stopped by SIGTERM while ".
  static void doing(const QString& what);
  static QString doingNow();
  // Whether a stop was asked for.
  static bool asked();

  // While one lives, the first signal ends every event loop of the main thread (and any loop
  // started after it: quit() would end only QCoreApplication::exec()'s), and a second ends the
  // program saying it stopped while `stopping`.
  class Orderly {
   public:
    explicit Orderly(const QString& stopping);
    ~Orderly();
    Orderly(const Orderly&) = delete;
    Orderly& operator=(const Orderly&) = delete;

   private:
    QString before_;
    std::unique_ptr<QSocketNotifier> notifier_;
  };
};

}  // namespace vantor::cli
