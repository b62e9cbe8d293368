#include "cli/CliSupport.h"

#include "core/io/SystemError.h"
#include "core/settings/Schema.h"
#include "serial/PortMap.h"

#include <QCoreApplication>
#include <QFile>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <deque>

#include <fcntl.h>
#include <unistd.h>

#ifdef Q_OS_WIN
#include <QMetaObject>

#include <io.h>
#include <sys/stat.h>
#endif

namespace vantor::cli {

namespace {

// `text` with control characters shown escaped: a settings value or a path can hold any byte, a
// NUL among them, which would otherwise cut a line short or start a new one.
QByteArray shown(const QString& text) {
  QString escaped;
  for (const QChar c : text) {
    if (c.unicode() < 0x20 || c.unicode() == 0x7F)
      escaped += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
    else
      escaped += c;
  }
  return escaped.toLocal8Bit();
}

}  // namespace

int fail(const QString& message) {
  const QByteArray line = "vantor-cli: " + shown(message) + '\n';
  std::fwrite(line.constData(), 1, std::size_t(line.size()), stderr);
  return 1;
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

// The port number of --port, or else of the CommPort key.
int portNumberOf(const CliOptions& o, const IniFile& ini) {
  if (o.port) return *o.port;
  return int(readNumber(ini.read(QLatin1String(ini::settings::kSection),
                                 QLatin1String(ini::settings::kCommPort)))
                 .value_or(0));
}

// The line settings of --setting, or else of the Setting key; nothing, with the message said,
// when they are not usable.
std::optional<LineSettings> checkedLineSettings(const CliOptions& o, const IniFile& ini) {
  const QString settingText = o.setting ? *o.setting
                                        : ini.read(QLatin1String(ini::settings::kSection),
                                                   QLatin1String(ini::settings::kLineSettings));
  const auto line = parseLineSettings(settingText);
  if (!line)
    fail(QStringLiteral("the line settings \"%1\"%2 are not usable: give 9600, 19200 or "
                        "38400, then ,n,8,1 or ,n,8,2 or ,e,8,1 (for example 19200,e,8,1)")
             .arg(settingText,
                  o.setting
                      ? QString()
                      : QStringLiteral(" (key Setting of [Settings] in %1)").arg(ini.filePath())));
  return line;
}

// Opens the --log file without waiting for anything (a named pipe nobody reads is refused at
// once); -1 with a message said when it cannot.
int openLog(const QString& path) {
#ifdef Q_OS_WIN
  // Bytes as they are (no line-end translation), and not inherited by programs started later.
  const int fd =
      ::_wopen(reinterpret_cast<const wchar_t*>(path.utf16()),
               _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
  if (fd >= 0) return fd;
  fail(QStringLiteral("--log %1: %2").arg(path, systemError(errno)));
  return -1;
#else
  const int fd = ::open(QFile::encodeName(path).constData(),
                        O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd >= 0) return fd;
  fail(errno == ENXIO ? QStringLiteral("--log %1: it is a named pipe that nobody reads; start "
                                       "its reader first")
                            .arg(path)
                      : QStringLiteral("--log %1: %2").arg(path, systemError(errno)));
  return -1;
#endif
}

// The port of --device, --port or the CommPort key, at `settings`.
ServeLine serveLine(const CliOptions& o, const IniFile& ini, const LineSettings& settings) {
  ServeLine line;
  line.settings = settings;
  if (o.device) {
    line.device = *o.device;
    line.byPath = true;
  } else {
    line.commPort = portNumberOf(o, ini);
    line.device = devicePathForPort(ini, line.commPort);
  }
  return line;
}

bool openLogOption(const CliOptions& o, std::optional<LogFile>& log) {
  if (!o.log) return true;
  const auto format = logFormatOf(*o.log);
  if (!format) {
    fail(QStringLiteral("--log %1: name a file ending in .csv or .jsonl").arg(*o.log));
    return false;
  }
  const int fd = openLog(*o.log);
  if (fd < 0) return false;
  log = LogFile{*o.log, *format, fd};
  return true;
}

std::optional<QString> openRun(PortThread& port, const CliOptions& o, const IniFile& ini,
                               const LineSettings& settings, std::optional<LogFile>& log,
                               const std::function<OpenResult(const ServeLine&)>& open) {
  if (!openLogOption(o, log)) return std::nullopt;
  port.setBatchInterval(std::chrono::milliseconds(20));
  const ServeLine line = serveLine(o, ini, settings);
  StopOnSignal::doing(QStringLiteral("opening %1").arg(line.device));
  const OpenResult opened = open(line);
  if (!opened.ok) {
    if (log) ::close(log->fd);
    fail(opened.error);
    return std::nullopt;
  }
  if (!opened.notice.isEmpty()) fail(opened.notice);
  return opened.deviceName;
}

RunOutput::RunOutput(std::optional<LogFile> log)
    : log_(std::move(log)), out_(STDOUT_FILENO, QStringLiteral("standard output")) {
  if (!log_) return;
  logWriter_.emplace(log_->fd, log_->path);
  logWriter_->post(logHeader(log_->format));
}

void RunOutput::print(QString line, const QDateTime& time, bool stamped) {
  if (stamped) line = isoTime(time) + u' ' + line;
  out_.post(line.toUtf8() + '\n');
}

void RunOutput::log(const TrafficEvent& event) {
  if (logWriter_) logWriter_->post(logRecord(log_->format, event));
}

bool RunOutput::finish() {
  out_.finish(std::chrono::milliseconds(250));
  if (logWriter_) logWriter_->finish(std::chrono::milliseconds(350));
  if (log_) ::close(log_->fd);
  if (const qint64 n = out_.dropped(); n > 0)
    fail(QStringLiteral("%1 lines of standard output were dropped: it was not read fast enough")
             .arg(n));
  if (logWriter_ && logWriter_->dropped() > 0)
    fail(QStringLiteral("%1 records of the log %2 were dropped: it was not read fast enough")
             .arg(logWriter_->dropped())
             .arg(log_->path));
  return out_.failure().isEmpty() && (!logWriter_ || logWriter_->failure().isEmpty());
}

namespace {

// What a signal handler reads, at any moment and on any thread: lock-free atomics, and texts
// that stay where they are until the program ends (a handful of them in any run).
std::atomic<bool> orderlyStop{false};
std::atomic<bool> stopAsked{false};
std::atomic<const char*> doingText{""};
QString doingWords;  // what doingText says, for the main thread

std::deque<QByteArray>& doingTexts() {
  static std::deque<QByteArray> texts;
  return texts;
}

// Writes `text` to standard error from a signal handler: the system call alone, no buffer.
void say(const char* text) {
  std::size_t size = 0;
  while (text[size] != 0) ++size;
  while (size > 0) {
#ifdef Q_OS_WIN
    const int written = ::_write(2, text, unsigned(size));
#else
    const ssize_t written = ::write(STDERR_FILENO, text, size);
#endif
    if (written <= 0) return;
    text += written;
    size -= std::size_t(written);
  }
}

const char* signalName(int signal) {
  switch (signal) {
    case SIGINT:
      return "Ctrl+C (SIGINT)";
    case SIGTERM:
      return "SIGTERM";
#ifdef Q_OS_WIN
    case SIGBREAK:
      return "Ctrl+Break";
#endif
  }
  return "a signal";
}

// Ends the program there and then, saying what it was doing.
[[noreturn]] void endNow(int signal) {
  say("vantor-cli: stopped by ");
  say(signalName(signal));
  if (const char* doing = doingText.load(); *doing != 0) {
    say(" while ");
    say(doing);
  }
  say("\n");
  ::_exit(1);
}

#ifndef Q_OS_WIN
int stopPipe[2] = {-1, -1};
#endif

void onSignal(int signal) {
#ifdef Q_OS_WIN
  // The system takes the handler away once it has run; it runs on a thread of its own, from
  // which the application is asked to quit like from any other thread.
  std::signal(signal, onSignal);
  if (orderlyStop.load() && !stopAsked.exchange(true)) {
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    return;
  }
#else
  if (orderlyStop.load() && !stopAsked.exchange(true)) {
    const char byte = 0;
    [[maybe_unused]] const auto n = ::write(stopPipe[1], &byte, 1);
    return;
  }
#endif
  stopAsked = true;
  endNow(signal);
}

}  // namespace

bool StopOnSignal::install() {
#ifdef Q_OS_WIN
  std::signal(SIGBREAK, onSignal);
#else
  if (::pipe(stopPipe) != 0) return false;
  for (const int fd : stopPipe) {
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    ::fcntl(fd, F_SETFL, O_NONBLOCK);
  }
#endif
  std::signal(SIGINT, onSignal);
  std::signal(SIGTERM, onSignal);
  return true;
}

void StopOnSignal::doing(const QString& what) {
  doingWords = what;
  doingTexts().push_back(shown(what));
  doingText = doingTexts().back().constData();
}

QString StopOnSignal::doingNow() {
  return doingWords;
}

bool StopOnSignal::asked() {
  return stopAsked;
}

StopOnSignal::Orderly::Orderly(const QString& stopping) : before_(doingNow()) {
#ifndef Q_OS_WIN
  notifier_ = std::make_unique<QSocketNotifier>(stopPipe[0], QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, [] {
    char byte;
    while (::read(stopPipe[0], &byte, 1) > 0) {
    }
    QCoreApplication::exit(0);
  });
#endif
  doing(stopping);
  orderlyStop = true;
}

StopOnSignal::Orderly::~Orderly() {
  orderlyStop = false;
  doing(before_);
}

void keepGoingOnFailedWrites() {
#ifndef Q_OS_WIN
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
#endif
}

}  // namespace vantor::cli
