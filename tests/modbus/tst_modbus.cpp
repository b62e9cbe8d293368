#include "main/PollResponder.h"
#include "modbus/modcrc16.h"

#include <QtTest>

#include <map>

using namespace vantor;

namespace {

QByteArray hex(const char* text) {
  return QByteArray::fromHex(text);
}

void setSlave(modVar& vars, int slave, const QByteArray& request, bool enabled = true) {
  std::copy(request.begin(), request.end(), vars.slaveReq(slave).bytes.begin());
  vars.slaveReq(slave).enabled = enabled;
}

// Chosen positions of the value lists, by slave: elements 0, 1, 2 in that order; none for a
// slave not listed or listed with nothing.
PollResponder::ValueSource listsOf(const std::map<int, QByteArray>& chosen) {
  return [chosen](int slave, int element) -> std::optional<std::uint8_t> {
    const auto it = chosen.find(slave);
    if (it == chosen.end() || it->second.isEmpty()) return std::nullopt;
    return static_cast<std::uint8_t>(it->second.at(element));
  };
}

}  // namespace

class TstModbus : public QObject {
  Q_OBJECT

 private slots:
  void checkValue();
  void answersTheMatchingSlave_data();
  void answersTheMatchingSlave();
  void oneReplyPerRequest_data();
  void oneReplyPerRequest();
  void fragmentChangesNothing();
  void byteDisplay();
};

// Check values as they go on the line, low byte first.
void TstModbus::checkValue() {
  const auto check = [](const QByteArray& bytes) {
    std::array<std::uint8_t, kFrameSize> frame{};
    std::copy(bytes.begin(), bytes.end(), frame.begin());
    const CheckValue value = CRC16(frame, static_cast<int>(bytes.size()));
    return QByteArray(1, static_cast<char>(value.lo)).append(static_cast<char>(value.hi));
  };
  QCOMPARE(check(hex("010300000001")), hex("840A"));
  QCOMPARE(check("123456789"), hex("374B"));  // the catalogue check value
  QCOMPARE(check({}), hex("FFFF"));
}

void TstModbus::answersTheMatchingSlave_data() {
  QTest::addColumn<QByteArray>("expected");  // slave 1's expected request
  QTest::addColumn<bool>("enabled");
  QTest::addColumn<QByteArray>("chosen");  // value list elements 0, 1, 2; empty for none
  QTest::addColumn<QByteArray>("rx");
  QTest::addColumn<QString>("status");
  QTest::addColumn<QByteArray>("reply");
  const auto row = [](const char* name, const char* expected, bool enabled, const char* chosen,
                      const char* rx, const char* status, const char* reply) {
    QTest::newRow(name) << hex(expected) << enabled << hex(chosen) << hex(rx) << status
                        << hex(reply);
  };
  const char* holding1 = "010300000001";
  const char* ok = "CRC Validated";
  row("one register", holding1, true, "0A0000", "010300000001840A", ok, "010302000A3843");
  row("two registers", "010300000002", true, "452301", "010300000002C40B", ok,
      "010304000123457330");
  row("function code 04", "020400100001", true, "FFFF00", "020400100001303C", ok, "020402FFFFFC80");
  row("ten bytes: the two after the request dropped", holding1, true, "0A0000",
      "010300000001840AFFEE", ok, "010302000A3843");
  row("wrong check byte", holding1, true, "0A0000", "010300000001840B", "CRC Error", "");
  row("check bytes swapped", holding1, true, "0A0000", "0103000000010A84", "CRC Error", "");
  row("register count differs", holding1, true, "0A0000", "010300000002C40B", ok, "");
  row("no such slave", holding1, true, "0A0000", "0203000000018439", ok, "");
  row("disabled slave silent", holding1, false, "0A0000", "010300000001840A", ok, "");
  row("no value chosen", holding1, true, "", "010300000001840A", ok, "");
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
  PollResponder responder(vars, listsOf({{1, chosen}}));

  QCOMPARE(responder.HandleCommEvent(rx), reply);
  QCOMPARE(responder.display().rxData, formatBytes(rx.left(8)));
  QCOMPARE(responder.display().status, status);
  QCOMPARE(responder.display().txData, formatBytes(reply));
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
  PollResponder responder(vars, listsOf({{1, hex("0A0000")}, {2, hex("0A0B0C")}}));
  QCOMPARE(responder.HandleCommEvent(rx), reply);
}

// A read shorter than a request leaves what the last request put on show.
void TstModbus::fragmentChangesNothing() {
  modVar vars;
  setSlave(vars, 1, hex("010300000001"));
  PollResponder responder(vars, listsOf({{1, hex("0A0000")}}));
  const QByteArray request = hex("010300000001840A");
  responder.HandleCommEvent(request);
  const auto frame = vars.gFrame;
  const PollResponder::Display shown = responder.display();

  QVERIFY(responder.HandleCommEvent(hex("01030000000184")).isEmpty());
  QCOMPARE(vars.gRxData, request);
  QVERIFY(vars.gFrame == frame);
  QCOMPARE(responder.display().rxData, shown.rxData);
  QCOMPARE(responder.display().txData, shown.txData);
  QCOMPARE(responder.display().status, shown.status);
}

void TstModbus::byteDisplay() {
  QCOMPARE(formatBytes(hex("010A00FF")), QStringLiteral("01 0A 00 FF "));
  QCOMPARE(formatBytes(QByteArray()), QString());
}

QTEST_GUILESS_MAIN(TstModbus)
#include "tst_modbus.moc"
