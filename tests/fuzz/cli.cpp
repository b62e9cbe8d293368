// vantor-cli's option parser on arbitrary argument lists (the input's bytes, split at NUL):
// - what is refused says why;
// - what is taken, written out again as options (each --option=VALUE, then each --option VALUE)
//   and parsed, gives the same options.

#include "Require.h"

#include "cli/CliOptions.h"

#include <map>
#include <utility>

using namespace vantor;
using fuzz::require;

namespace {

// Every option `o` holds, written as a command line; `apart` gives each value an argument of
// its own.
QStringList commandLine(const cli::CliOptions& o, bool apart) {
  QStringList args;
  if (!o.command.isEmpty()) args << o.command;
  if (o.help) args << QStringLiteral("--help");
  const auto option = [&](const char* name, const std::optional<QString>& value) {
    if (!value) return;
    if (apart)
      args << QLatin1String(name) << *value;
    else
      args << QLatin1String(name) + u'=' + *value;
  };
  const auto number = [](auto n) { return std::optional<QString>(QString::number(n)); };
  const auto bySlave = [&](const char* name, const std::map<int, QString>& values) {
    for (const auto& [slave, text] : values) option(name, QString::number(slave) + u'=' + text);
  };
  option("--module", o.module);
  option("--ini", o.ini);
  if (o.port) option("--port", number(*o.port));
  option("--device", o.device);
  option("--setting", o.setting);
  bySlave("--value", o.values);
  bySlave("--fault", o.faults);
  bySlave("--delay", o.delays);
  bySlave("--typed", o.typed);
  bySlave("--ramp", o.ramps);
  bySlave("--random", o.randoms);
  option("--bench", o.bench);
  if (o.count) option("--count", number(*o.count));
  option("--log", o.log);
  if (o.seconds) option("--seconds", QString::number(*o.seconds, 'g', 17));
  if (o.intervalMs) option("--interval", number(*o.intervalMs));
  if (o.timeoutMs) option("--timeout", number(*o.timeoutMs));
  option("--as", o.replayAs);
  if (o.speed) option("--speed", QString::number(*o.speed, 'g', 17));
  for (const QString& r : o.registers) option("--register", r);
  for (const auto& [flag, on] : {std::pair{"--timestamps", o.timestamps},
                                 {"--keep-echo", o.keepEcho},
                                 {"--scan", o.scan},
                                 {"--display", o.display},
                                 {"--answer-all", o.answerAll},
                                 {"--loop", o.loop}})
    if (on) args << QLatin1String(flag);
  if (o.input) args << *o.input;
  return args;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
  QStringList args;
  if (!bytes.isEmpty())
    for (const QByteArray& arg : bytes.split('\0')) args << QString::fromUtf8(arg);
  QString error;
  const std::optional<cli::CliOptions> options = cli::parseCliOptions(args, &error);
  if (!options) {
    require(!error.isEmpty(), "a refusal says why");
    return 0;
  }
  const QStringList line = commandLine(*options, false);
  for (const bool apart : {false, true}) {
    const std::optional<cli::CliOptions> again =
        cli::parseCliOptions(commandLine(*options, apart), &error);
    require(again && commandLine(*again, false) == line, "options written out parse the same");
  }
  return 0;
}
