#include "cli/CliOptions.h"

#include <algorithm>
#include <iterator>

namespace vantor::cli {

namespace {

// A --option=VALUE that stores VALUE as it is, for a later check against the settings.
template <auto Member>
QString keep(CliOptions& o, const QString& value) {
  o.*Member = value;
  return {};
}

// SLAVE=TEXT, stored by slave; checked against the slaves once they are loaded, where a bad one
// is an error (exit 1). A slave that is no number is 0, which no slave is.
template <std::map<int, QString> CliOptions::*Member>
QString bySlave(CliOptions& o, const QString& value) {
  const qsizetype eq = value.indexOf(u'=');
  (o.*Member)[eq > 0 ? value.left(eq).toInt() : 0] = eq > 0 ? value.mid(eq + 1) : value;
  return {};
}

QString takeModule(CliOptions& o, const QString& value) {
  if (value != u"1602" && value != u"2004")
    return QStringLiteral("--module is 1602 or 2004, not %1").arg(value);
  o.module = value;
  return {};
}

QString takePort(CliOptions& o, const QString& value) {
  bool ok = false;
  o.port = value.toInt(&ok);
  return ok && *o.port >= 1 ? QString() : QStringLiteral("--port takes a port number");
}

QString takeCount(CliOptions& o, const QString& value) {
  bool ok = false;
  o.count = value.toInt(&ok);
  return ok && *o.count >= 1 ? QString() : QStringLiteral("--count takes a whole number >= 1");
}

QString takeSeconds(CliOptions& o, const QString& value) {
  bool ok = false;
  o.seconds = value.toDouble(&ok);
  // A module polls at most every 25.5 s; a minute at each of nine settings is plenty.
  return ok && *o.seconds >= 0.1 && *o.seconds <= 60
             ? QString()
             : QStringLiteral("--seconds takes a number of seconds from 0.1 to 60");
}

// A whole number of milliseconds from 1 to `most`.
QString takeMilliseconds(std::optional<int>& into, const QString& value, const char* option,
                         int most) {
  bool ok = false;
  into = value.toInt(&ok);
  if (ok && *into >= 1 && *into <= most) return {};
  return QStringLiteral("%1 takes a whole number of milliseconds from 1 to %2")
      .arg(QLatin1String(option))
      .arg(most);
}

// A module polls at most every 25.5 s, and waits for a reply far less.
QString takeInterval(CliOptions& o, const QString& value) {
  return takeMilliseconds(o.intervalMs, value, "--interval", 60000);
}

QString takeTimeout(CliOptions& o, const QString& value) {
  return takeMilliseconds(o.timeoutMs, value, "--timeout", 10000);
}

QString takeSide(CliOptions& o, const QString& value) {
  if (value != u"slaves" && value != u"master")
    return QStringLiteral("--as is slaves or master, not %1").arg(value);
  o.replayAs = value;
  return {};
}

// Faster than a thousand times, a recording's delays are shorter than the line can tell apart.
QString takeSpeed(CliOptions& o, const QString& value) {
  bool ok = false;
  o.speed = value.toDouble(&ok);
  return ok && *o.speed >= 0.01 && *o.speed <= 1000
             ? QString()
             : QStringLiteral("--speed takes a number from 0.01 to 1000");
}

QString takeValue(CliOptions& o, const QString& value) {
  const qsizetype eq = value.indexOf(u'=');
  bool ok = false;
  const int slave = eq > 0 ? value.left(eq).toInt(&ok) : 0;
  if (!ok) return QStringLiteral("--value takes SLAVE=VALUE");
  o.values[slave] = value.mid(eq + 1);
  return {};
}

QString takeRegister(CliOptions& o, const QString& value) {
  o.registers << value;  // checked before the port opens: a bad one is an error (exit 1)
  return {};
}

// Every option: its name, the commands that take it (blank-separated, "*" for all), and what it
// sets: a flag sets a member to true, any other option hands its value to a function that
// stores it or says why it cannot. A new option is a row here; a new command is a row of
// kUsages below and its name in the rows of the options it takes.
struct Option {
  const char* name;
  const char* commands;
  bool CliOptions::*flag;
  QString (*take)(CliOptions&, const QString& value);
};

const Option kOptions[] = {
    {"--module", "*", nullptr, takeModule},
    {"--ini", "*", nullptr, keep<&CliOptions::ini>},
    {"--port", "send simulate listen poll replay", nullptr, takePort},
    {"--device", "send simulate listen poll replay", nullptr, keep<&CliOptions::device>},
    {"--setting", "simulate listen poll replay", nullptr, keep<&CliOptions::setting>},
    {"--value", "simulate preview", nullptr, takeValue},
    {"--typed", "simulate preview", nullptr, bySlave<&CliOptions::typed>},
    {"--count", "simulate listen poll", nullptr, takeCount},
    {"--log", "simulate listen poll replay", nullptr, keep<&CliOptions::log>},
    {"--interval", "poll", nullptr, takeInterval},
    {"--timeout", "poll replay", nullptr, takeTimeout},
    {"--display", "listen poll", &CliOptions::display, nullptr},
    {"--timestamps", "simulate listen replay", &CliOptions::timestamps, nullptr},
    {"--keep-echo", "simulate", &CliOptions::keepEcho, nullptr},
    {"--fault", "simulate", nullptr, bySlave<&CliOptions::faults>},
    {"--delay", "simulate", nullptr, bySlave<&CliOptions::delays>},
    {"--ramp", "simulate", nullptr, bySlave<&CliOptions::ramps>},
    {"--random", "simulate", nullptr, bySlave<&CliOptions::randoms>},
    {"--bench", "simulate", nullptr, keep<&CliOptions::bench>},
    {"--answer-all", "simulate", &CliOptions::answerAll, nullptr},
    {"--register", "simulate", nullptr, takeRegister},
    {"--scan", "listen", &CliOptions::scan, nullptr},
    {"--seconds", "listen", nullptr, takeSeconds},
    {"--as", "replay", nullptr, takeSide},
    {"--speed", "replay", nullptr, takeSpeed},
    {"--loop", "replay", &CliOptions::loop, nullptr},
};

struct Usage {
  const char* command;
  QStringList lines;
  const char* what;
};
// Every command: its usage lines and what it does. A command is known by having a row here.
const Usage kUsages[] = {
    {"frame",
     {"vantor-cli frame    --module 1602|2004 [--ini FILE]"},
     "Prints the configuration frame the module's window would send.\n"},
    {"send",
     {"vantor-cli send     --module 1602|2004 [--ini FILE] [--port N | --device PATH]"},
     "Writes that frame to the port at 9600,n,8,1 and waits until it has left.\n"},
    {"simulate",
     {"vantor-cli simulate [--module 1602|2004] [--ini FILE] [--port N | --device PATH]",
      "                    [--setting TEXT] [--value SLAVE=VALUE]... [--count K]",
      "                    [--log FILE] [--timestamps] [--keep-echo]",
      "                    [--typed SLAVE=TEXT]... [--ramp SLAVE=FROM:TO:STEP]...",
      "                    [--fault SLAVE=KIND[/N]]... [--delay SLAVE=MS|MIN-MAX]...",
      "                    [--random SLAVE=MIN:MAX]... [--bench FILE]",
      "                    [--answer-all [--register SLAVE:FC:REGISTER=VALUE]...]"},
     "Answers the module's polls as the main window's simulator does, one line per poll.\n"
     "--value sets what slave 1 to 4 answers (decimal or 0x-prefixed hexadecimal).\n"
     "--log writes every event to FILE as it happens (.csv or .jsonl); --timestamps starts\n"
     "each line with its time; --keep-echo judges an echo of our own reply as a request.\n"
     "The counters of each slave go to standard error when it stops.\n"
     "--typed gives the value as the module shows it (by the slave's data type and decimal\n"
     "places, e.g. -12.5); --ramp answers FROM, then one STEP more at each poll, FROM again\n"
     "after TO. --fault makes a slave fail: silent, exception:CODE (1, 2, 3, 4 or 6),\n"
     "bad-crc or wrong-address, every poll or one poll in N (silent/5); --delay holds its\n"
     "replies back MS milliseconds, or a random time from MIN to MAX.\n"
     "--fault SLAVE=none/N with a --delay delays one reply in N. --random answers values\n"
     "picked at random from MIN to MAX. --bench serves a bench scenario (.vbench) that\n"
     "the main window saved; the options above override it for the slave and the control\n"
     "they name.\n"
     "--answer-all answers every valid read (address 1 to 247, function 03 or 04, 1 to 125\n"
     "registers), not only the slaves' own polls: each register from a slave with that\n"
     "address and function that holds it, else from a --register, else 0; a read past\n"
     "register 0xFFFF gets exception 02. --register (only with --answer-all) sets one\n"
     "register of the map: address 1 to 247, function 3 or 4, register and value 0 to\n"
     "65535, each decimal or 0x-prefixed hexadecimal (--register 5:3:0x10=1234).\n"},
    {"preview",
     {"vantor-cli preview  --module 1602|2004 [--ini FILE] [--value SLAVE=VALUE]...",
      "                    [--typed SLAVE=TEXT]..."},
     "Prints the module's display for the saved configuration, one row per line between\n"
     "'|' marks, then what to look into (a value too wide for its field, a field that covers\n"
     "text or runs past the display's end), one finding per line. SLAVE is the field's\n"
     "number: 1 on the two-line module, 1 to 4 on the four-line one; a field given no value\n"
     "shows 0. --value and --typed take what they take for simulate.\n"},
    {"listen",
     {"vantor-cli listen   [--module 1602|2004] [--ini FILE] [--port N | --device PATH]",
      "                    [--setting TEXT] [--log FILE] [--timestamps] [--count K]",
      "                    [--display | --scan [--seconds S]]"},
     "Hears the line and writes nothing: one line per frame (request, response, exception,\n"
     "config-frame, crc-error or fragment) and, when it stops, the poll plan on standard\n"
     "error: per slave, function, start register and register count, the field that makes\n"
     "that poll, the polls heard, their median interval, the replies (the last value, read\n"
     "by the field's data type), exceptions and unanswered polls. The fields are the saved\n"
     "configuration's until a configuration frame is heard, then that frame's. --count\n"
     "stops after K frames; --log and --timestamps as for simulate.\n"
     "--display prints the module's display as preview does, after each frame that changes\n"
     "it: each field shows the last reply to a poll that is exactly its own, or '-' after\n"
     "an exception or a poll the next request followed unanswered.\n"
     "--scan listens S seconds (default 3) at each baud rate and data format in turn,\n"
     "prints what it heard at each, and the settings that carry valid frames with the\n"
     "fewest errors (exit 1 when none do, or when the device cannot tell them apart).\n"},
    {"poll",
     {"vantor-cli poll     --module 1602|2004 [--ini FILE] (--port N | --device PATH)",
      "                    [--setting TEXT] [--interval MS] [--timeout MS] [--count K]",
      "                    [--log FILE] [--display]"},
     "Polls the field devices as the module would, from its saved configuration: each\n"
     "active field's request (slave address, function 03 or 04, start register, one or two\n"
     "registers by data type) in field order, a cycle of them every polling interval.\n"
     "Within a cycle each request waits for the reply to the one before it, or for its\n"
     "timeout, and then for the line's frame gap; a cycle that overruns its interval starts\n"
     "the next at once and is counted late. One line per field and cycle: the reply's\n"
     "registers and the value as the module shows it, and the response time; or no reply,\n"
     "the exception, or what is wrong with the reply. When it stops, each field's counts\n"
     "and response times go to standard error.\n"
     "--setting sets the line (default: the module's own, CSet); --interval the time\n"
     "from one cycle's start to the next (default: the module's, Interval x 100 ms);\n"
     "--timeout how long a reply is waited for (default 500 ms); --count stops after K\n"
     "cycles; --log as for simulate; --display prints the module's display rows between\n"
     "'|' marks after each cycle. Nothing is written to the settings file.\n"},
    {"replay",
     {"vantor-cli replay   FILE --as slaves|master [--module 1602|2004] [--ini FILE]",
      "                    (--port N | --device PATH) [--setting TEXT] [--speed X] [--loop]",
      "                    [--timeout MS] [--log FILE] [--timestamps]"},
     "Plays a recorded line back: FILE is an export of the bus monitor, of listening or of\n"
     "polling as the module (.csv or .jsonl), read whole before the port opens; one that\n"
     "cannot be read is refused, naming its line and what is wrong.\n"
     "--as slaves answers the module as the recording's slaves did: the n-th time a request\n"
     "comes it gets what its n-th recorded occurrence got, the reply bytes as recorded after\n"
     "the recorded delay, or nothing; after the last occurrence the last answer is repeated\n"
     "(--loop: the request's occurrences start over). A request the recording never heard\n"
     "gets no reply. One line per request. Ctrl+C stops.\n"
     "--as master sends the recording's requests with the recorded spacing and compares each\n"
     "reply with the recorded one, values read by the saved configuration's field where\n"
     "one polls as the request does: one line per difference (other bytes, no reply, a\n"
     "reply where the recording had none), then a summary on standard error. A reply is\n"
     "waited for until the next request is due and at least --timeout MS (default 500);\n"
     "a longer wait moves the later requests on. --loop starts over after the last request\n"
     "(until Ctrl+C). Exit status 0 when every reply matched, 2 when any differed.\n"
     "--speed X plays delays and spacing X times as fast (default 1); --setting sets the\n"
     "line (default: the Setting key); --log and --timestamps as for simulate. Exit status 1\n"
     "on an error (the file, the port).\n"},
    {"decode",
     {"vantor-cli decode   [--module 1602|2004] [--ini FILE] [FILE]"},
     "Reads one configuration frame from FILE, or standard input, checks it, and prints the\n"
     "configuration in words, then the settings the module's window would save from it.\n"
     "The input is hex text (\"41 42 ...\" or \"4142...\", either case, over any lines)\n"
     "when it holds nothing but hex digits, two to a byte, and blanks; otherwise it is the\n"
     "frame's raw bytes. A frame ends in its fill byte 00, so raw bytes never pass for text.\n"
     "The module follows from the length (48 bytes: 1602, 135: 2004); --module insists on\n"
     "one. A wrong length, check bytes that do not hold, a fill byte other than 00 and a\n"
     "value no list of the window offers are refused, naming the bytes. --ini saves the\n"
     "settings into that settings file instead of printing them (created if absent; its\n"
     "other sections stay). The settings file keeps no alarm trip points: decode says so of\n"
     "each that differs from what a frame built from the file sends.\n"},
};
bool isCommand(const QString& name) {
  return std::any_of(std::begin(kUsages), std::end(kUsages),
                     [&](const Usage& u) { return name == QLatin1String(u.command); });
}

// The option `name` as `command` takes it; nothing when it does not.
const Option* optionOf(const QString& command, const QString& name) {
  for (const Option& option : kOptions) {
    if (name != QLatin1String(option.name)) continue;
    const QStringList commands = QString::fromLatin1(option.commands).split(u' ');
    return commands.contains(u"*") || commands.contains(command) ? &option : nullptr;
  }
  return nullptr;
}

}  // namespace

QString usageText(const QString& command) {
  QString text;
  const auto add = [&text](const QStringList& lines) {
    for (const QString& line : lines)
      text +=
          (text.isEmpty() ? QStringLiteral("usage: ") : QStringLiteral("       ")) + line + u'\n';
  };
  for (const Usage& u : kUsages) {
    if (command == QLatin1String(u.command)) {
      add(u.lines);
      return text + QLatin1String(u.what);
    }
  }
  for (const Usage& u : kUsages) add(u.lines);
  add({QStringLiteral("vantor-cli --help | --version | <command> --help")});
  return text;
}

std::optional<CliOptions> parseCliOptions(const QStringList& args, QString* error) {
  auto fail = [&](const QString& why) -> std::optional<CliOptions> {
    if (error) *error = why;
    return std::nullopt;
  };
  CliOptions o;
  for (qsizetype i = 0; i < args.size(); ++i) {
    QString arg = args[i];
    if (arg == u"--help" || arg == u"-h") {
      o.help = true;
      continue;
    }
    if (o.command.isEmpty()) {
      if (!isCommand(arg)) return fail(QStringLiteral("unknown command: %1").arg(arg));
      o.command = arg;
      continue;
    }
    // --option VALUE or --option=VALUE
    QString value;
    bool inlineValue = false;
    if (const qsizetype eq = arg.indexOf(u'='); arg.startsWith(u"--") && eq > 0) {
      value = arg.mid(eq + 1);
      arg = arg.left(eq);
      inlineValue = true;
    }
    if ((o.command == u"decode" || o.command == u"replay") && !arg.startsWith(u"--") && !o.input) {
      o.input = arg;
      continue;
    }
    const Option* option = arg.startsWith(u"--") ? optionOf(o.command, arg) : nullptr;
    if (!option) return fail(QStringLiteral("%1 does not take %2").arg(o.command, arg));
    if (option->flag) {
      if (inlineValue) return fail(QStringLiteral("%1 takes no value").arg(arg));
      o.*option->flag = true;
      continue;
    }
    if (!inlineValue) {
      if (i + 1 >= args.size()) return fail(QStringLiteral("%1 needs a value").arg(arg));
      value = args[++i];
    }
    if (const QString why = option->take(o, value); !why.isEmpty()) return fail(why);
  }
  if (o.port && o.device) return fail(QStringLiteral("give --port or --device, not both"));
  if (o.command.isEmpty() && !o.help) return fail(QStringLiteral("no command given"));
  if (o.seconds && !o.scan) return fail(QStringLiteral("--seconds goes with --scan"));
  if (o.scan && o.display)
    return fail(QStringLiteral("--scan hears each line setting in turn: it draws no --display"));
  if (o.command == u"poll" && !o.help && !o.port && !o.device)
    return fail(QStringLiteral("poll writes to a line: give --port N or --device PATH"));
  if (o.command == u"replay" && !o.help) {
    if (!o.input) return fail(QStringLiteral("replay plays a recording: give its FILE"));
    if (!o.replayAs) return fail(QStringLiteral("replay needs --as slaves or --as master"));
    if (!o.port && !o.device)
      return fail(QStringLiteral("replay writes to a line: give --port N or --device PATH"));
  }
  if (o.scan && (o.setting || o.count || o.log))
    return fail(
        QStringLiteral("--scan tries every line setting and prints counts: it takes no "
                       "--setting, --count or --log"));
  return o;
}

}  // namespace vantor::cli
