#pragma once

#include <QString>
#include <QStringList>

#include <map>
#include <optional>

namespace vantor::cli {

// The command line of vantor-cli, taken apart but not yet checked against any settings.
struct CliOptions {
  // "frame", "send", "simulate", "preview", "listen", "poll", "replay" or "decode"; empty with
  // a bare --help
  QString command;
  bool help = false;
  std::optional<QString> module;  // "1602" or "2004"
  std::optional<QString> ini;
  std::optional<QString> input;  // decode's FILE (standard input without); replay's FILE
  std::optional<int> port;
  std::optional<QString> device;
  std::optional<QString> setting;
  std::map<int, QString> values;  // slave -> value text as given
  // Bench controls, slave -> text as given (a slave that is no number is 0).
  std::map<int, QString> faults;   // --fault SLAVE=KIND[/N]
  std::map<int, QString> delays;   // --delay SLAVE=MS or MIN-MAX
  std::map<int, QString> typed;    // --typed SLAVE=TEXT
  std::map<int, QString> ramps;    // --ramp SLAVE=FROM:TO:STEP
  std::map<int, QString> randoms;  // --random SLAVE=MIN:MAX
  // A bench scenario to serve; the options above override it for the slave they name.
  std::optional<QString> bench;  // --bench FILE
  std::optional<int> count;
  std::optional<QString> log;  // --log FILE
  bool timestamps = false;
  bool keepEcho = false;
  bool scan = false;                // listen --scan
  bool display = false;             // --display: the module's display rows (listen: as heard)
  std::optional<double> seconds;    // --seconds S: how long a scan listens at each setting
  bool answerAll = false;           // --answer-all
  QStringList registers;            // --register SLAVE:FC:REGISTER=VALUE, as given
  std::optional<int> intervalMs;    // poll --interval MS
  std::optional<int> timeoutMs;     // poll --timeout MS
  std::optional<QString> replayAs;  // replay --as slaves|master
  std::optional<double> speed;      // replay --speed X
  bool loop = false;                // replay --loop
};

// Parses `args` (without the program name). On a usage error returns nothing and says why
// in `error`.
std::optional<CliOptions> parseCliOptions(const QStringList& args, QString* error);

// Usage text: the whole tool, or one command.
QString usageText(const QString& command = {});

}  // namespace vantor::cli
