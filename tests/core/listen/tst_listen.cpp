// What a listener makes of a line: frames told apart, the poll plan, the settings a scan finds.
#include "core/config/Config1602.h"
#include "core/config/Config2004.h"
#include "core/listen/HeardDisplay.h"
#include "core/listen/HeardFrames.h"
#include "core/listen/LineScan.h"
#include "core/listen/PollPlan.h"
#include "core/modbus/Crc16.h"

#include <QRegularExpression>
#include <QTest>

using namespace vantor;
using namespace std::chrono_literals;

namespace {

QByteArray frame(QByteArrayView hex) {
  return withCheckValue(QByteArray::fromHex(hex.toByteArray()));
}

const QByteArray kRequest = frame("010300000001");  // slave 1, one holding register from 0
const QByteArray kReply = frame("01030212FF");

QByteArray configFrame(bool twoLine) {
  Config1602 two;
  two.line = {9600, 0};
  two.rows = {"Tank 1", "Level"};
  Config2004 four;
  four.line = {19200, 2};
  four.rows = {"Boiler", "", "", "Pressure"};
  return twoLine ? frameBytes(encodeConfig1602(two)).bytes
                 : frameBytes(encodeConfig2004(four)).bytes;
}

// `count` bytes of noise (printable or not) so that noise and the four-line frame's start pass
// its check: its last covered bytes are the low alarm trip points (all 00), its check bytes
// and fill byte fall on 00 there too, and the 8-bit sum passes 1 in 256 such starts.
QByteArray noiseFoolingTheSum(const QByteArray& frame, int count, bool printable) {
  std::uint8_t sum = 0;
  for (const char c : frame.first(frame.size() - 3 - count))
    sum = std::uint8_t(sum + std::uint8_t(c));
  QByteArray noise(count, printable ? '\x20' : '\x80');
  int left = std::uint8_t(0 - sum - count * std::uint8_t(noise[0]));
  for (char& c : noise) {
    const int add = std::min(left, printable ? 0x5E : 0x7F);
    c = char(std::uint8_t(c) + add);
    left -= add;
  }
  return noise;
}

const QString kFourLine =
    "config-frame: four-line module at 19200,e,8,1, a poll every 1.0 s: slave 1 function 03 "
    "register 0x0000; rows \"Boiler\" \"\" \"\" \"Pressure\"";

// What is heard when `chunks` are read `gapsMs` apart (the first at 0), then silence: each frame
// as its kind and what the listener says of it.
QStringList heard(const QList<QByteArray>& chunks, const QList<int>& gapsMs) {
  FrameListener listener(frameGap({9600, Parity::None, 8, 1}));
  QStringList said;
  qint64 at = 0;
  const QDateTime now = QDateTime::currentDateTimeUtc();
  const auto tell = [&said](const std::vector<TrafficEvent>& events) {
    for (const TrafficEvent& e : events)
      said << (e.detail.isEmpty() ? kindName(e.kind) : kindName(e.kind) + ": " + e.detail);
  };
  for (qsizetype i = 0; i < chunks.size(); ++i) {
    at += qint64(gapsMs.value(i - 1, 0)) * 1'000'000;
    tell(listener.read(chunks[i], at, now));
  }
  tell(listener.idle(at + 1'000'000'000, now));
  return said;
}

// A four-line module showing three fields: field 2 a two-register value, field 3 another
// register of field 1's slave; field 4 is not active.
Config2004 threeFields() {
  Config2004 cfg;
  cfg.activeFields = 3;
  const auto field = [](int slave, int function, int start, DataType type) {
    Field2004 f;
    f.slaveAddress = slave;
    f.functionCode = function;
    f.startRegister = std::uint16_t(start);
    f.dataType = type;
    return f;
  };
  cfg.fields = {field(1, 3, 0x0000, DataType::Unsigned), field(3, 4, 0x0020, DataType::LongInteger),
                field(1, 3, 0x0001, DataType::Signed), field(9, 3, 0x0000, DataType::Unsigned)};
  return cfg;
}

// A two-line module's frame whose field polls slave 5's input register 0x0010.
QByteArray twoLineFrame() {
  Config1602 cfg;
  cfg.line = {9600, 0};
  cfg.field.slaveAddress = 5;
  cfg.field.functionCode = 4;
  cfg.field.startRegister = 0x0010;
  return frameBytes(encodeConfig1602(cfg)).bytes;
}

// Each field's reading: its raw value, or why it has none.
QStringList readingsText(const HeardDisplay& display) {
  QStringList said;
  for (const FieldReading& r : display.readings())
    said << (r.raw ? "0x" + QString::number(*r.raw, 16).toUpper().rightJustified(8, '0') : r.why);
  return said;
}

}  // namespace

class tst_listen : public QObject {
  Q_OBJECT

 private slots:
  void framesToldApart_data() {
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QList<int>>("gapsMs");
    QTest::addColumn<QStringList>("said");
    const QString request = "request: slave 1 reads 1 holding register from 0x0000";
    const QString reply =
        "response: slave 1 answers 0x12FF (the reply to: slave 1 reads 1 "
        "holding register from 0x0000)";
    const QString unasked = "response: slave 1 answers 0x12FF (no request for it heard)";
    QTest::newRow("request and reply read at once")
        << QList{kRequest + kReply} << QList<int>{} << QStringList{request, reply};
    QTest::newRow("reply in pieces, silence between")
        << QList{kRequest, kReply.first(3), kReply.sliced(3)} << QList{20, 30}
        << QStringList{request, reply};
    QTest::newRow("a second reply to one request")
        << QList{kRequest, kReply, kReply} << QList{20, 20} << QStringList{request, reply, unasked};
    QTest::newRow("noise before a request")
        << QList{"\x05\x06" + kRequest} << QList<int>{} << QStringList{"fragment", request};
    QTest::newRow("exception reply")
        << QList{kRequest, frame("018302")} << QList{20}
        << QStringList{request,
                       "exception: slave 1 refuses function 03: exception 02 (illegal data "
                       "address) (the reply to: slave 1 reads 1 holding register from 0x0000)"};
    QTest::newRow("reply that answers another request")
        << QList{kRequest, frame("0103041234ABCD")} << QList{20}
        << QStringList{request,
                       "response: slave 1 answers 0x1234 0xABCD (no request for it heard)"};
    QTest::newRow("bad check value, then a request after silence")
        << QList{kReply.first(6) + '\0', kRequest} << QList{50}
        << QStringList{"crc-error: expected check value F4 A4", request};
    QTest::newRow("five bytes of noise")
        << QList{QByteArray("\x11\x22\x33\x44\x55")} << QList<int>{}
        << QStringList{"crc-error: expected check value 79 70"};
    QTest::newRow("four bytes of noise")
        << QList{QByteArray("\x11\x22\x33\x44")} << QList<int>{} << QStringList{"fragment"};
    QTest::newRow("noise, silence, noise") << QList{QByteArray("\x11\x22"), QByteArray("\x33\x44")}
                                           << QList{50} << QStringList{"fragment", "fragment"};
    QTest::newRow("two-line configuration frame")
        << QList{configFrame(true)} << QList<int>{}
        << QStringList{
               "config-frame: two-line module at 9600,n,8,1, a poll every 1.0 s: slave 1 "
               "function 03 register 0x0000; rows \"Tank 1\" \"Level\""};
    const QByteArray four = configFrame(false);
    QTest::newRow("four-line one, in two pieces")
        << QList{four.first(60), four.sliced(60)} << QList{40} << QStringList{kFourLine};
    for (const int count : {3, 4}) {
      for (const bool printable : {false, true}) {
        const QByteArray noise = noiseFoolingTheSum(four, count, printable);
        QTest::addRow("%d %s bytes of noise, then a four-line one", count,
                      printable ? "printable" : "unprintable")
            << QList{noise + four} << QList<int>{} << QStringList{"fragment", kFourLine};
        // The false start is whole before the frame's last bytes come.
        QTest::addRow("%d %s bytes of noise, silence, a four-line one, its end late", count,
                      printable ? "printable" : "unprintable")
            << QList{noise, four.first(132), four.sliced(132)} << QList{50, 50}
            << QStringList{"fragment", kFourLine};
      }
    }
    // Bytes after the frame that make the frame's tail and them pass the check: the rows of
    // such a candidate hold the frame's settings, never printable.
    std::uint8_t sum = 0;
    for (const char c : four.sliced(4)) sum = std::uint8_t(sum + std::uint8_t(c));
    // The candidate 4 bytes in: its last covered byte, its sum, its complement, its fill.
    QByteArray after(4, '\0');
    after[1] = char(sum);
    after[2] = char(0 - sum);
    QTest::newRow("a four-line one, then noise")
        << QList{four + after} << QList<int>{} << QStringList{kFourLine, "fragment"};
  }
  void framesToldApart() {
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QList<int>, gapsMs);
    QFETCH(QStringList, said);
    QCOMPARE(heard(chunks, gapsMs), said);
  }

  // The display of a module heard: the frames, each read 200 ms after the one before (a
  // configuration frame is taken once nothing that may still end later overlaps it).
  void displayDrawnFromWhatIsHeard_data() {
    QTest::addColumn<QList<QByteArray>>("frames");
    QTest::addColumn<QStringList>("readings");  // fields 1 to 4
    QTest::addColumn<QString>("note");          // a pattern; empty for the saved configuration
    const QString none = "not polled yet";
    const QByteArray poll1 = frame("010300000001"), poll2 = frame("030400200002"),
                     poll3 = frame("010300010001");
    const QByteArray reply1 = frame("010302000A");
    QTest::newRow("a poll and its reply")
        << QList{poll1, reply1} << QStringList{"0x0000000A", none, none, none} << QString();
    QTest::newRow("two registers: the high one first")
        << QList{poll2, frame("0304040001E240")} << QStringList{none, "0x0001E240", none, none}
        << QString();
    QTest::newRow("an exception reply")
        << QList{poll2, frame("038402")}
        << QStringList{none, "exception 02 (illegal data address)", none, none} << QString();
    QTest::newRow("the next poll follows without a reply")
        << QList{poll1, reply1, poll1, poll3} << QStringList{"no reply heard", none, none, none}
        << QString();
    QTest::newRow("a damaged reply")
        << QList{poll1, frame("010302000A").first(6) + '\0', poll3}
        << QStringList{"no valid reply heard", none, none, none} << QString();
    QTest::newRow("a poll answered, then the next poll")
        << QList{poll1, reply1, poll3} << QStringList{"0x0000000A", none, none, none} << QString();
    QTest::newRow("a reply to no poll") << QList{reply1} << QStringList(4, none) << QString();
    QTest::newRow("a reply that answers another poll")
        << QList{poll1, frame("0303020007"), frame("0104020007")} << QStringList(4, none)
        << QString();
    QTest::newRow("polls that are no field's")
        << QList{frame("010300020001"),   frame("0103020001"),   frame("010300000002"),
                 frame("01030400010002"), frame("010400000001"), frame("0104020001"),
                 frame("090300000001"),   frame("0903020001")}
        << QStringList(4, none) << QString();
    const QByteArray two = twoLineFrame();
    QTest::newRow("a configuration heard takes over")
        << QList{poll1, reply1, two, poll1, reply1, frame("050400100001"), frame("0504020063")}
        << QStringList{"0x00000063", none, none, none}
        << R"(^Drawing the configuration heard at \d\d:\d\d:\d\d\.\d{3}: two-line module, 1 field$)";
    // The same frame with function code 5, resealed: its check holds, no window sends it.
    QByteArray refused = two;
    refused[frame1602::kFunctionCode] = 5;
    std::uint8_t sum = 0;
    for (const char c : refused.first(frame1602::kSum)) sum = std::uint8_t(sum + std::uint8_t(c));
    refused[frame1602::kSum] = char(sum);
    refused[frame1602::kComplement] = char(0 - sum);
    QTest::newRow("a configuration no window sends")
        << QList{refused, poll1, reply1} << QStringList{"0x0000000A", none, none, none}
        << QString();
  }
  void displayDrawnFromWhatIsHeard() {
    QFETCH(QList<QByteArray>, frames);
    QFETCH(QStringList, readings);
    QFETCH(QString, note);
    HeardDisplay display(ModuleConfig{std::nullopt, threeFields()});
    FrameListener listener(1ms);
    const QDateTime t0 = QDateTime::currentDateTimeUtc();
    QStringList kinds;
    for (qsizetype i = 0; i <= frames.size(); ++i) {
      const qint64 ms = 200 * i;
      const auto events = i < frames.size()
                              ? listener.read(frames[i], ms * 1'000'000, t0.addMSecs(ms))
                              : listener.idle(ms * 1'000'000, t0.addMSecs(ms));
      for (const TrafficEvent& e : events) {
        display.take(e);
        kinds << kindName(e.kind);
      }
    }
    QCOMPARE(kinds.size(), frames.size());
    QCOMPARE(readingsText(display), readings);
    QCOMPARE(display.heard(), readings != QStringList(4, "not polled yet"));
    QVERIFY2(
        QRegularExpression(note.isEmpty() ? "^$" : note).match(display.configNote()).hasMatch(),
        qPrintable(display.configNote()));
  }

  void pollPlanSumsUpWhatTheMasterAsks() {
    Config2004 cfg;
    cfg.activeFields = 2;
    cfg.fields[0].dataType = DataType::Signed;
    cfg.fields[0].decimals = 1;
    cfg.fields[1].slaveAddress = 2;
    cfg.fields[1].functionCode = 4;
    cfg.fields[1].startRegister = 0x10;
    cfg.fields[1].dataType = DataType::LongInteger;
    PollPlan plan(ModuleConfig{std::nullopt, cfg});
    FrameListener listener(1ms);
    const QDateTime t0 = QDateTime::currentDateTimeUtc();
    qint64 ms = 0;
    const auto hear = [&](const QByteArray& bytes, int afterMs) {
      ms += afterMs;
      for (const TrafficEvent& e : listener.read(bytes, ms * 1'000'000, t0.addMSecs(ms)))
        plan.take(e);
    };
    for (int afterMs : {0, 400, 500, 600, 900}) {  // 420, 520, 620 and 920 ms apart
      hear(kRequest, afterMs);
      hear(kReply, 20);
    }
    const QByteArray twoRegisters = frame("020400100002");
    hear(twoRegisters, 10);  // unanswered
    hear(twoRegisters, 300);
    hear(frame("028402"), 20);
    hear(twoRegisters, 300);
    hear(frame("0204040001E240"), 20);
    hear(twoRegisters, 300);  // the last, its reply maybe still coming
    const std::vector<PollPlanRow> rows = plan.rows();
    QCOMPARE(rows.size(), std::size_t(2));
    QCOMPARE(rows[0].polls, 5);
    QCOMPARE(rows[0].medianIntervalMs, std::optional<qint64>(570));
    QCOMPARE(rows[0].replies, 5);
    QCOMPARE(rows[0].lastValue, "486.3");  // 0x12FF as Signed Integer, 1 decimal place
    QCOMPARE(rows[1].poll, (ReadRequest{2, 4, 0x10, 2}));
    QCOMPARE(rows[1].polls, 4);
    QCOMPARE(rows[1].replies, 1);
    QCOMPARE(rows[1].exceptions, 1);
    QCOMPARE(rows[1].unanswered, 1);
    QCOMPARE(lastReplyText(rows[1]), "0x0001 0xE240 = 123456");  // the high word first
    QCOMPARE(rows[0].fields, std::vector{1});
    QCOMPARE(rows[1].fields, std::vector{2});
    // A configuration heard names the fields from then on: its one field polls slave 2.
    Config1602 heard;
    heard.line = {9600, 0};
    heard.field = cfg.fields[1];
    TrafficEvent frameHeard;
    frameHeard.kind = EventKind::ConfigFrame;
    frameHeard.bytes = frameBytes(encodeConfig1602(heard)).bytes;
    plan.take(frameHeard);
    QCOMPARE(plan.rows()[0].fields, std::vector<int>{});
    QCOMPARE(plan.rows()[1].fields, std::vector{1});
  }

  // A master that polls ever new registers (or a line of noise) cannot grow the plan without
  // end: the polls heard longest ago go, and the plan says how many.
  void pollPlanKeepsThePollsHeardLast() {
    PollPlan plan;
    const auto poll = [&plan](int start) {
      TrafficEvent e;
      e.kind = EventKind::Request;
      e.bytes =
          frame(QByteArray("0103") + QByteArray::number(start, 16).rightJustified(4, '0') + "0001");
      plan.take(e);
    };
    for (int start = 0; start < int(PollPlan::kMostPolls); ++start) poll(start);
    poll(0);  // heard again: the last heard now
    for (int start = int(PollPlan::kMostPolls); start < int(PollPlan::kMostPolls) + 5; ++start)
      poll(start);
    const std::vector<PollPlanRow> rows = plan.rows();
    QCOMPARE(rows.size(), PollPlan::kMostPolls);
    QCOMPARE(plan.forgotten(), 5);
    QCOMPARE(rows[0].poll.start, 0);
    QCOMPARE(rows[0].polls, 2);
    QCOMPARE(rows[1].poll.start, 6);
    QVERIFY(
        plan.text().endsWith("\n5 other polls were heard longer ago and are forgotten: the "
                             "plan keeps the 1000 heard last.\n"));
  }

  void scanCountsFramesAndErrors() {
    ScanCounts counts;
    for (const EventKind kind :
         {EventKind::Request, EventKind::Response, EventKind::Exception, EventKind::ConfigFrame,
          EventKind::CrcError, EventKind::Fragment}) {
      TrafficEvent e;
      e.kind = kind;
      e.bytes = QByteArray(3, 'x');
      counts.take(e);
    }
    QCOMPARE(counts.validFrames, 4);
    QCOMPARE(counts.badFrames, 2);
    QCOMPARE(counts.bytes, 18);
  }

  void scanFindsTheSettings_data() {
    QTest::addColumn<QList<int>>("valid");  // the nine settings in scan order
    QTest::addColumn<QList<int>>("bad");
    QTest::addColumn<QString>("offered");
    QTest::addColumn<QString>("said");
    QTest::newRow("one setting carries frames")
        << QList{0, 0, 0, 12, 0, 3, 0, 0, 0} << QList{4, 4, 4, 0, 0, 9, 5, 5, 5} << "19200,n,8,1"
        << "The line runs at 19200,n,8,1 (12 valid frames, 0 bad).";
    QTest::newRow("fewer errors per valid frame")
        << QList{10, 0, 0, 12, 0, 0, 0, 0, 0} << QList{5, 0, 0, 1, 0, 0, 0, 0, 0} << "19200,n,8,1"
        << "The line runs at 19200,n,8,1 (12 valid frames, 1 bad).";
    QTest::newRow("8N1 and 8N2 alike")
        << QList{0, 0, 0, 11, 12, 0, 0, 0, 0} << QList{4, 4, 0, 0, 0, 0, 5, 5, 0} << "19200,n,8,1"
        << "19200,n,8,2 was heard alike";
    QTest::newRow("baud rates alike")
        << QList{9, 9, 0, 9, 9, 0, 9, 9, 0} << QList{0, 0, 0, 0, 0, 0, 0, 0, 0} << QString()
        << "does not tell baud rates apart";
    QTest::newRow("nothing heard")
        << QList<int>(9, 0) << QList<int>(9, 0) << QString() << "Nothing was heard";
  }
  void scanFindsTheSettings() {
    QFETCH(QList<int>, valid);
    QFETCH(QList<int>, bad);
    QFETCH(QString, offered);
    QFETCH(QString, said);
    std::vector<ScanCounts> counts;
    for (const LineSettings& s : scanSettings()) {
      const auto i = qsizetype(counts.size());
      counts.push_back({s, valid[i], bad[i], 8 * (valid[i] + bad[i]), {}});
      // The device refuses even parity: nothing heard there counts.
      if (s.parity == Parity::Even) counts.back() = {s, 0, 0, 0, "parity none instead of even"};
    }
    const ScanFinding finding = chooseSettings(counts);
    QCOMPARE(finding.best ? formatLineSettings(*finding.best) : QString(), offered);
    QVERIFY2(finding.summary.contains(said), qPrintable(finding.summary));
  }
};

QTEST_APPLESS_MAIN(tst_listen)
#include "tst_listen.moc"
