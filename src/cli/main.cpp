// vantor-cli: the configurator and the simulator without a window, for scripts and for bench
// computers with no desktop. It decides nothing of its own: frames, slave tables and replies
// come from the same core as the windows'.
#include "cli/CliOptions.h"
#include "config1602/Cfg1602.h"
#include "config2004/Cfg2004.h"
#include "main/PollResponder.h"
#include "main/SlaveTable.h"
#include "platform/PortMap.h"
#include "platform/SerialPort.h"
#include "settings/modINI.h"
#include "shared/modVar.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <unistd.h>

using namespace vantor;
using namespace vantor::cli;

namespace {

constexpr int kUsageExit = 2;
constexpr const char* kConfigLine = "9600,n,8,1";

int fail(const QString& message) {
  std::fprintf(stderr, "vantor-cli: %s\n", qPrintable(message));
  return 1;
}

QString hexBytes(std::span<const std::uint8_t> bytes) {
  QStringList parts;
  for (std::uint8_t b : bytes) parts << QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
  return parts.join(QLatin1Char(' '));
}

// The module as the main window reads it: exactly "1602" is the two-line module.
QString moduleOf(const CliOptions& o, const modINI& ini) {
  if (o.module) return *o.module;
  return ini.ReadINI(QStringLiteral("LCD"), QStringLiteral("Module")) == u"1602"
             ? QStringLiteral("1602")
             : QStringLiteral("2004");
}

// The frame the module's window would send right after opening on these settings.
std::variant<QByteArray, QString> frameFor(const QString& module, const modINI& ini) {
  const auto pack = [](const auto& encoded) -> std::variant<QByteArray, QString> {
    if (!encoded.frame) return encoded.refusal;
    return QByteArray(reinterpret_cast<const char*>(encoded.frame->data()),
                      qsizetype(encoded.frame->size()));
  };
  return module == u"1602" ? pack(encodeCfg1602(loadCfg1602(ini).cfg))
                           : pack(encodeCfg2004(loadCfg2004(ini).cfg));
}

// Points `port` at --device, --port or the CommPort key, as given.
void aim(SerialPort& port, const CliOptions& o, const modINI& ini) {
  if (o.device) {
    port.setDevicePath(*o.device);
  } else {
    port.setCommPort(o.port ? *o.port
                            : ini.ReadINI(QStringLiteral("Settings"), QStringLiteral("CommPort"))
                                  .trimmed()
                                  .toInt());
  }
}

int runFrame(const CliOptions& o, const modINI& ini) {
  const auto frame = frameFor(moduleOf(o, ini), ini);
  if (const auto* refusal = std::get_if<QString>(&frame)) return fail(*refusal);
  const QByteArray& bytes = std::get<QByteArray>(frame);
  std::printf("%s\n", qPrintable(hexBytes({reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                           std::size_t(bytes.size())})));
  return 0;
}

int runSend(const CliOptions& o, const modINI& ini) {
  const auto frame = frameFor(moduleOf(o, ini), ini);
  if (const auto* refusal = std::get_if<QString>(&frame)) return fail(*refusal);
  SerialPort port([&ini](int n) { return devicePathForPort(ini, n); });
  aim(port, o, ini);
  port.setSettings(QLatin1String(kConfigLine));
  QString error;
  if (!port.open(&error)) return fail(error);
  const QByteArray& bytes = std::get<QByteArray>(frame);
  port.output(bytes);
  port.close();  // returns once the frame has left
  std::printf("Sent %lld bytes to %s at %s.\n", static_cast<long long>(bytes.size()),
              qPrintable(port.deviceName()), kConfigLine);
  return 0;
}

int signalPipe[2] = {-1, -1};

void onSignal(int) {
  const char byte = 0;
  [[maybe_unused]] const auto n = ::write(signalPipe[1], &byte, 1);
}

int runSimulate(const CliOptions& o, const modINI& ini) {
  std::map<int, quint32> values;
  for (const auto& [slave, text] : o.values) {
    const auto value = parseValue(text);
    if (slave < 1 || slave > kSlaveCount || !value)
      return fail(QStringLiteral("--value %1=%2: give a slave 1 to 4 and a number").arg(slave).arg(text));
    values[slave] = *value;
  }

  SerialPort port([&ini](int n) { return devicePathForPort(ini, n); });
  aim(port, o, ini);
  port.setSettings(o.setting ? *o.setting
                             : ini.ReadINI(QStringLiteral("Settings"), QStringLiteral("Setting")));
  port.setRThreshold(8);
  QString error;
  if (!port.open(&error)) return fail(error);

  modVar vars;
  const QString module = moduleOf(o, ini);
  const SlaveTableLoad load =
      module == u"1602" ? LoadSlaveTable1602(ini, vars) : LoadSlaveTable2004(ini, vars);
  if (load.error) return fail(*load.error);
  for (const auto& [slave, value] : values) {
    const quint32 limit = vars.slaveReq(slave).bytes[5] == 2 ? 0xFFFFF : 0xFFFF;
    if (value > limit)
      return fail(QStringLiteral("--value %1=%2: slave %1 answers at most 0x%3")
                      .arg(slave)
                      .arg(o.values.at(slave))
                      .arg(limit, 0, 16)
                      .toUpper()
                      .replace(QStringLiteral("0X"), QStringLiteral("0x")));
  }

  PollResponder responder(vars, [&values](int slave, int element) -> std::optional<std::uint8_t> {
    const auto it = values.find(slave);
    const quint32 v = it == values.end() ? 0 : it->second;
    return std::uint8_t((v >> (8 * element)) & (element == 2 ? 0x0F : 0xFF));
  });

  int events = 0;
  int exitCode = 0;
  QObject::connect(&port, &SerialPort::received, [&] {
    const QByteArray reply = responder.HandleCommEvent(port.input());
    port.output(reply);
    const auto& shown = responder.display();
    const QString tx = shown.txData.trimmed();
    std::printf("RX %s | %s | TX%s\n", qPrintable(shown.rxData.trimmed()),
                qPrintable(shown.status), qPrintable(tx.isEmpty() ? tx : u' ' + tx));
    std::fflush(stdout);
    if (o.count && ++events >= *o.count) QCoreApplication::quit();
  });
  QObject::connect(&port, &SerialPort::lost, [&](const QString& reason) {
    exitCode = fail(reason);
    QCoreApplication::quit();
  });

  if (::pipe(signalPipe) != 0) return fail(QStringLiteral("cannot watch for signals"));
  QSocketNotifier stop(signalPipe[0], QSocketNotifier::Read);
  QObject::connect(&stop, &QSocketNotifier::activated, [] { QCoreApplication::quit(); });
  std::signal(SIGINT, onSignal);
  std::signal(SIGTERM, onSignal);

  std::fprintf(stderr, "Simulating the %s module's slaves on %s at %s; Ctrl+C stops.\n",
               qPrintable(module), qPrintable(port.deviceName()), qPrintable(port.settings()));
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

  const modINI ini = options->ini ? modINI::forFile(*options->ini) : modINI();
  if (options->command == u"frame") return runFrame(*options, ini);
  if (options->command == u"send") return runSend(*options, ini);
  return runSimulate(*options, ini);
}
