#include "main/PollResponder.h"
#include "modbus/modcrc16.h"

#include <QtTest>

#include <map>

using namespace vantor;

namespace {

QByteArray hex(const char* text) {
  return QByteArray::fromHex(text);
}

std::array<std::uint8_t, kFrameSize> frameOf(const QByteArray& bytes) {
  std::array<std::uint8_t, kFrameSize> frame{};
  std::copy(bytes.begin(), bytes.end(), frame.begin());
  return frame;
}

void setSlave(modVar& vars, int slave, const QByteArray& request, bool enabled = true) {
  std::copy(request.begin(), request.end(), vars.slaveReq(slave).bytes.begin());
  vars.slaveReq(slave).enabled = enabled;
}

// Value lists of the simulator frame: key (slave, element) -> chosen position.
using Lists = std::map<std::pair<int, int>, std::uint8_t>;

PollResponder::ValueSource listsOf(const Lists& lists) {
  return [lists](int slave, int element) -> std::optional<std::uint8_t> {
    const auto it = lists.find({slave, element});
    return it == lists.end() ? std::nullopt : std::optional(it->second);
  };
}

// Lists of one slave; `chosen` holds elements 0, 1, 2 in that order, empty for no choice.
Lists slaveLists(int slave, const QByteArray& chosen) {
  Lists lists;
  for (int e = 0; e < chosen.size(); ++e) lists[{slave, e}] = static_cast<std::uint8_t>(chosen[e]);
  return lists;
}

}  // namespace

class TstModbus : public QObject {
  Q_OBJECT

 private slots:
  void checkValue_data();
  void checkValue();
  void countIsClampedToTheFrame();
  void answersTheMatchingSlave_data();
  void answersTheMatchingSlave();
  void oneReplyPerRequest_data();
  void oneReplyPerRequest();
  void fragmentChangesNothing_data();
  void fragmentChangesNothing();
  void byteDisplay_data();
  void byteDisplay();
};

void TstModbus::checkValue_data() {
  QTest::addColumn<QByteArray>("bytes");
  QTest::addColumn<QByteArray>("check");  // low byte first, as on the line

  QTest::newRow("read holding 1") << hex("010300000001") << hex("840A");
  QTest::newRow("read input 1") << hex("010400000001") << hex("31CA");
  QTest::newRow("high byte below 0x10") << hex("010300000002") << hex("C40B");
  QTest::newRow("one-register reply") << hex("010302000A") << hex("3843");
  QTest::newRow("two-register reply") << hex("01030400012345") << hex("7330");
  QTest::newRow("input reply all ones") << hex("020402FFFF") << hex("FC80");
  QTest::newRow("catalogue check 123456789") << QByteArray("123456789") << hex("374B");
  QTest::newRow("nothing") << QByteArray() << hex("FFFF");
}

void TstModbus::checkValue() {
  QFETCH(QByteArray, bytes);
  QFETCH(QByteArray, check);
  const CheckValue value = CRC16(frameOf(bytes), static_cast<int>(bytes.size()));
  QCOMPARE(value.lo, static_cast<std::uint8_t>(check[0]));
  QCOMPARE(value.hi, static_cast<std::uint8_t>(check[1]));
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.constData());
  QCOMPARE(crc16({data, static_cast<std::size_t>(bytes.size())}), value.lo | value.hi << 8);
}

void TstModbus::countIsClampedToTheFrame() {
  std::array<std::uint8_t, kFrameSize> frame{};
  frame.fill(0x5A);
  QVERIFY(CRC16(frame, -3) == CRC16(frame, 0));
  QVERIFY(CRC16(frame, 1000) == CRC16(frame, kFrameSize));
}

void TstModbus::answersTheMatchingSlave_data() {
  QTest::addColumn<QByteArray>("expected");  // slave 1's expected request
  QTest::addColumn<bool>("enabled");
  QTest::addColumn<QByteArray>("chosen");  // value list elements 0, 1, 2
  QTest::addColumn<QByteArray>("rx");
  QTest::addColumn<QString>("status");
  QTest::addColumn<QByteArray>("reply");

  const QByteArray holding1 = hex("010300000001");
  QTest::newRow("one register") << holding1 << true << hex("0A0000") << hex("010300000001840A")
                                << "CRC Validated" << hex("010302000A3843");
  QTest::newRow("two registers") << hex("010300000002") << true << hex("452301")
                                 << hex("010300000002C40B") << "CRC Validated"
                                 << hex("010304000123457330");
  QTest::newRow("input register 0x0010")
      << hex("020400100001") << true << hex("FFFF00") << hex("020400100001303C") << "CRC Validated"
      << hex("020402FFFFFC80");
  QTest::newRow("largest two-register value")
      << hex("010300000002") << true << hex("FFFF0F") << hex("010300000002C40B") << "CRC Validated"
      << hex("010304000FFFFFCB80");
  QTest::newRow("stray bytes after the request dropped")
      << holding1 << true << hex("0A0000") << hex("010300000001840AFFEE") << "CRC Validated"
      << hex("010302000A3843");
  QTest::newRow("wrong check byte") << holding1 << true << hex("0A0000") << hex("010300000001840B")
                                    << "CRC Error" << QByteArray();
  QTest::newRow("check bytes swapped") << holding1 << true << hex("0A0000")
                                       << hex("0103000000010A84") << "CRC Error" << QByteArray();
  QTest::newRow("register count differs")
      << holding1 << true << hex("0A0000") << hex("010300000002C40B") << "CRC Validated"
      << QByteArray();
  QTest::newRow("other slave address")
      << holding1 << true << hex("0A0000") << hex("0203000000018439") << "CRC Validated"
      << QByteArray();
  QTest::newRow("disabled slave silent")
      << holding1 << false << hex("0A0000") << hex("010300000001840A") << "CRC Validated"
      << QByteArray();
  QTest::newRow("no value chosen, no reply")
      << holding1 << true << QByteArray() << hex("010300000001840A") << "CRC Validated"
      << QByteArray();
}

void TstModbus::answersTheMatchingSlave() {
  QFETCH(QByteArray, expected);
  QFETCH(bool, enabled);
  QFETCH(QByteArray, chosen);
  QFETCH(QByteArray, rx);
  QFETCH(QString, status);
  QFETCH(QByteArray, reply);

  modVar vars;
  setSlave(vars, 1, expected, enabled);
  PollResponder responder(vars, listsOf(slaveLists(1, chosen)));

  QCOMPARE(responder.HandleCommEvent(rx), reply);
  QCOMPARE(responder.display().rxData, formatBytes(rx.left(8)));
  QCOMPARE(responder.display().status, status);
  QCOMPARE(responder.display().txData, formatBytes(reply));
  QCOMPARE(vars.gRxData, rx);
}

void TstModbus::oneReplyPerRequest_data() {
  QTest::addColumn<QByteArray>("slave2");
  QTest::addColumn<QByteArray>("rx");
  QTest::addColumn<QByteArray>("reply");

  // Slave 1 expects 01 03 00 00 00 01 and holds 0x000A; its reply starts 01 03 02 00 0A 38.
  QTest::newRow("identical slaves: lower one answers")
      << hex("010300000001") << hex("010300000001840A") << hex("010302000A3843");
  QTest::newRow("slave shaped like the reply stays silent")
      << hex("010302000A38") << hex("010300000001840A") << hex("010302000A3843");
  QTest::newRow("second slave answers its own request")
      << hex("010300000002") << hex("010300000002C40B") << hex("010304000C0B0ABD07");
}

void TstModbus::oneReplyPerRequest() {
  QFETCH(QByteArray, slave2);
  QFETCH(QByteArray, rx);
  QFETCH(QByteArray, reply);

  modVar vars;
  setSlave(vars, 1, hex("010300000001"));
  setSlave(vars, 2, slave2);
  Lists lists = slaveLists(1, hex("0A0000"));
  lists.merge(slaveLists(2, hex("0A0B0C")));
  PollResponder responder(vars, listsOf(lists));

  QCOMPARE(responder.HandleCommEvent(rx), reply);
}

void TstModbus::fragmentChangesNothing_data() {
  QTest::addColumn<QByteArray>("fragment");
  QTest::newRow("empty read") << QByteArray();
  QTest::newRow("one byte") << hex("01");
  QTest::newRow("seven bytes") << hex("01030000000184");
}

void TstModbus::fragmentChangesNothing() {
  QFETCH(QByteArray, fragment);
  modVar vars;
  setSlave(vars, 1, hex("010300000001"));
  PollResponder responder(vars, listsOf(slaveLists(1, hex("0A0000"))));
  const QByteArray request = hex("010300000001840A");
  responder.HandleCommEvent(request);
  const auto frame = vars.gFrame;
  const PollResponder::Display shown = responder.display();

  QVERIFY(responder.HandleCommEvent(fragment).isEmpty());
  QCOMPARE(vars.gRxData, request);
  QVERIFY(vars.gFrame == frame);
  QCOMPARE(responder.display().rxData, shown.rxData);
  QCOMPARE(responder.display().txData, shown.txData);
  QCOMPARE(responder.display().status, shown.status);
}

void TstModbus::byteDisplay_data() {
  QTest::addColumn<QByteArray>("bytes");
  QTest::addColumn<QString>("shown");
  QTest::newRow("request") << hex("010300000001840A") << "01 03 00 00 00 01 84 0A ";
  QTest::newRow("leading zero and upper case") << hex("000AFF") << "00 0A FF ";
  QTest::newRow("nothing") << QByteArray() << "";
}

void TstModbus::byteDisplay() {
  QFETCH(QByteArray, bytes);
  QFETCH(QString, shown);
  QCOMPARE(formatBytes(bytes), shown);
}

QTEST_GUILESS_MAIN(TstModbus)
#include "tst_modbus.moc"
