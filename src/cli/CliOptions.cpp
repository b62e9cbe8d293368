#include "cli/CliOptions.h"

namespace vantor::cli {

namespace {

const QStringList kCommands = {QStringLiteral("frame"), QStringLiteral("send"),
                               QStringLiteral("simulate"), QStringLiteral("preview"),
                               QStringLiteral("listen"), QStringLiteral("decode")};

// Which options each command takes.
bool takes(const QString& command, const QString& option) {
  if (option == u"--module" || option == u"--ini") return true;
  if (option == u"--port" || option == u"--device")
    return command == u"send" || command == u"simulate" || command == u"listen";
  if (command == u"preview") return option == u"--value" || option == u"--typed";
  if (command == u"listen")
    return option == u"--setting" || option == u"--log" || option == u"--timestamps" ||
           option == u"--count" || option == u"--scan" || option == u"--seconds";
  return command == u"simulate" &&
         (option == u"--setting" || option == u"--value" || option == u"--count" ||
          option == u"--log" || option == u"--timestamps" || option == u"--keep-echo" ||
          option == u"--fault" || option == u"--delay" || option == u"--typed" ||
          option == u"--ramp" || option == u"--random" || option == u"--bench" ||
          option == u"--answer-all" || option == u"--register");
}

// Options that take no value.
bool isFlag(const QString& option) {
  return option == u"--timestamps" || option == u"--keep-echo" || option == u"--scan" ||
         option == u"--answer-all";
}

// Stores `value`, given with `option`, in `o`; why it cannot, or empty.
QString takeValue(CliOptions& o, const QString& option, const QString& value) {
  bool ok = true;
  if (option == u"--module") {
    if (value != u"1602" && value != u"2004")
      return QStringLiteral("--module is 1602 or 2004, not %1").arg(value);
    o.module = value;
  } else if (option == u"--ini") {
    o.ini = value;
  } else if (option == u"--port") {
    o.port = value.toInt(&ok);
    if (!ok || *o.port < 1) return QStringLiteral("--port takes a port number");
  } else if (option == u"--device") {
    o.device = value;
  } else if (option == u"--log") {
    o.log = value;
  } else if (option == u"--bench") {
    o.bench = value;
  } else if (option == u"--register") {
    o.registers << value;  // checked before the port opens: a bad one is an error (exit 1)
  } else if (option == u"--setting") {
    o.setting = value;
  } else if (option == u"--count") {
    o.count = value.toInt(&ok);
    if (!ok || *o.count < 1) return QStringLiteral("--count takes a whole number >= 1");
  } else if (option == u"--seconds") {
    o.seconds = value.toDouble(&ok);
    // A module polls at most every 25.5 s; a minute at each of nine settings is plenty.
    if (!ok || !(*o.seconds >= 0.1 && *o.seconds <= 60))
      return QStringLiteral("--seconds takes a number of seconds from 0.1 to 60");
  } else if (option == u"--fault" || option == u"--delay" || option == u"--typed" ||
             option == u"--ramp" || option == u"--random") {
    // Checked against the slaves once they are loaded: a bad one is an error (exit 1).
    const qsizetype eq = value.indexOf(u'=');
    const int slave = eq > 0 ? value.left(eq).toInt() : 0;
    auto& map = option == u"--fault"   ? o.faults
                : option == u"--delay" ? o.delays
                : option == u"--typed" ? o.typed
                : option == u"--ramp"  ? o.ramps
                                       : o.randoms;
    map[slave] = eq > 0 ? value.mid(eq + 1) : value;
  } else if (option == u"--value") {
    const qsizetype eq = value.indexOf(u'=');
    const int slave = eq > 0 ? value.left(eq).toInt(&ok) : 0;
    if (eq <= 0 || !ok) return QStringLiteral("--value takes SLAVE=VALUE");
    o.values[slave] = value.mid(eq + 1);
  }
  return {};
}

}  // namespace

QString usageText(const QString& command) {
  struct Usage {
    const char* command;
    QStringList lines;
    const char* what;
  };
  static const Usage kUsages[] = {
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
        "                    [--scan [--seconds S]]"},
       "Hears the line and writes nothing: one line per frame (request, response, exception,\n"
       "config-frame, crc-error or fragment) and, when it stops, the poll plan on standard\n"
       "error: per slave, function, start register and register count, the polls heard, their\n"
       "median interval, the replies (the last value, read by the saved configuration's data\n"
       "type where a slave of it makes that poll), exceptions and unanswered polls. --count\n"
       "stops after K frames; --log and --timestamps as for simulate.\n"
       "--scan listens S seconds (default 3) at each baud rate and data format in turn,\n"
       "prints what it heard at each, and the settings that carry valid frames with the\n"
       "fewest errors (exit 1 when none do, or when the device cannot tell them apart).\n"},
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
      if (!kCommands.contains(arg)) return fail(QStringLiteral("unknown command: %1").arg(arg));
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
    if (o.command == u"decode" && !arg.startsWith(u"--") && !o.input) {
      o.input = arg;
      continue;
    }
    if (!arg.startsWith(u"--") || !takes(o.command, arg))
      return fail(QStringLiteral("%1 does not take %2").arg(o.command, arg));
    if (isFlag(arg)) {
      if (inlineValue) return fail(QStringLiteral("%1 takes no value").arg(arg));
      (arg == u"--timestamps"  ? o.timestamps
       : arg == u"--keep-echo" ? o.keepEcho
       : arg == u"--scan"      ? o.scan
                               : o.answerAll) = true;
      continue;
    }
    if (!inlineValue) {
      if (i + 1 >= args.size()) return fail(QStringLiteral("%1 needs a value").arg(arg));
      value = args[++i];
    }

    if (const QString why = takeValue(o, arg, value); !why.isEmpty()) return fail(why);
  }
  if (o.port && o.device) return fail(QStringLiteral("give --port or --device, not both"));
  if (o.command.isEmpty() && !o.help) return fail(QStringLiteral("no command given"));
  if (o.seconds && !o.scan) return fail(QStringLiteral("--seconds goes with --scan"));
  if (o.scan && (o.setting || o.count || o.log))
    return fail(QStringLiteral("--scan tries every line setting and prints counts: it takes no "
                               "--setting, --count or --log"));
  return o;
}

}  // namespace vantor::cli
