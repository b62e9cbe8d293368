#include "core/modbus/Crc16.h"
#include "core/modbus/LineSettings.h"

#include <QtTest>

using namespace vantor;
using namespace std::chrono_literals;

class TstModbus : public QObject {
  Q_OBJECT

 private slots:
  void checkValue_data();
  void checkValue();
  void lineSettingsText_data();
  void lineSettingsText();
  void frameGap_data();
  void frameGap();
};

void TstModbus::checkValue_data() {
  QTest::addColumn<QByteArray>("body");
  QTest::addColumn<QByteArray>("onTheLine");  // low byte first
  QTest::newRow("read request") << QByteArray::fromHex("010300000001")
                                << QByteArray::fromHex("840A");
  QTest::newRow("catalogue check") << QByteArray("123456789") << QByteArray::fromHex("374B");
  QTest::newRow("nothing") << QByteArray() << QByteArray::fromHex("FFFF");
}

void TstModbus::checkValue() {
  QFETCH(QByteArray, body);
  QFETCH(QByteArray, onTheLine);
  const CheckValue value = vantor::checkValue(body);
  QCOMPARE(QByteArray(1, char(value.lo)).append(char(value.hi)), onTheLine);
}

void TstModbus::lineSettingsText_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<int>("baud");  // 0: not one of the nine texts
  QTest::addColumn<int>("parity");
  QTest::addColumn<int>("stopBits");
  QTest::newRow("9600,n,8,1") << "9600,n,8,1" << 9600 << int(Parity::None) << 1;
  QTest::newRow("19200,e,8,1") << "19200,e,8,1" << 19200 << int(Parity::Even) << 1;
  QTest::newRow("38400,n,8,2") << "38400,n,8,2" << 38400 << int(Parity::None) << 2;
  QTest::newRow("no baud") << ",n,8,1" << 0 << 0 << 0;
  QTest::newRow("odd parity") << "9600,o,8,1" << 0 << 0 << 0;
  QTest::newRow("stray text inside") << "9600,xn,8,1" << 0 << 0 << 0;
}

// Parsing and formatting are each other's inverse on the nine texts, and nothing else parses.
void TstModbus::lineSettingsText() {
  QFETCH(QString, text);
  QFETCH(int, baud);
  QFETCH(int, parity);
  QFETCH(int, stopBits);
  const auto line = parseLineSettings(text);
  QCOMPARE(line.has_value(), baud != 0);
  if (!line) return;
  QCOMPARE(*line, (LineSettings{baud, Parity(parity), 8, stopBits}));
  QCOMPARE(formatLineSettings(*line), text);
  // What a device that quietly keeps no parity is reported as.
  LineSettings kept = *line;
  kept.parity = Parity::None;
  QCOMPARE(lineSettingsDifference(*line, kept),
           line->parity == Parity::Even ? QString("parity none instead of even") : QString());
}

void TstModbus::frameGap_data() {
  QTest::addColumn<QString>("line");
  QTest::addColumn<int>("ms");
  // 3.5 characters, rounded up to the millisecond.
  QTest::newRow("9600 8N1: 3.65 ms") << "9600,n,8,1" << 4;
  QTest::newRow("9600 8E1: 4.01 ms") << "9600,e,8,1" << 5;
  QTest::newRow("19200 8E1: 2.01 ms") << "19200,e,8,1" << 3;
  // Above 19200 baud a fixed 1.75 ms.
  QTest::newRow("38400 8E1") << "38400,e,8,1" << 2;
}

void TstModbus::frameGap() {
  QFETCH(QString, line);
  QFETCH(int, ms);
  QCOMPARE(vantor::frameGap(*parseLineSettings(line)), std::chrono::milliseconds(ms));
}

QTEST_GUILESS_MAIN(TstModbus)
#include "tst_modbus.moc"
