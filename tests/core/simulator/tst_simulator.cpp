#include "core/simulator/Responder.h"
#include "core/simulator/SlaveTable.h"

#include <QTemporaryDir>
#include <QtTest>

#include "SettingsFiles.h"

using namespace vantor;
using namespace vantor::test;

namespace {

QByteArray hex(const char* text) { return QByteArray::fromHex(text); }

// A slave from its six request bytes: address, function, start (2), count (2).
Slave slaveOf(const QByteArray& request, bool enabled = true) {
  const auto at = [&](int i) { return std::uint8_t(request.at(i)); };
  return {enabled, at(0), at(1), std::uint16_t(at(2) * 256 + at(3)), at(5)};
}

// Value lists chosen as bytes of element 0, 1, 2; empty for none chosen.
ValueLists listsOf(const QByteArray& chosen) {
  ValueLists lists;
  for (int e = 0; e < chosen.size(); ++e) lists[std::size_t(e)] = std::uint8_t(chosen.at(e));
  return lists;
}

}  // namespace

class TstSimulator : public QObject {
  Q_OBJECT

 private slots:
  void respond_data();
  void respond();
  void oneReplyPerRequest_data();
  void oneReplyPerRequest();
  void load1602_data();
  void load1602();
  void load2004();
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
  row("function code 04", "020400100001", true, "FFFF00", "020400100001303C", Verdict::Answered,
      "", "020402FFFFFC80");
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
      "slave 1 is polled with function 04 but configured for 03", "");
  row("start differs", "0103000A0001", true, "0A0000", "01030010000185CF", Verdict::StartDiffers,
      "slave 1 expects register 0x000A, the poll asks for 0x0010", "");
  row("count differs", holding1, true, "0A0000", "010300000002C40B", Verdict::CountDiffers,
      "slave 1 expects 1 register, the poll asks for 2", "");
  row("no value chosen", holding1, true, "", "010300000001840A", Verdict::NoValueChosen,
      "slave 1 has a value list with no entry chosen", "");
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
  const SlaveTable before{Slave{}, slaveOf(hex("020300000001")), slaveOf(hex("030300000001"))};

  const SlaveTableLoad load = loadSlaveTable1602(ini, before);
  QVERIFY2(!load.error, qPrintable(load.error.value_or("")));
  const SlaveView& view = load.views[0];
  QCOMPARE(view.address, shown[0]);
  QVERIFY(view.listsReset);
  QCOMPARE(view.firstReg, shown[1]);
  QCOMPARE(view.secondReg, shown[2]);
  QCOMPARE(load.table[0], slaveOf(hex(shown[3].toLatin1())));
  QVERIFY(load.disableOthers);
  for (int i = 1; i < kSlaveCount; ++i) QVERIFY(!load.table[std::size_t(i)].enabled);
}

// All four slaves load, whatever the number of active data fields.
void TstSimulator::load2004() {
  QTemporaryDir dir;
  IniFile ini(dir.path());
  writeKey(ini, "Settings", "AF", "1");
  const QStringList polls[] = {{"1", "0", "0", "3", "0"},
                               {"2", "0", "16", "4", "0"},
                               {"3", "39", "14", "3", "4"},
                               {"247", "255", "255", "4", "3"}};
  const QStringList names{"Saddr", "RHigh", "RLow", "Fcode", "DT"};
  for (int k = 0; k < 4; ++k)
    for (int i = 0; i < names.size(); ++i)
      writeKey(ini, "Cfg2004", names[i] + QString::number(k + 1), polls[k][i]);

  const SlaveTableLoad load = loadSlaveTable2004(ini);
  QVERIFY2(!load.error, qPrintable(load.error.value_or("")));
  QVERIFY(!load.disableOthers);
  const char* requests[] = {"010300000001", "020400100001", "0303270E0002", "F704FFFF0002"};
  const char* second[] = {"40001", "30017", "50000", "365537"};
  for (std::size_t i = 0; i < 4; ++i) {
    QCOMPARE(load.table[i], slaveOf(hex(requests[i])));
    QCOMPARE(load.views[i].secondReg, QString(second[i]));
  }
}

QTEST_GUILESS_MAIN(TstSimulator)
#include "tst_simulator.moc"
