#include "core/config/Config1602.h"
#include "core/config/Config2004.h"
#include "core/monitor/BusCounters.h"
#include "core/simulator/BenchScenario.h"
#include "core/simulator/Faults.h"
#include "core/simulator/Responder.h"
#include "core/simulator/Serving.h"
#include "core/simulator/SlaveTable.h"

#include <QTemporaryDir>
#include <QtTest>

#include "SettingsFiles.h"

using namespace vantor;
using namespace vantor::test;

namespace {

QByteArray hex(const char* text) {
  return QByteArray::fromHex(text);
}

// A slave from its six request bytes: address, function, start (2), count (2).
Slave slaveOf(const QByteArray& request, bool enabled = true) {
  const auto at = [&](int i) { return std::uint8_t(request.at(i)); };
  return {enabled, at(0), at(1), std::uint16_t(at(2) * 256 + at(3)), at(5)};
}

// The six request bytes a slave answers.
QByteArray pollOf(const Slave& s) {
  const char bytes[] = {char(s.address),
                        char(s.functionCode),
                        char(s.startRegister >> 8),
                        char(s.startRegister & 0xFF),
                        0,
                        char(s.registerCount)};
  return QByteArray(bytes, sizeof bytes);
}

// Value lists chosen as bytes of element 0, 1, 2; empty for none chosen.
ValueLists listsOf(const QByteArray& chosen) {
  ValueLists lists;
  for (std::size_t e = 0; e < lists.size() && e < std::size_t(chosen.size()); ++e)
    lists[e] = std::uint8_t(chosen.at(qsizetype(e)));
  return lists;
}

}  // namespace

class TstSimulator : public QObject {
  Q_OBJECT

 private slots:
  void respond_data();
  void respond();
  void answerEveryPoll_data();
  void answerEveryPoll();
  void oneReplyPerRequest_data();
  void oneReplyPerRequest();
  void load1602_data();
  void load1602();
  void pollsFollowTheFrame_data();
  void pollsFollowTheFrame();
  void servingKeepsItsPlaceAcrossPlans();
  void faultsOnTheLine_data();
  void faultsOnTheLine();
  void benchScenario_data();
  void benchScenario();
};

void TstSimulator::respond_data() {
  QTest::addColumn<QByteArray>("slave1");  // slave 1's six request bytes
  QTest::addColumn<bool>("enabled");
  QTest::addColumn<QByteArray>("chosen");
  QTest::addColumn<QByteArray>("rx");
  QTest::addColumn<int>("verdict");
  QTest::addColumn<QString>("reason");
  QTest::addColumn<QByteArray>("reply");
  const auto row = [](const char* name, const char* slave1, bool enabled, const char* chosen,
                      const char* rx, Verdict verdict, const char* reason, const char* reply) {
    QTest::newRow(name) << hex(slave1) << enabled << hex(chosen) << hex(rx) << int(verdict)
                        << QString(reason) << hex(reply);
  };
  const char* holding1 = "010300000001";
  row("one register", holding1, true, "0A0000", "010300000001840A", Verdict::Answered, "",
      "010302000A3843");
  row("two registers, high register first", "010300000002", true, "452301", "010300000002C40B",
      Verdict::Answered, "", "010304000123457330");
  row("function code 04", "020400100001", true, "FFFF00", "020400100001303C", Verdict::Answered, "",
      "020402FFFFFC80");
  row("ten bytes: the two after the request dropped", holding1, true, "0A0000",
      "010300000001840AFFEE", Verdict::Answered, "", "010302000A3843");
  row("wrong check byte", holding1, true, "0A0000", "010300000001840B", Verdict::CrcError, "", "");
  row("check bytes swapped", holding1, true, "0A0000", "0103000000010A84", Verdict::CrcError, "",
      "");
  row("no such address", holding1, true, "0A0000", "050300000001858E", Verdict::NoSuchAddress,
      "no simulated slave has address 5", "");
  row("disabled slave silent", holding1, false, "0A0000", "010300000001840A",
      Verdict::NoSuchAddress, "no simulated slave has address 1", "");
  row("function differs", holding1, true, "0A0000", "01040000000131CA", Verdict::FunctionDiffers,
      "slave 1 (field 1) is polled with function 04 but configured for 03", "");
  row("start differs", "0103000A0001", true, "0A0000", "01030010000185CF", Verdict::StartDiffers,
      "slave 1 (field 1) expects register 0x000A, the poll asks for 0x0010", "");
  row("count differs", holding1, true, "0A0000", "010300000002C40B", Verdict::CountDiffers,
      "slave 1 (field 1) expects 1 register, the poll asks for 2", "");
  row("no value chosen", holding1, true, "", "010300000001840A", Verdict::NoValueChosen,
      "slave 1 (field 1) has a value list with no entry chosen", "");
}

void TstSimulator::respond() {
  QFETCH(QByteArray, slave1);
  QFETCH(bool, enabled);
  QFETCH(QByteArray, chosen);
  QFETCH(QByteArray, rx);
  QFETCH(int, verdict);
  QFETCH(QString, reason);
  QFETCH(QByteArray, reply);
  const SlaveTable table{slaveOf(slave1, enabled)};
  const Response r = vantor::respond(rx, table, {listsOf(chosen)});
  QCOMPARE(int(r.verdict), verdict);
  QCOMPARE(r.request, rx.left(8));
  QCOMPARE(r.reply, reply);
  QCOMPARE(reasonText(r), reason);
  QCOMPARE(statusText(r.verdict),
           r.verdict == Verdict::CrcError ? QString("CRC Error") : QString("CRC Validated"));
}

// Served from a plan: slave 1 holds 0x12345 in registers 100 and 101 of address 1 (function
// 03), slave 2 holds 0x0B0A in input register 0 of address 2. With every poll answered, any
// other valid read gets its registers from them, else from the map, else 0, for no slave.
void TstSimulator::answerEveryPoll_data() {
  QTest::addColumn<bool>("answerAll");
  QTest::addColumn<QByteArray>("rx");  // the check value is added, or spoilt for "broken"
  QTest::addColumn<int>("verdict");
  QTest::addColumn<int>("counted");       // the slave the request is counted for; 0 the total only
  QTest::addColumn<QByteArray>("reply");  // without its check value
  const auto row = [](const char* name, bool on, const char* rx, Verdict verdict, int counted,
                      const QByteArray& reply) {
    QTest::newRow(name) << on << hex(rx) << int(verdict) << counted << reply;
  };
  row("off: unconfigured address", false, "050300000002", Verdict::NoSuchAddress, 0, {});
  row("off: other registers of slave 1", false, "010300630004", Verdict::StartDiffers, 1, {});
  row("map and zero", true, "050300000002", Verdict::AnsweredAll, 0, hex("05030412340000"));
  row("map keyed by function", true, "050400000001", Verdict::AnsweredAll, 0, hex("0504025678"));
  row("overlapping slave 1", true, "010300630004", Verdict::AnsweredAll, 0,
      hex("0103080063000123450000"));
  row("slave 2's address, other function", true, "020300000001", Verdict::AnsweredAll, 0,
      hex("0203020000"));
  row("exact match as today", true, "010300640002", Verdict::Answered, 1, hex("01030400012345"));
  row("up to register 0xFFFF", true, "0503FF83007D", Verdict::AnsweredAll, 0,
      hex("0503FA") + QByteArray(250, 0));
  row("past register 0xFFFF", true, "0503FF84007D", Verdict::AnsweredAll, 0, hex("058302"));
  row("count 0", true, "050300000000", Verdict::NoSuchAddress, 0, {});
  row("count 126", true, "05030000007E", Verdict::NoSuchAddress, 0, {});
  row("function 06", true, "050600000001", Verdict::NoSuchAddress, 0, {});
  row("broadcast", true, "000300000001", Verdict::NoSuchAddress, 0, {});
  row("address 248", true, "F80300000001", Verdict::NoSuchAddress, 0, {});
  row("broken", true, "050300000001", Verdict::CrcError, 0, {});
}

void TstSimulator::answerEveryPoll() {
  QFETCH(bool, answerAll);
  QFETCH(QByteArray, rx);
  QFETCH(QByteArray, reply);
  auto plan = std::make_shared<ServePlan>();
  plan->table = {slaveOf(hex("010300640002")), slaveOf(hex("020400000001"))};
  plan->values = {valueListsOf(0x12345), valueListsOf(0x0B0A)};
  plan->answerAll = answerAll;
  plan->registerMap = {{{5, 3, 0}, 0x1234}, {{5, 4, 0}, 0x5678}, {{1, 3, 99}, 0x0063}};
  ServingState state;
  state.use(plan);
  const CheckValue check = checkValue(rx);
  const bool broken = QByteArray(QTest::currentDataTag()) == "broken";
  rx.append(char(check.lo)).append(char(broken ? ~check.hi : check.hi));
  const Response r = state.judge(rx).response;
  QTEST(int(r.verdict), "verdict");
  QCOMPARE(r.reply, reply.isEmpty() ? reply : withCheckValue(reply));

  // The log says how it was answered, and nothing of it is put down to a slave it was not.
  const auto events = eventsOf(r, QDateTime::currentDateTimeUtc());
  if (r.verdict == Verdict::AnsweredAll) {
    QVERIFY(describe(events[0]).startsWith("CRC Validated, answered (answer every poll"));
    QCOMPARE(events[1].slave, 0);
  }
  BusCounters counters;
  counters.setTable(plan->table);
  for (const TrafficEvent& e : events) counters.record(e);
  QFETCH(int, counted);
  for (int slave = 1; slave <= 2; ++slave) {
    QCOMPARE(counters.counts(slave).requests, slave == counted ? 1 : 0);
    QCOMPARE(counters.counts(slave).replies, slave == counted && !reply.isEmpty() ? 1 : 0);
  }
}

void TstSimulator::oneReplyPerRequest_data() {
  QTest::addColumn<QByteArray>("slave2");
  QTest::addColumn<QByteArray>("rx");
  QTest::addColumn<int>("slave");
  QTest::addColumn<QByteArray>("reply");
  // Slave 1 expects 01 03 00 00 00 01 and holds 0x000A; its reply starts 01 03 02 00 0A 38.
  QTest::newRow("identical slaves: lower one answers")
      << hex("010300000001") << hex("010300000001840A") << 1 << hex("010302000A3843");
  QTest::newRow("slave shaped like the reply stays silent")
      << hex("010302000A38") << hex("010300000001840A") << 1 << hex("010302000A3843");
  QTest::newRow("second slave answers its own request")
      << hex("010300000002") << hex("010300000002C40B") << 2 << hex("010304000C0B0ABD07");
}

void TstSimulator::oneReplyPerRequest() {
  QFETCH(QByteArray, slave2);
  QFETCH(QByteArray, rx);
  QFETCH(int, slave);
  QFETCH(QByteArray, reply);
  const SlaveTable table{slaveOf(hex("010300000001")), slaveOf(slave2)};
  const Response r = vantor::respond(rx, table, {listsOf(hex("0A0000")), listsOf(hex("0A0B0C"))});
  QCOMPARE(r.slave, slave);
  QCOMPARE(r.reply, reply);
}

void TstSimulator::load1602_data() {
  QTest::addColumn<QStringList>("keys");   // Saddr, RHigh, RLow, Fcode, DT
  QTest::addColumn<QStringList>("shown");  // address, first and second register, request
  const auto row = [](const char* name, const QStringList& keys, const QStringList& shown) {
    QTest::newRow(name) << keys << shown;
  };
  row("input register 9, last 16-bit type", {"1", "0", "9", "4", "2"},
      {"1", "n / a", "30010", "010400090001"});
  row("register 9999", {"1", "39", "15", "3", "0"}, {"1", "n / a", "410000", "0103270F0001"});
  row("32-bit, second label crosses a digit", {"1", "39", "14", "3", "3"},
      {"1", "49999", "50000", "0103270E0002"});
  row("highest register", {"255", "255", "255", "3", "4"},
      {"255", "465536", "465537", "FF03FFFF0002"});
}

// Slave 1 takes the two-line module's settings, slaves 2 to 4 fall silent.
void TstSimulator::load1602() {
  QFETCH(QStringList, keys);
  QFETCH(QStringList, shown);
  QTemporaryDir dir;
  IniFile ini(dir.path());
  const QStringList names{"Saddr", "RHigh", "RLow", "Fcode", "DT"};
  for (int i = 0; i < names.size(); ++i) writeKey(ini, "Cfg1602", names[i], keys[i]);

  const SlaveTableLoad load = loadSlaveTable1602(ini);
  const SlaveView& view = load.views[0];
  QCOMPARE(view.address, shown[0]);
  QCOMPARE(view.firstReg, shown[1]);
  QCOMPARE(view.secondReg, shown[2]);
  QCOMPARE(pollOf(load.table[0]), hex(shown[3].toLatin1()));
  for (int i = 1; i < kSlaveCount; ++i) {
    QVERIFY(!load.table[std::size_t(i)].enabled);
    QCOMPARE(load.views[std::size_t(i)].address, QString("Disabled"));
  }
}

void TstSimulator::pollsFollowTheFrame_data() {
  QTest::addColumn<QString>("key");
  QTest::addColumn<QString>("value");  // "(none)": the key is missing
  QTest::addColumn<bool>("defaulted");
  const auto row = [](const char* key, const char* value, bool defaulted) {
    QTest::addRow("%s=%s", key, value) << key << value << defaulted;
  };
  row("Saddr", "3.5", false);
  row("Saddr", "+5", false);
  row("Saddr", " 17 ", false);
  row("Saddr", "0", true);
  row("Saddr", "abc", true);
  row("Saddr", "(none)", true);
  row("RHigh", "2.5", false);
  row("RLow", "256", true);
  row("Fcode", "6", false);
  row("Fcode", "three", true);
  row("DT", "7", true);
  row("DT", "-1", true);
  row("DT", "3", false);
}

// Whatever the file holds, the simulator expects exactly the polls the module would send after
// receiving the frame built from the same file: address, function code, start register, and
// one or two registers by data type. Keys it had to default are named.
void TstSimulator::pollsFollowTheFrame() {
  QFETCH(QString, key);
  QFETCH(QString, value);
  QFETCH(bool, defaulted);
  for (const bool fourLine : {false, true}) {
    QTemporaryDir dir;
    IniFile ini(dir.path());
    const QString section = fourLine ? "Cfg2004" : "Cfg1602";
    const QString suffix = fourLine ? "2" : "";
    writeKey(ini, section, "CSet", "9600,n,8,1");
    for (const QString name : {"Saddr", "RHigh", "RLow", "Fcode", "DT"})
      if (name != key) writeKey(ini, section, name + suffix, "2");
    if (value != "(none)") writeKey(ini, section, key + suffix, value);

    const SlaveTableLoad load = fourLine ? loadSlaveTable2004(ini) : loadSlaveTable1602(ini);
    const QByteArray frame = fourLine ? frameBytes(encodeConfig2004(loadConfig2004(ini).cfg)).bytes
                                      : frameBytes(encodeConfig1602(loadConfig1602(ini).cfg)).bytes;
    const auto at = [&](int i) { return std::uint8_t(frame.at(i)); };
    const Slave& slave = load.table[fourLine ? 1 : 0];
    const int request = fourLine ? 84 + 4 : 39;  // address, function, start hi, start lo
    const int start = fourLine ? request + 2 : 37;
    const int type = fourLine ? 104 + 1 : 36;
    QCOMPARE(slave.address, at(request));
    QCOMPARE(slave.functionCode, at(request + 1));
    QCOMPARE(slave.startRegister, at(start) * 256 + at(start + 1));
    QCOMPARE(slave.registerCount, at(type) >= 3 ? 2 : 1);
    QCOMPARE(load.noticeDetails.contains(key + suffix + " ") ||
                 load.noticeDetails.contains(key + suffix + ","),
             defaulted);
  }
}

QTEST_GUILESS_MAIN(TstSimulator)
#include "tst_simulator.moc"

// A sweep runs on where it was when a new plan keeps it, and moves only with a reply; a changed
// fault counts its polls afresh.
void TstSimulator::servingKeepsItsPlaceAcrossPlans() {
  auto plan = std::make_shared<ServePlan>();
  plan->table[0] = slaveOf(hex("010300000001"));
  plan->sweeps[0] = Sweep::ramp(10, 30, 10);
  plan->faults[0] = {FaultKind::Silent, 6, 0, 0, 2};
  ServingState state;
  state.use(plan);
  QStringList replies;
  const auto poll = [&] {
    const QByteArray reply = state.judge(hex("010300000001840A")).response.reply;
    replies << (reply.isEmpty()             ? QString("-")
                : (reply.at(1) & 0x80) != 0 ? QString("E")
                                            : QString::number(reply.at(4)));
  };
  for (int i = 0; i < 2; ++i) poll();
  auto next = std::make_shared<ServePlan>(*plan);
  next->faults[0] = {FaultKind::Exception, 6, 0, 0, 3};
  state.use(next);
  for (int i = 0; i < 3; ++i) poll();
  state.use(next);  // the same plan again changes nothing
  poll();
  QCOMPARE(replies.join(' '), QString("10 - 20 30 E 20"));
}

// What each fault puts on the line instead of slave 1's reply 00 0A (or slave 247's).
void TstSimulator::faultsOnTheLine_data() {
  QTest::addColumn<QString>("fault");  // as a command line gives it
  QTest::addColumn<int>("address");
  QTest::addColumn<QByteArray>("bytes");
  QTest::addColumn<QString>("note");
  QTest::newRow("silent") << "silent" << 1 << QByteArray() << "no reply: fault on slave 1 (field 1)";
  QTest::newRow("exception 06") << "exception:6" << 1 << hex("018306C132") << "exception 06 sent";
  QTest::newRow("a broken check value")
      << "bad-crc" << 1 << hex("010302000A38BC") << "reply with a broken check value sent";
  QTest::newRow("the next address")
      << "wrong-address" << 1 << hex("020302000A7C43") << "reply from address 2 sent";
  QTest::newRow("the next address after 247")
      << "wrong-address" << 247 << hex("010302000A3843") << "reply from address 1 sent";
}

void TstSimulator::faultsOnTheLine() {
  QFETCH(QString, fault);
  QFETCH(int, address);
  SlaveTable table{};
  table[0] = slaveOf(QByteArray(1, char(address)) + hex("0300000001"));
  ChosenValues values{};
  values[0] = valueListsOf(0x0A);
  QByteArray request = pollOf(table[0]);
  const CheckValue check = checkValue(request);
  request.append(char(check.lo)).append(char(check.hi));
  Response response = vantor::respond(request, table, values);
  applyFault(response, *parseFault(fault));
  QTEST(response.reply, "bytes");
  QTEST(response.note, "note");
}

// A scenario file read for the four-line module (slave 1 signed with one decimal place, slave 3
// BCD) or the two-line one (slave 1 only): a good one comes back the same when its controls are
// written out again; a refused one says which file and what in it.
void TstSimulator::benchScenario_data() {
  QTest::addColumn<QString>("module");
  QTest::addColumn<QByteArray>("json");
  QTest::addColumn<QString>("error");  // empty: read
  const auto row = [](const char* name, const char* module, const char* json, const char* error) {
    QTest::newRow(name) << QString(module) << QByteArray(json) << QString(error);
  };
  row("four slaves", "2004",
      R"({"vantor-bench": 1, "module": "2004", "slaves": {"1": {"typed": "-12.5", "fault":
      "exception:6/5", "delay": "50-150"}, "2": {"ramp": "0:100:10", "fault": "none/3", "delay":
      "40"}, "3": {"value": "0x1234", "random": "10:99", "fault": "bad-crc"}, "4": {}}})",
      "");
  row("two-line", "1602", R"({"vantor-bench": 1, "module": "1602", "slaves": {"1":
      {"value": "0x0007", "fault": "silent"}}})",
      "");
  row("malformed", "2004", R"({"vantor-bench": 1, "module": "2004",)", " is not a bench scenario:");
  row("no version", "2004", R"({"module": "2004"})",
      " is not a bench scenario: it has no \"vantor-bench\" version.");
  row("version 2", "2004", R"({"vantor-bench": 2, "module": "2004"})",
      " is a bench scenario of version 2;");
  row("the other module", "2004", R"({"vantor-bench": 1, "module": "1602"})",
      " is for the 1602 module, not the 2004 module.");
  row("a slave not configured", "1602",
      R"({"vantor-bench": 1, "module": "1602", "slaves": {"2": {"value": "1"}}})",
      ": slave 2 is not configured for the 1602 module.");
  row("no such slave", "2004",
      R"({"vantor-bench": 1, "module": "2004", "slaves": {"5": {"value": "1"}}})",
      ": there is no slave \"5\"");
  row("a fault that is none", "2004",
      R"({"vantor-bench": 1, "module": "2004", "slaves": {"1": {"fault": "loud"}}})",
      ": slave 1: fault \"loud\": give silent, exception:CODE (1, 2, 3, 4 or 6), bad-crc or "
      "wrong-address, optionally followed by /N");
  row("a value the type cannot carry", "2004",
      R"({"vantor-bench": 1, "module": "2004", "slaves": {"1": {"typed": "4000"}}})",
      ": slave 1: typed \"4000\": Give a number from -3276.8 to 3276.7");
  row("a ramp without a step", "2004",
      R"({"vantor-bench": 1, "module": "2004", "slaves": {"3": {"ramp": "0:10"}}})",
      ": slave 3: ramp \"0:10\": give FROM:TO:STEP");
  row("a misspelt control", "2004",
      R"({"vantor-bench": 1, "module": "2004", "slaves": {"1": {"valeu": "1"}}})",
      ": slave 1: unknown control \"valeu\"");
}

void TstSimulator::benchScenario() {
  QFETCH(QString, module);
  QFETCH(QByteArray, json);
  QFETCH(QString, error);
  SlaveTable table{};
  for (std::size_t i = 0; i < (module == "1602" ? 1 : kSlaveCount); ++i)
    table[i] = {true, std::uint8_t(i + 1), 3, 0, 1};
  table[0].dataType = DataType::Signed;
  table[0].decimals = 1;
  table[2].dataType = DataType::Bcd;
  QTemporaryDir dir;
  const QString path = dir.filePath("bench.vbench");
  QVERIFY(writeFileBytes(path, json));
  const BenchRead read = readBenchScenario(path, module, table);
  if (!error.isEmpty()) {
    QVERIFY(!read.scenario);
    QVERIFY2(read.error.startsWith(path + error), qPrintable(read.error));
    return;
  }
  QVERIFY2(read.scenario, qPrintable(read.error));
  // The controls, written as the window writes them, are the texts the file gave.
  std::array<BenchTexts, kSlaveCount> written;
  for (std::size_t i = 0; i < kSlaveCount; ++i) {
    const SlaveBench& c = read.scenario->controls[i];
    const TypedFormat format{table[i].dataType, table[i].decimals};
    const auto typed = read.scenario->slaves[i].find(BenchKey::Typed);
    if (const auto value =
            valueControl(typed == read.scenario->slaves[i].end() ? QString() : typed->second,
                         c.raw.value_or(0), format))
      written[i].insert(*value);
    for (const auto& [key, text] : {std::pair{BenchKey::Fault, faultText(c.fault)},
                                    std::pair{BenchKey::Delay, delayText(c.fault)}})
      if (!text.isEmpty()) written[i][key] = text;
    if (c.sweep) written[i].insert(sweepText(*c.sweep, format));
    QCOMPARE(written[i], read.scenario->slaves[i]);
  }
  QVERIFY(writeBenchScenario(path, module, written, nullptr));
  const BenchRead again = readBenchScenario(path, module, table);
  QVERIFY2(again.scenario, qPrintable(again.error));
  QCOMPARE(again.scenario->slaves, read.scenario->slaves);
  if (module == "1602")  // the layout a person reads
    QCOMPARE(fileBytes(path),
             "{\n  \"vantor-bench\": 1,\n  \"module\": \"1602\",\n  \"slaves\": {\n"
             "    \"1\": {\"value\": \"0x0007\", \"fault\": \"silent\"}\n  }\n}\n");
}
