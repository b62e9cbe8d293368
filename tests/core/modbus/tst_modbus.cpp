#include "core/modbus/Crc16.h"
#include "core/modbus/LineSettings.h"
#include "core/modbus/RequestCutter.h"

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
  void cutByArrivalTimes_data();
  void cutByArrivalTimes();
  void floodCutWhole_data();
  void floodCutWhole();
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
  QTest::addColumn<int>("us");
  // 3.5 characters of 10 or 11 bits.
  QTest::newRow("9600 8N1") << "9600,n,8,1" << 3646;
  QTest::newRow("9600 8E1") << "9600,e,8,1" << 4011;
  QTest::newRow("19200 8N2") << "19200,n,8,2" << 2006;
  // Above 19200 baud a fixed 1.75 ms.
  QTest::newRow("38400 8E1") << "38400,e,8,1" << 1750;
}

void TstModbus::frameGap() {
  QFETCH(QString, line);
  QFETCH(int, us);
  QCOMPARE(vantor::frameGap(*parseLineSettings(line)), std::chrono::microseconds(us));
}

// Reads as "HEX@MS" (bytes read at that time; "HEX@MS!" when the reading thread slept through
// the gap before), the line idle until the time given, and the pieces cut, "R:HEX" a request
// to judge and "F:HEX" a fragment. The gap is 4 ms; what is no request is held 50 ms.
void TstModbus::cutByArrivalTimes_data() {
  QTest::addColumn<QStringList>("reads");
  QTest::addColumn<int>("idleUntilMs");
  QTest::addColumn<QStringList>("pieces");
  const QString poll = "010300000001840A";
  const QString bad = "010300000001840B";
  QTest::newRow("a request") << QStringList{poll + "@0"} << 0 << QStringList{"R:" + poll};
  QTest::newRow("in two pieces within the gap")
      << QStringList{"01030000000184@0", "0A@1"} << 10 << QStringList{"R:" + poll};
  QTest::newRow("its end read late, after the gap")
      << QStringList{"01030000000184@0", "0A@30!"} << 40 << QStringList{"R:" + poll};
  QTest::newRow("noise, silence, a request")
      << QStringList{"5555@0", poll + "@30"} << 40 << QStringList{"F:5555", "R:" + poll};
  QTest::newRow("noise and a request read together")
      << QStringList{"5555" + poll + "@30"} << 40 << QStringList{"F:5555", "R:" + poll};
  QTest::newRow("two requests read together")
      << QStringList{poll + poll + "@0"} << 10 << QStringList{"R:" + poll, "R:" + poll};
  QTest::newRow("its end sent late, after the gap")
      << QStringList{"01030000000184@0", "0A@30"} << 40 << QStringList{"R:" + poll};
  QTest::newRow("a wrong check value, judged when held long enough")
      << QStringList{bad + "@0"} << 60 << QStringList{"R:" + bad};
  QTest::newRow("not yet judged while held") << QStringList{bad + "@0"} << 40 << QStringList{};
  QTest::newRow("a request and stray bytes")
      << QStringList{poll + "FFFF@0"} << 60 << QStringList{"R:" + poll, "F:FFFF"};
  QTest::newRow("a cut request, then a whole one")
      << QStringList{"010300@0", poll + "@30"} << 40 << QStringList{"F:010300", "R:" + poll};
  QTest::newRow("garbage, then a request read together")
      << QStringList{"00112233445566778899" + poll + "@0"} << 60
      << QStringList{"R:0011223344556677", "F:8899", "R:" + poll};
  QTest::newRow("seven bytes of a request and no more")
      << QStringList{"01030000000184@0"} << 60 << QStringList{"F:01030000000184"};
  QTest::newRow("its bytes one at a time, each after the gap")
      << QStringList{"01@0", "03@10", "00@20", "00@30", "00@40", "01@50", "84@60", "0A@70"} << 80
      << QStringList{"R:" + poll};
  QTest::newRow("noise, silence, noise")
      << QStringList{"5555@0", "6666@30"} << 100 << QStringList{"F:5555", "F:6666"};
  // Beyond the most that waits, what can no longer start a request is given up at once, and
  // the request whose start came with it is still whole.
  const QString garbage = QString("00").repeated(600);
  QTest::newRow("a flood of garbage, then a request")
      << QStringList{garbage + "0103000000@0", "01840A@1"} << 10
      << QStringList{"R:" + garbage.left(16), "F:" + garbage.left(2 * 590), "F:0000", "R:" + poll};
}

void TstModbus::cutByArrivalTimes() {
  QFETCH(QStringList, reads);
  QFETCH(int, idleUntilMs);
  constexpr qint64 kMs = 1'000'000;
  RequestCutter cutter(4ms, 50ms);
  std::vector<CutPiece> pieces;
  const auto keep = [&](std::vector<CutPiece> more) {
    pieces.insert(pieces.end(), more.begin(), more.end());
  };
  for (QString read : reads) {
    const bool late = read.endsWith('!');
    if (late) read.chop(1);
    const qint64 at = read.section('@', 1).toLongLong() * kMs;
    if (!late) keep(cutter.idle(at - 1));
    keep(cutter.read(QByteArray::fromHex(read.section('@', 0, 0).toLatin1()), at));
  }
  keep(cutter.idle(idleUntilMs * kMs));
  QStringList cut;
  for (const CutPiece& p : pieces)
    cut << (p.request ? "R:" : "F:") + QString::fromLatin1(p.bytes.toHex().toUpper());
  QTEST(cut, "pieces");
}

// Back-to-back requests, read in pieces of any size with no gap between them, are each a request,
// whichever of them the reads split.
void TstModbus::floodCutWhole_data() {
  QTest::addColumn<int>("piece");
  for (const int piece : {1, 7, 64, 512, 4096}) QTest::addRow("pieces of %d", piece) << piece;
}

void TstModbus::floodCutWhole() {
  QFETCH(int, piece);
  const QByteArray poll = QByteArray::fromHex("010300000001840A");
  const QByteArray flood = poll.repeated(10000);
  RequestCutter cutter(4ms, 50ms);
  int requests = 0;
  QList<QByteArray> others;
  const auto keep = [&](const std::vector<CutPiece>& pieces) {
    for (const CutPiece& p : pieces)
      if (p.bytes == poll)
        ++requests;
      else
        others << p.bytes;
  };
  // The reads start 3 bytes in, so that pieces of whole requests split them too.
  keep(cutter.read(QByteArrayView(flood).first(3), 0));
  for (qsizetype at = 3; at < flood.size(); at += piece)
    keep(cutter.read(
        QByteArrayView(flood).sliced(at).first(std::min<qsizetype>(piece, flood.size() - at)),
        1000));
  keep(cutter.idle(1'000'000'000));
  QCOMPARE(others, QList<QByteArray>());
  QCOMPARE(requests, 10000);
}

QTEST_GUILESS_MAIN(TstModbus)
#include "tst_modbus.moc"
