// vantor-cli's command line taken apart, and its output writer with a reader that stalls.
#include "cli/AsyncWriter.h"
#include "cli/CliOptions.h"

#include <QtTest>

#include <fcntl.h>
#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

#include <future>

using namespace vantor::cli;

class TstCliOptions : public QObject {
  Q_OBJECT

 private slots:
  // The arguments, and what they come to: the options that matter, or the usage error.
  void parse_data() {
    QTest::addColumn<QString>("args");
    QTest::addColumn<QString>("taken");
    const auto row = [](const char* args, const char* taken) {
      QTest::newRow(args) << QString(args) << QString(taken);
    };
    row("frame --module 1602", "frame module=1602");
    row("send --module=2004 --port 3", "send module=2004 port=3");
    row("simulate --device /dev/x --value 1=10 --value 2=0x12345 --count 5",
        "simulate device=/dev/x values=1:10,2:0x12345 count=5");
    row("simulate --fault 2=silent/3 --delay 2=50-150 --ramp 1=0:9:1 --typed 3=-1.5",
        "simulate faults=2:silent/3 delays=2:50-150 typed=3:-1.5 ramps=1:0:9:1");
    row("simulate --timestamps --keep-echo --log x.jsonl", "simulate log=x.jsonl stamps echo");
    row("listen --scan --seconds 2", "listen scan");
    row("simulate --answer-all --keep-echo", "simulate echo all");
    row("simulate --scan", "error: simulate does not take --scan");
    row("decode --module 2004 frame.hex", "decode module=2004 input=frame.hex");
    row("decode a.hex b.hex", "error: decode does not take b.hex");
    row("decode --port 1", "error: decode does not take --port");
    row("frame a.hex", "error: frame does not take a.hex");
    row("--help", "help");
    row("frame --port 1", "error: frame does not take --port");
    row("send --port 1 --device /x", "error: give --port or --device, not both");
    row("send --module 1604", "error: --module is 1602 or 2004, not 1604");
    row("simulate --count 0", "error: --count takes a whole number >= 1");
    row("simulate --port x", "error: --port takes a port number");
    row("simulate --value 10", "error: --value takes SLAVE=VALUE");
    row("simulate --timestamps=yes", "error: --timestamps takes no value");
    row("simulate --log", "error: --log needs a value");
    row("listen --scan --seconds 0.05",
        "error: --seconds takes a number of seconds from 0.1 to 60");
    row("listen --seconds 2", "error: --seconds goes with --scan");
    row("listen --scan --setting 9600,n,8,1",
        "error: --scan tries every line setting and prints counts: it takes no --setting, --count "
        "or --log");
    row("listen --display --count 3", "listen count=3 display");
    row("listen --scan --display",
        "error: --scan hears each line setting in turn: it draws no --display");
    row("poll --device /d --interval 250 --timeout 80 --count 3 --display",
        "poll device=/d count=3 interval=250 timeout=80 display");
    row("poll --module 2004", "error: poll writes to a line: give --port N or --device PATH");
    row("poll --port 2 --timeout 10001",
        "error: --timeout takes a whole number of milliseconds from 1 to 10000");
    row("listen2", "error: unknown command: listen2");
    row("", "error: no command given");
  }
  void parse() {
    QFETCH(QString, args);
    QString error;
    const auto o = parseCliOptions(args.split(' ', Qt::SkipEmptyParts), &error);
    QStringList taken;
    if (!o) taken << "error: " + error;
    const auto map = [](const std::map<int, QString>& m) {
      QStringList items;
      for (const auto& [slave, text] : m) items << QString("%1:%2").arg(slave).arg(text);
      return items.join(',');
    };
    if (o) {
      taken << (o->help ? QString("help") : o->command);
      if (o->module) taken << "module=" + *o->module;
      if (o->input) taken << "input=" + *o->input;
      if (o->port) taken << QString("port=%1").arg(*o->port);
      if (o->device) taken << "device=" + *o->device;
      if (!o->values.empty()) taken << "values=" + map(o->values);
      if (o->count) taken << QString("count=%1").arg(*o->count);
      if (!o->faults.empty()) taken << "faults=" + map(o->faults);
      if (!o->delays.empty()) taken << "delays=" + map(o->delays);
      if (!o->typed.empty()) taken << "typed=" + map(o->typed);
      if (!o->ramps.empty()) taken << "ramps=" + map(o->ramps);
      if (o->log) taken << "log=" + *o->log;
      if (o->timestamps) taken << "stamps";
      if (o->keepEcho) taken << "echo";
      if (o->answerAll) taken << "all";
      if (o->scan) taken << "scan";
      if (o->intervalMs) taken << QString("interval=%1").arg(*o->intervalMs);
      if (o->timeoutMs) taken << QString("timeout=%1").arg(*o->timeoutMs);
      if (o->display) taken << "display";
    }
    QTEST(taken.join(' ').replace("help help", "help"), "taken");
  }

  // A reader that does not read never holds up the writer's caller: once the queue is full,
  // records are dropped and counted, and finishing gives up in the time it is given. What did
  // get through is whole records.
  void aStalledReaderCostsRecordsNotTime() {
    int fds[2];
#ifdef Q_OS_WIN
    QCOMPARE(::_pipe(fds, 65536, _O_BINARY), 0);
#else
    QCOMPARE(::pipe2(fds, O_NONBLOCK), 0);
#endif
    const QByteArray record = QByteArray(99, 'r') + '\n';
    const int posts = int(AsyncWriter::kMaxWaiting) * 2;
    AsyncWriter writer(fds[1], "a pipe");
    auto posting = std::async(std::launch::async, [&] {
      for (int i = 0; i < posts; ++i) writer.post(record);
    });
    if (posting.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
      char sink[4096];  // let the posts end, so that the test can
      while (posting.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready)
        while (::read(fds[0], sink, sizeof sink) > 0) {
        }
      QFAIL("posting waited for the reader");
    }
    writer.finish(std::chrono::milliseconds(100));
    ::close(fds[1]);  // what is in the pipe is read up to its end
    QByteArray through;
    char buffer[4096];
    for (int n; (n = int(::read(fds[0], buffer, sizeof buffer))) > 0;) through.append(buffer, n);
    QVERIFY(writer.dropped() > 0);
    QCOMPARE(through.size() % record.size(), 0);
    QCOMPARE(through.size() / record.size() + writer.dropped(), posts);
    QCOMPARE(writer.failure(), QString());
    ::close(fds[0]);
  }
};

QTEST_GUILESS_MAIN(TstCliOptions)
#include "tst_clioptions.moc"
