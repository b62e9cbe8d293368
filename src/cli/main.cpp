// vantor-cli: the configurator and the simulator without a window, for scripts and for bench
// computers with no desktop. It decides nothing of its own: frames, slave tables and replies
// come from the same core as the windows'.
#include "cli/CliOptions.h"
#include "core/config/Config1602.h"
#include "core/config/Config2004.h"
#include "core/settings/IniFile.h"
#include "core/settings/Schema.h"
#include "core/simulator/Responder.h"
#include "core/simulator/SlaveTable.h"
#include "serial/PortMap.h"
#include "serial/SerialPort.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <unistd.h>

using namespace vantor;
using namespace vantor::cli;

namespace {

constexpr int kUsageExit = 2;

// One line on standard error. A settings value can hold any byte, a NUL among them: control
// characters are shown escaped rather than cutting the line short or starting a new one.
int fail(const QString& message) {
  QString shown;
  for (const QChar c : message) {
    if (c.unicode() < 0x20 || c.unicode() == 0x7F)
      shown += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
    else
      shown += c;
  }
  const QByteArray line = "vantor-cli: " + shown.toLocal8Bit() + '\n';
  std::fwrite(line.constData(), 1, std::size_t(line.size()), stderr);
  return 1;
}

QString hexBytes(const QByteArray& bytes) {
  return formatBytes(bytes).trimmed();
}

// The module as the main window reads it: exactly "1602" is the two-line module.
QString moduleOf(const CliOptions& o, const IniFile& ini) {
  if (o.module) return *o.module;
  return QLatin1String(
      ini.read(QLatin1String(ini::lcd::kSection), QLatin1String(ini::lcd::kModule)) ==
              QLatin1String(ini::lcd::kTwoLine)
          ? ini::lcd::kTwoLine
          : ini::lcd::kFourLine);
}

// The frame the module's window would send right after opening on these settings.
FrameBytes frameFor(const QString& module, const IniFile& ini) {
  return module == u"1602" ? frameBytes(encodeConfig1602(loadConfig1602(ini).cfg))
                           : frameBytes(encodeConfig2004(loadConfig2004(ini).cfg));
}

// Points `port` at --device, --port or the CommPort key, as given.
void aim(SerialPort& port, const CliOptions& o, const IniFile& ini) {
  if (o.device) {
    port.setDevicePath(*o.device);
  } else {
    port.setCommPort(o.port ? *o.port
                            : int(readNumber(ini.read(QLatin1String(ini::settings::kSection),
                                                      QLatin1String(ini::settings::kCommPort)))
                                      .value_or(0)));
  }
}

int runFrame(const CliOptions& o, const IniFile& ini) {
  const FrameBytes frame = frameFor(moduleOf(o, ini), ini);
  if (frame.bytes.isEmpty()) return fail(frame.refusal);
  std::printf("%s\n", qPrintable(hexBytes(frame.bytes)));
  return 0;
}

int runSend(const CliOptions& o, const IniFile& ini) {
  const FrameBytes frame = frameFor(moduleOf(o, ini), ini);
  if (frame.bytes.isEmpty()) return fail(frame.refusal);
  SerialPort port([&ini](int n) { return devicePathForPort(ini, n); });
  aim(port, o, ini);
  port.setLineSettings(kConfigLine);
  QString error;
  if (!port.open(&error)) return fail(error);
  const QString notice = port.settingsNotice();
  if (!notice.isEmpty()) fail(notice);
  const WriteResult written = port.writeAndDrain(frame.bytes);
  port.close();
  if (!written.ok()) return fail(QStringLiteral("%1 (to %2)").arg(written.message(), port.deviceName()));
  std::printf("Sent %lld bytes to %s at %s.\n", static_cast<long long>(frame.bytes.size()),
              qPrintable(port.deviceName()), qPrintable(formatLineSettings(kConfigLine)));
  return 0;
}

int signalPipe[2] = {-1, -1};

void onSignal(int) {
  const char byte = 0;
  [[maybe_unused]] const auto n = ::write(signalPipe[1], &byte, 1);
}

int runSimulate(const CliOptions& o, const IniFile& ini) {
  // Watched from the start, so that a stop asked for while the port opens is a clean one.
  if (::pipe(signalPipe) != 0) return fail(QStringLiteral("cannot watch for signals"));
  QSocketNotifier stop(signalPipe[0], QSocketNotifier::Read);
  QObject::connect(&stop, &QSocketNotifier::activated, [] { QCoreApplication::quit(); });
  std::signal(SIGINT, onSignal);
  std::signal(SIGTERM, onSignal);

  std::map<int, quint32> values;
  for (const auto& [slave, text] : o.values) {
    const auto value = parseValue(text);
    if (slave < 1 || slave > kSlaveCount || !value)
      return fail(QStringLiteral("--value %1=%2: give a slave 1 to 4 and a number").arg(slave).arg(text));
    values[slave] = *value;
  }

  const QString settingText =
      o.setting ? *o.setting
                : ini.read(QLatin1String(ini::settings::kSection),
                           QLatin1String(ini::settings::kLineSettings));
  const auto line = parseLineSettings(settingText);
  if (!line)
    return fail(QStringLiteral("the line settings \"%1\"%2 are not usable: give 9600, 19200 or "
                               "38400, then ,n,8,1 or ,n,8,2 or ,e,8,1 (for example 19200,e,8,1)")
                    .arg(settingText, o.setting ? QString()
                                                : QStringLiteral(" (key Setting of [Settings] in %1)")
                                                      .arg(ini.filePath())));

  SerialPort port([&ini](int n) { return devicePathForPort(ini, n); });
  aim(port, o, ini);
  port.setLineSettings(line);
  port.setRThreshold(8);
  QString error;
  if (!port.open(&error)) return fail(error);
  const QString notice = port.settingsNotice();
  if (!notice.isEmpty()) fail(notice);

  const QString module = moduleOf(o, ini);
  const SlaveTableLoad load = module == u"1602" ? loadSlaveTable1602(ini) : loadSlaveTable2004(ini);
  // A file that does not say everything is served as the module would read it after a send
  // of the same file: with first-use defaults. Say so, and answer.
  if (!load.notice.isEmpty()) fail(load.notice);
  const SlaveTable& table = load.table;
  for (const auto& [slave, value] : values) {
    const quint32 limit = table[std::size_t(slave - 1)].registerCount == 2 ? 0xFFFFF : 0xFFFF;
    if (value > limit)
      return fail(QStringLiteral("--value %1=%2: slave %1 answers at most 0x%3")
                      .arg(slave)
                      .arg(o.values.at(slave))
                      .arg(QString::number(limit, 16).toUpper()));
  }
  ChosenValues chosen;
  for (int slave = 1; slave <= kSlaveCount; ++slave) {
    const auto it = values.find(slave);
    const quint32 v = it == values.end() ? 0 : it->second;
    for (int e = 0; e < kValueListsPerSlave; ++e)
      chosen[std::size_t(slave - 1)][std::size_t(e)] =
          std::uint8_t((v >> (8 * e)) & (e == 2 ? 0x0F : 0xFF));
  }

  int events = 0;
  int exitCode = 0;
  QObject::connect(&port, &SerialPort::received, [&] {
    const Response response = respond(port.input(), table, chosen);
    if (response.verdict == Verdict::Fragment) return;
    const WriteResult written = port.write(response.reply);
    if (!written.ok()) fail(QStringLiteral("The reply was not sent. %1").arg(written.message()));
    const QString tx = hexBytes(response.reply.first(written.written));
    std::printf("RX %s | %s | TX%s\n", qPrintable(hexBytes(response.request)),
                qPrintable(statusText(response.verdict)), qPrintable(tx.isEmpty() ? tx : u' ' + tx));
    std::fflush(stdout);
    if (o.count && ++events >= *o.count) QCoreApplication::quit();
  });
  QObject::connect(&port, &SerialPort::lost, [&](const QString& reason) {
    exitCode = fail(reason);
    QCoreApplication::quit();
  });


  std::fprintf(stderr, "Simulating the %s module's slaves on %s at %s; Ctrl+C stops.\n",
               qPrintable(module), qPrintable(port.deviceName()), qPrintable(formatLineSettings(*line)));
  QCoreApplication::exec();
  port.close();
  return exitCode;
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("vantor"));

  QString error;
  const auto options = parseCliOptions(app.arguments().mid(1), &error);
  if (!options) {
    std::fprintf(stderr, "vantor-cli: %s\n%s", qPrintable(error), qPrintable(usageText()));
    return kUsageExit;
  }
  if (options->help) {
    std::printf("%s", qPrintable(usageText(options->command)));
    return 0;
  }

  // A file named on the command line must be there; the one beside the program is created
  // by the first save, so its absence means first use.
  const IniFile ini = options->ini ? IniFile::forFile(*options->ini, true) : IniFile();
  if (const QString unreadable = ini.snapshot().error(); !unreadable.isEmpty())
    return fail(unreadable);
  if (options->command == u"frame") return runFrame(*options, ini);
  if (options->command == u"send") return runSend(*options, ini);
  return runSimulate(*options, ini);
}
