// Both modules' configuration without its windows: the frame each sends, what an opening
// restores from the settings file and what a save leaves in it.
#include "core/config/Config1602.h"
#include "core/config/Config2004.h"

#include <QTemporaryDir>
#include <QtTest>

#include "SettingsFiles.h"

using namespace vantor;
using namespace vantor::test;

namespace {

QByteArray blanks(int count) {
  return QByteArray(count, ' ');
}
QByteArray hex(const char* bytes) {
  return QByteArray::fromHex(bytes);
}

// The bytes a Send writes, or the sentence it shows instead.
template <std::size_t N>
QByteArray sent(const EncodedFrame<N>& encoded) {
  const FrameBytes f = frameBytes(encoded);
  return f.bytes.isEmpty() ? f.refusal.toUtf8() : f.bytes;
}

const QByteArray kRefusal = "Nothing was sent. Choose an entry in each of these lists first: ";

// The worked examples. Two-line: row 0 "TEMP^", baud 9600, format 8N1, interval 10, decimal
// places 1, unsigned integer, register 0x0064, slave 1, function code 3, digits 4, start 0,
// alarm trip point 0xFFFF.
Config1602 example1602() {
  Config1602 cfg;
  cfg.line = {9600, 0};
  cfg.pollInterval = 10;
  cfg.field = {1, 3, 0x0064, DataType::Unsigned, 4, 1, 0};
  cfg.alarmTrip = 0xFFFF;
  cfg.rows[0] = "TEMP^";
  return cfg;
}
const QByteArray kExample1602 =
    "TEMP" + blanks(28) + hex("24 C0 0A 01 00 00 64 01 03 04 00 FF FF  0F F1 00");

// Four-line: row 0 "TEMP^", rows 1 to 3 empty, 9600, 8N1, interval 10, one active field;
// field k+1 polls slave k+1 with function code 3 from register 0, shows 4 digits with 1
// decimal place as an unsigned integer from location 0, alarm trip points as an opening sets
// them.
Config2004 example2004() {
  Config2004 cfg;
  cfg.rows[0] = "TEMP^";
  cfg.line = {9600, 0};
  cfg.pollInterval = 10;
  cfg.activeFields = 1;
  for (int k = 0; k < kFieldCount; ++k)
    cfg.fields[k] = {{k + 1, 3, 0, DataType::Unsigned, 4, 1, 0}, 0xFFFF, 0x0000};
  return cfg;
}
const QByteArray kExample2004 =
    "TEMP" + blanks(76) + hex("FF FF 0A 01") +
    hex("01 03 00 00  02 03 00 00  03 03 00 00  04 03 00 00") +
    hex("01010101 00000000 00000000 04040404 FFFFFFFF FFFFFFFF 00000000 00000000  E1 1F 00");

// Windows unlike the first-use defaults in every value they save, as an opening restores them
// (alarm trip points as every opening sets them).
Config1602 stored1602() {
  Config1602 cfg;
  cfg.line = {38400, 1};
  cfg.lineText = "38400,n,8,2";
  cfg.pollInterval = 25;
  cfg.field = {17, 4, 0x10F4, DataType::LongInteger, 6, 5, 30};
  cfg.rows = {"^TEMP^^", "  x  "};
  return cfg;
}
// Every field different, two of four active.
Config2004 stored2004() {
  Config2004 cfg{{38400, 1}, 255, 2, {"12345678901234567^^^", " lead", "trail ", "^"}, {}};
  for (int k = 0; k < kFieldCount; ++k) {
    const int hi = k == 0 ? 0x10 : 0xFF - k;
    const DataField field{11 + k,          k == 1 ? 3 : 4, std::uint16_t(hi << 8 | (0x80 + k)),
                          DataType(4 - k), 9 - k,          5 - k,
                          18 - k};
    cfg.fields[k] = {field, 0xFFFF, 0x0000};
  }
  return cfg;
}

// What a window opened on `ini` sends once the module's own line settings are chosen (where
// the file chose none, the first entries); and the notice it opens with.
std::pair<QByteArray, QString> opened(const IniFile& ini, const QString& model) {
  const auto send = [](auto load, auto encode) {
    load.cfg.line = {load.cfg.line.baud.value_or(9600), load.cfg.line.format.value_or(0)};
    return std::pair(sent(encode(load.cfg)), load.notice);
  };
  return model == "1602" ? send(loadConfig1602(ini), encodeConfig1602)
                         : send(loadConfig2004(ini), encodeConfig2004);
}

}  // namespace

class TstConfig : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  IniFile ini_{dir_.path()};

 private slots:
  void init() { QFile::remove(ini_.filePath()); }

  void frame_data() {
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<int>("from");
    QTest::addColumn<QByteArray>("expected");
    Config1602 c1 = example1602();
    Config2004 c2 = example2004();
    QTest::newRow("1602 worked example") << sent(encodeConfig1602(c1)) << 0 << kExample1602;
    QTest::newRow("2004 worked example") << sent(encodeConfig2004(c2)) << 0 << kExample2004;
    // Line codes paired crosswise, so that neither list can pass for the other.
    c1.line = c2.line = {19200, 2};
    QTest::newRow("1602 19200 8E1") << sent(encodeConfig1602(c1)) << 32 << hex("12 D0");
    QTest::newRow("2004 19200 8E1") << sent(encodeConfig2004(c2)) << 80 << hex("19 26");
    c1.rows[0] = QString::fromUtf8("25\u00B0C\t\x7F");  // one "?" per character as seen,
    c1.rows[1] = QString::fromUtf8("\U0001F600\U0001F600") + QString(16, u'x');  // then cut
    QTest::newRow("1602 unprintable rows")
        << sent(encodeConfig1602(c1)) << 0 << "25?C??" + blanks(10) + "??" + QByteArray(14, 'x');
    c2 = example2004();
    c2.fields[3].lowTrip = 0x001F;  // its low byte is the last byte the sum covers
    QTest::newRow("2004 sum covers byte 131")
        << sent(encodeConfig2004(c2)) << 131 << hex("1F 00 00");
    QTest::newRow("1602 every value") << sent(encodeConfig1602(stored1602())) << 0
                                      << " TEMP" + blanks(11) + "  x" + blanks(13) +
                                             hex("09 C2 19 05 04 10 F4 11 04 06 1E FF FF");
    c2 = stored2004();  // inactive fields are sent like active ones
    for (int k = 0; k < kFieldCount; ++k) {
      c2.fields[k].highTrip = std::uint16_t(0xFFA0 + k);
      c2.fields[k].lowTrip = std::uint16_t((0xA0 + k) << 8);
    }
    QTest::newRow("2004 every value")
        << sent(encodeConfig2004(c2)) << 0
        << "12345678901234567    lead" + blanks(15) + "trail " + blanks(34) + hex("0C 0E FF 02") +
               hex("0B 04 10 80  0C 03 FE 81  0D 04 FD 82  0E 04 FC 83") +
               hex("05040302 04030201 1211100F 09080706 FFFFFFFF A0A1A2A3 A0A1A2A3 00000000");
    c1 = example1602();
    c1.line.baud = 4800;  // no entry of either list
    c1.field.dataType = DataType(5);
    QTest::newRow("1602 refused") << sent(encodeConfig1602(c1)) << 0
                                  << kRefusal + "LCD Baud Rate, Data Type.";
    c2 = example2004();
    c2.activeFields = 5;
    c2.fields[1].decimals = -1;
    c2.fields[3].digits = 10;
    QTest::newRow("2004 refused by field")
        << sent(encodeConfig2004(c2)) << 0
        << kRefusal +
               "Select Number of Active Data Fields, Number of decimal place (field 2), "
               "Number of digits including decimal point (field 4).";
  }
  void frame() {
    QFETCH(QByteArray, sent);
    QFETCH(int, from);
    QFETCH(QByteArray, expected);
    QCOMPARE(sent.mid(from, expected.size()).toHex(' '), expected.toHex(' '));
  }

  // A received frame, the worked example with bytes changed by (at, by) pairs: taken back with
  // its first row as the window would save it (the padding blanks gone), or refused; the
  // listener's quick check agrees.
  void received_data() {
    QTest::addColumn<QString>("model");
    QTest::addColumn<QList<int>>("changes");
    QTest::addColumn<QString>("taken");  // row 0, or the refusal's start
    const QString broken = "the check bytes do not hold";
    QTest::newRow("1602 as sent") << "1602" << QList<int>{} << "TEMP";
    QTest::newRow("2004 as sent") << "2004" << QList<int>{} << "TEMP";
    QTest::newRow("1602 sum") << "1602" << QList<int>{45, 1} << broken;
    QTest::newRow("1602 complement") << "1602" << QList<int>{46, 1} << broken;
    QTest::newRow("2004 complement") << "2004" << QList<int>{133, -1} << broken;
    QTest::newRow("1602 check bytes that agree but not with the bytes")
        << "1602" << QList<int>{45, 1, 46, -1} << broken;
    QTest::newRow("2004 fill") << "2004" << QList<int>{134, 1} << "byte 134, the fill byte, is 01";
  }
  void received() {
    QFETCH(QString, model);
    QFETCH(QList<int>, changes);
    const bool twoLine = model == "1602";
    QByteArray frame = twoLine ? kExample1602 : kExample2004;
    for (qsizetype i = 0; i + 1 < changes.size(); i += 2)
      frame[changes[i]] = char(frame[changes[i]] + changes[i + 1]);
    const auto takenOf = [](const auto& decoded) {
      return std::pair(decoded.cfg.has_value(),
                       decoded.cfg ? decoded.cfg->rows[0] : decoded.refusal);
    };
    const auto [accepted, got] =
        twoLine ? takenOf(decodeConfig1602(frame)) : takenOf(decodeConfig2004(frame));
    QFETCH(QString, taken);
    QVERIFY2(accepted ? got == taken : got.startsWith(taken), qPrintable(got));
    QCOMPARE(fitsShape(byteSpan(frame), twoLine ? frame1602::kShape : frame2004::kShape), accepted);
  }

  // An opening on a file left by a save and then edited by hand in one key, or on no file:
  // what it restores shows in the frame, what it defaulted in the notice ("*": everything).
  void opening_data() {
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("at");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QString>("defaulted");  // caption in the notice
    const auto row = [](const char* model, const char* key, const char* stored, int at,
                        const QByteArray& expected, const char* defaulted = "") {
      QTest::addRow("%s %s", model,
                    *key ? qPrintable(QString("%1=%2").arg(key, stored)) : "first use")
          << model << key << stored << at << expected << defaulted;
    };
    row("1602", "", "", 0, blanks(32) + hex("24 C0 0A 00 00 00 00 01 03 05 00 FF FF F5 0B 00"),
        "*");
    row("2004", "", "", 0,
        blanks(80) + hex("FF FF 0A 01  01 03 00 00  01 03 00 01  01 03 00 02  01 03 00 03") +
            hex("00000000 00000000 00000000 05050505 FFFFFFFF FFFFFFFF 00000000 00000000") +
            hex("2B D5 00"),
        "*");
    row("1602", "Saddr", " 12 ", 39, hex("0C"));
    row("1602", "Saddr", "3.4", 39, hex("03"));
    row("1602", "Saddr", "3.5", 39, hex("04"));
    row("1602", "Interval", "255", 34, hex("FF"));
    row("1602", "Fcode", "3", 40, hex("03"));
    row("1602", "Fcode", "0", 40, hex("04"));  // any number but 3
    row("1602", "Saddr", "0", 39, hex("01"), "Modbus Slave Address");
    row("1602", "Interval", "ten", 34, hex("0A"), "Polling Interval (x 100ms )");
    row("1602", "RHigh", "0x10", 37, hex("00"), "Reg Address Hi");
    row("1602", "RLow", "-1", 38, hex("00"), "Reg Address Lo");
    row("1602", "Dwidth1", "7", 41, hex("05"), "Number of digits including decimal point");
    row("1602", "SP1", "31", 42, hex("00"), "Data Display Start Location");
    row("1602", "DP1", "6", 35, hex("00"), "Number of decimal place");
    row("1602", "DT", "1e0", 36, hex("00"), "Data Type");
    row("1602", "Fcode", "03h", 40, hex("03"), "Function Code");
    row("2004", "AF", "5", 83, hex("01"), "Select Number of Active Data Fields");
    row("2004", "Interval", "0", 82, hex("0A"), "Polling Interval (x 100ms )");
    row("2004", "Saddr3", "0", 92, hex("01"), "Modbus Slave Address (field 3)");
    row("2004", "RHigh2", "0x10", 90, hex("00"), "Reg Address Hi (field 2)");
    row("2004", "RLow4", "256", 99, hex("03"), "Reg Address Lo (field 4)");
    row("2004", "Dwidth1", "10", 112, hex("05"),
        "Number of digits including decimal point (field 1)");
    row("2004", "SP2", "19", 109, hex("00"), "Data Display Start Location (field 2)");
    row("2004", "DP3", "-1", 102, hex("00"), "Number of decimal place (field 3)");
    row("2004", "DT4", "x", 107, hex("00"), "Data Type (field 4)");
    row("2004", "Fcode1", "three", 85, hex("03"), "Function Code (field 1)");
  }
  void opening() {
    QFETCH(QString, model);
    QFETCH(QString, key);
    QFETCH(QString, stored);
    QFETCH(int, at);
    QFETCH(QByteArray, expected);
    QFETCH(QString, defaulted);
    if (!key.isEmpty()) {
      QVERIFY(model == "1602" ? saveConfig1602(ini_, stored1602())
                              : saveConfig2004(ini_, stored2004()));
      writeKey(ini_, key == "AF" ? "Settings" : "Cfg" + model, key, stored);
    }
    const QByteArray file = fileBytes(ini_.filePath());
    const auto [frame, notice] = opened(ini_, model);
    QCOMPARE(frame.mid(at, expected.size()).toHex(' '), expected.toHex(' '));
    if (defaulted == "*")
      QCOMPARE(notice,
               "No usable saved configuration was found, so the window shows first-use "
               "defaults. Check them before sending.");
    else
      QCOMPARE(notice, defaulted.isEmpty() ? QString()
                                           : "Some saved settings were missing or unusable, so "
                                             "these show first-use defaults: " +
                                                 defaulted + ". Check them before sending.");
    QCOMPARE(fileBytes(ini_.filePath()), file);  // opening writes nothing
    QCOMPARE(QFile::exists(ini_.filePath()), !key.isEmpty());
  }

  // Both modules' settings in one file, as the simulator and the next opening read them.
  void saveThenOpen() {
    Config1602 c1 = stored1602();
    Config2004 c2 = stored2004();
    c1.alarmTrip = 0x1234;  // trip points are not kept
    for (Field2004& f : c2.fields) f.highTrip = f.lowTrip = 0x4242;
    QVERIFY(saveConfig1602(ini_, c1));
    QVERIFY(saveConfig2004(ini_, c2));
    const char* const saved[][2] = {
        {"Cfg1602",
         "CSet=38400,n,8,2|Interval=25|RHigh=16|RLow=244|Dwidth1=6|SP1=30|DP1=5|DT=4|"
         "UDT1=^TEMP^^|UDT2=  x  |Saddr=17|Fcode=4"},
        {"Cfg2004",
         "CSet=38400,n,8,2|Interval=255|UDT2= lead|Saddr1=11|Saddr4=14|RHigh1=16|"
         "RLow4=131|Fcode1=4|Fcode2=3|DWidth3=7|DP4=2|SP4=15|DT4=1"},
        {"Settings", "AF=2"}};
    for (const auto& [section, keys] : saved)
      for (const QString& entry : QString(keys).split(u'|')) {
        const QString key = entry.section(u'=', 0, 0);
        QCOMPARE(key + u'=' + ini_.read(section, key), entry);
      }
    const QByteArray file = fileBytes(ini_.filePath());
    const Config1602Load l1 = loadConfig1602(ini_);
    const Config2004Load l2 = loadConfig2004(ini_);
    QCOMPARE(l1.notice + l2.notice, QString());
    QCOMPARE(l1.cfg, stored1602());
    QCOMPARE(l2.cfg, stored2004());
    QVERIFY(saveConfig1602(ini_, l1.cfg) && saveConfig2004(ini_, l2.cfg));
    QCOMPARE(fileBytes(ini_.filePath()), file);  // opening and closing again changes nothing
  }

  // Key CSet as an opening reads it, and as closing after choosing a baud rate writes it,
  // twice over.
  void lineSettings_data() {
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("baud");    // restored; 0 for none
    QTest::addColumn<int>("format");  // restored, which of kDataFormats; -1 for none
    QTest::addColumn<int>("newBaud");
    QTest::addColumn<QString>("saved");
    QTest::newRow("1602 new baud") << "1602"
                                   << "9600,n,8,2" << 9600 << 1 << 38400 << "38400,n,8,2";
    // A baud rate saved without a data format comes back.
    QTest::newRow("1602 9600 alone, kept") << "1602"
                                           << "9600" << 9600 << -1 << 9600 << "9600";
    QTest::newRow("1602 format alone") << "1602"
                                       << ",e,8,1" << 0 << 2 << 0 << ",e,8,1";
    QTest::newRow("1602 unmatched end kept") << "1602"
                                             << "19200,x" << 19200 << -1 << 9600 << "9600,x";
    QTest::newRow("2004 format alone") << "2004"
                                       << ",n,8,2" << 0 << 1 << 19200 << "19200,n,8,2";
    QTest::newRow("2004 unmatched end lost") << "2004"
                                             << "19200,x" << 19200 << -1 << 19200 << "19200";
  }
  void lineSettings() {
    QFETCH(QString, model);
    QFETCH(QString, stored);
    QFETCH(int, baud);
    QFETCH(int, format);
    QFETCH(int, newBaud);
    QFETCH(QString, saved);
    writeKey(ini_, "Cfg" + model, "CSet", stored);
    QStringList texts;
    const auto run = [&](auto load, auto save) {
      auto cfg = load(ini_).cfg;
      QCOMPARE(std::pair(cfg.line.baud.value_or(0), cfg.line.format.value_or(-1)),
               std::pair(baud, format));
      cfg.line.baud = newBaud ? std::optional(newBaud) : std::nullopt;
      for (int close = 0; close < 2; ++close, cfg = load(ini_).cfg) {
        QVERIFY(save(ini_, cfg, nullptr));
        texts << ini_.read("Cfg" + model, "CSet");
      }
    };
    model == "1602" ? run(loadConfig1602, saveConfig1602) : run(loadConfig2004, saveConfig2004);
    QCOMPARE(texts, QStringList({saved, saved}));
  }
};

QTEST_GUILESS_MAIN(TstConfig)
#include "tst_config.moc"
