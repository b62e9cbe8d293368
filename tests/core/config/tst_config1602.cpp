#include "core/config/Config1602.h"

#include <QTemporaryDir>
#include <QtTest>

#include "SettingsFiles.h"

using namespace vantor;
using namespace vantor::test;

namespace {

QByteArray blanks(int count) {
  return QByteArray(count, '\x20');
}

// The window as the worked example fills it: row 0 "TEMP^", baud "9600", format "8N1",
// interval 10, decimal places 1, "Unsigned Integer", register 00 64, slave 1, function code 03,
// digits 4, start 0, alarm FF FF.
Config1602 workedExample() {
  Config1602 cfg;
  cfg.cboBaud = cfg.cboDF1 = cfg.cboSlaveID = cfg.cboSAH = cfg.cboStart = cfg.cboDT = 0;
  cfg.cboSampling = 9;
  cfg.cboSAL = 0x64;
  cfg.cboDWidth = 3;
  cfg.cboDP = 1;
  cfg.cboAlarmHi = cfg.cboAlarmLo = 0xFF;
  cfg.txtLine0 = "TEMP^";
  return cfg;
}

const QByteArray kWorkedExample = "TEMP" + blanks(28) +
                                  QByteArray::fromHex("24 C0 0A 01 00 00 64 01 03 04 00 FF FF") +
                                  QByteArray::fromHex("0F F1 00");

// The frame the window sends.
QByteArray sent(const Config1602& cfg) {
  const auto result = encodeConfig1602(cfg);
  if (!result.frame) qFatal("refused: %s", qPrintable(result.refusal));
  return QByteArray(reinterpret_cast<const char*>(result.frame->data()), frame1602::kSize);
}

// A window differing from the first-use defaults in every list it saves, as restored: the
// alarm trip points are back at FF FF. Register entry "10" is saved as 16.
Config1602 storedExample() {
  Config1602 cfg;
  cfg.cboBaud = 2;
  cfg.cboDF1 = 1;
  cfg.CSet = "38400,n,8,2";
  cfg.cboSampling = 24;
  cfg.cboSlaveID = 16;
  cfg.cboSAH = 0x10;
  cfg.cboSAL = 0xF4;
  cfg.cboDWidth = cfg.cboDP = 5;
  cfg.cboStart = 30;
  cfg.cboDT = 4;
  cfg.opt03 = false;
  cfg.cboAlarmHi = cfg.cboAlarmLo = 0xFF;
  cfg.txtLine0 = "^TEMP^^";
  cfg.txtLine1 = "  x  ";
  return cfg;
}

// What saving storedExample() writes, in the order it writes it.
const QByteArray kStoredFile =
    "[Cfg1602]\nCSet=38400,n,8,2\nInterval=25\nRHigh=16\nRLow=244\nDwidth1=6\nSP1=30\nDP1=5\n"
    "DT=4\nUDT1=^TEMP^^\nUDT2=\"  x  \"\nSaddr=17\nFcode=4\n";

}  // namespace

class TstCfg1602 : public QObject {
  Q_OBJECT

 private slots:
  void init();

  // The frame.
  void workedExample();
  void functionCode04();
  void lineCodes();
  void refusalNamesEveryListWithoutSelection();

  // Settings.
  void saveThenLoadRestoresTheWindow();
  void firstUseDefaults();
  void storedValues_data();
  void storedValues();
  void lineSettings_data();
  void lineSettings();
  void rows_data();
  void rows();
  void failedSaveStopsAndIsReported();

 private:
  void write(const QString& key, const QString& value) { writeKey(ini_, "Cfg1602", key, value); }
  QString read(const QString& key) const { return ini_.read("Cfg1602", key); }

  QTemporaryDir dir_;
  IniFile ini_{dir_.path()};
};

void TstCfg1602::init() {
  QFile::remove(ini_.filePath());
}

void TstCfg1602::workedExample() {
  QCOMPARE(sent(::workedExample()).toHex(' '), kWorkedExample.toHex(' '));
}

// Function code 04, with the low alarm trip point lowered so that the check sum comes to a
// multiple of 256.
void TstCfg1602::functionCode04() {
  Config1602 cfg = ::workedExample();
  cfg.opt03 = false;
  cfg.cboAlarmLo = 0xEF;
  const QByteArray bytes = sent(cfg);
  QCOMPARE(bytes.at(frame1602::kFunctionCode), '\x04');
  QCOMPARE(bytes.mid(frame1602::kSum, 2).toHex(' '), QByteArray("00 00"));
}

// 9600 and 8N1 are in the worked example; the other positions are paired crosswise so that
// neither list can pass for the other.
void TstCfg1602::lineCodes() {
  Config1602 cfg = ::workedExample();
  cfg.cboBaud = 1;
  cfg.cboDF1 = 2;
  QCOMPARE(sent(cfg).mid(frame1602::kBaud, 2).toHex(' '), QByteArray("12 d0"));
  cfg.cboBaud = 2;
  cfg.cboDF1 = 1;
  QCOMPARE(sent(cfg).mid(frame1602::kBaud, 2).toHex(' '), QByteArray("09 c2"));
}

void TstCfg1602::refusalNamesEveryListWithoutSelection() {
  Config1602 cfg;      // nothing selected ...
  cfg.cboBaud = 3;  // ... and a position past the last entry selects nothing either
  cfg.cboStart = 31;
  const auto result = encodeConfig1602(cfg);
  QVERIFY(!result.frame);
  QCOMPARE(
      result.refusal,
      QStringLiteral("Nothing was sent. Choose an entry in each of these lists first: LCD Baud "
                     "Rate, LCD Data Format, Polling Interval (x 100ms ), Modbus Slave "
                     "Address, Reg Address Hi, Reg Address Lo, Number of digits including "
                     "decimal point, Number of decimal place, Data Display Start Location, "
                     "Data Type, Alarm Trip Point Hi, Alarm Trip Point Lo."));
}

void TstCfg1602::saveThenLoadRestoresTheWindow() {
  Config1602 cfg = storedExample();
  cfg.cboAlarmHi = 0x12;  // alarms are not kept
  cfg.cboAlarmLo = 0x34;
  QVERIFY(saveConfig1602(ini_, cfg));
  const QByteArray file = fileBytes(ini_.filePath());
  QCOMPARE(file, kStoredFile);

  const Config1602Load load = loadConfig1602(ini_);
  QCOMPARE(load.defaulted, QStringList());
  QCOMPARE(load.notice, QString());
  QCOMPARE(load.cfg, storedExample());

  // Saving what was restored changes nothing in the file.
  QVERIFY(saveConfig1602(ini_, load.cfg));
  QCOMPARE(fileBytes(ini_.filePath()), file);
}

void TstCfg1602::firstUseDefaults() {
  const Config1602Load load = loadConfig1602(ini_);
  Config1602 expected;  // address 1, 10 x 100 ms, register 00 00, 5 digits, function code 03
  expected.cboSlaveID = expected.cboSAH = expected.cboSAL = expected.cboStart = 0;
  expected.cboDP = expected.cboDT = 0;
  expected.cboSampling = 9;
  expected.cboDWidth = 4;
  expected.cboAlarmHi = expected.cboAlarmLo = 0xFF;
  QCOMPARE(load.cfg, expected);
  QCOMPARE(load.defaulted, (QStringList{"Saddr", "Interval", "RHigh", "RLow", "Dwidth1", "SP1",
                                        "DP1", "DT", "Fcode"}));
  QCOMPARE(load.notice, QStringLiteral("No usable saved configuration was found, so the window "
                                       "shows first-use defaults. Check them before sending."));
  // Only the module's line settings are left to choose before a send.
  QCOMPARE(encodeConfig1602(load.cfg).refusal,
           QStringLiteral("Nothing was sent. Choose an entry in each of these lists first: LCD "
                          "Baud Rate, LCD Data Format."));
  QVERIFY(!QFile::exists(ini_.filePath()));
}

void TstCfg1602::storedValues_data() {
  QTest::addColumn<QString>("key");
  QTest::addColumn<QString>("stored");
  QTest::addColumn<QString>("caption");  // of the list, or "Function Code"
  QTest::addColumn<int>("restored");     // list position, or 3 / 4 for Fcode
  QTest::addColumn<bool>("defaulted");
  const auto row = [](const char* key, const char* stored, const char* caption, int restored,
                      bool defaulted = false) {
    QTest::addRow("%s=%s", key, stored) << key << stored << caption << restored << defaulted;
  };
  row("Saddr", " 12 ", "Modbus Slave Address", 11);
  row("Saddr", "3.4", "Modbus Slave Address", 2);
  row("Saddr", "3.5", "Modbus Slave Address", 3);
  row("Interval", "255", "Polling Interval (x 100ms )", 254);
  row("Fcode", "3", "Function Code", 3);
  row("Fcode", "0", "Function Code", 4);  // any number but 3
  // Unusable: first-use default.
  row("Saddr", "0", "Modbus Slave Address", 0, true);
  row("Interval", "ten", "Polling Interval (x 100ms )", 9, true);
  row("RHigh", "0x10", "Reg Address Hi", 0, true);
  row("RLow", "-1", "Reg Address Lo", 0, true);  // saved without a selection
  row("Dwidth1", "7", "Number of digits including decimal point", 4, true);
  row("SP1", "31", "Data Display Start Location", 0, true);
  row("DP1", "6", "Number of decimal place", 0, true);
  row("DT", "1e0", "Data Type", 0, true);
  row("Fcode", "03h", "Function Code", 3, true);
}

// One stored value changed by hand; everything else comes back as saved, and opening leaves the
// file as it was.
void TstCfg1602::storedValues() {
  QFETCH(QString, key);
  QFETCH(QString, stored);
  QFETCH(QString, caption);
  QFETCH(int, restored);
  QFETCH(bool, defaulted);
  QVERIFY(saveConfig1602(ini_, storedExample()));
  write(key, stored);
  const QByteArray before = fileBytes(ini_.filePath());

  const Config1602Load load = loadConfig1602(ini_);
  Config1602 expected = storedExample();
  for (const Config1602List& l : config1602Lists())
    if (l.list.caption == caption) expected.*l.position = restored;
  if (key == "Fcode") expected.opt03 = restored == 3;
  QCOMPARE(load.cfg, expected);
  QCOMPARE(load.defaulted, defaulted ? QStringList{key} : QStringList());
  QCOMPARE(load.notice, defaulted ? "Some saved settings were missing or unusable, so these show "
                                    "first-use defaults: " +
                                        caption + ". Check them before sending."
                                  : QString());
  QCOMPARE(fileBytes(ini_.filePath()), before);
}

void TstCfg1602::lineSettings_data() {
  QTest::addColumn<QString>("stored");
  QTest::addColumn<int>("baud");  // restored
  QTest::addColumn<int>("format");
  QTest::addColumn<int>("newBaud");  // chosen before closing
  QTest::addColumn<QString>("saved");
  QTest::newRow("9600,n,8,2") << "9600,n,8,2" << 0 << 1 << 2 << "38400,n,8,2";
  QTest::newRow("9600 alone selects neither, kept") << "9600" << -1 << -1 << -1 << "9600";
  QTest::newRow("format alone") << ",e,8,1" << -1 << 2 << -1 << ",e,8,1";
  QTest::newRow("new baud, unmatched ending kept") << "19200,x" << 1 << -1 << 0 << "9600,x";
}

// Opening, choosing a baud rate and closing again.
void TstCfg1602::lineSettings() {
  QFETCH(QString, stored);
  QFETCH(int, baud);
  QFETCH(int, format);
  QFETCH(int, newBaud);
  QFETCH(QString, saved);
  write("CSet", stored);
  Config1602 cfg = loadConfig1602(ini_).cfg;
  QCOMPARE(cfg.cboBaud, baud);
  QCOMPARE(cfg.cboDF1, format);
  cfg.cboBaud = newBaud;
  QVERIFY(saveConfig1602(ini_, cfg));
  QCOMPARE(read("CSet"), saved);
  // Opening and closing again keeps the same text.
  QVERIFY(saveConfig1602(ini_, loadConfig1602(ini_).cfg));
  QCOMPARE(read("CSet"), saved);
}

void TstCfg1602::rows_data() {
  QTest::addColumn<QString>("stored");
  QTest::addColumn<QString>("shown");
  QTest::addColumn<QByteArray>("bytes");
  const auto row = [](const char* name, const QString& stored, const QString& shown,
                      const QByteArray& bytes) { QTest::newRow(name) << stored << shown << bytes; };
  row("empty", "", "", blanks(16));
  row("carets are blanks, blanks kept", " 1^2^^3", " 1^2^^3", " 1 2  3" + blanks(9));
  row("degree sign and tab", QString::fromUtf8("25\u00B0C\t"), "25?C?", "25?C?" + blanks(11));
  row("delete", "A\x7F", "A?", "A?" + blanks(14));
  row("one ? per character", QString::fromUtf8("a\U0001F600b"), "a?b", "a?b" + blanks(13));
  row("printable ASCII kept", " ~}|{_`", " ~}|{_`", " ~}|{_`" + blanks(9));
  // Cut to 16 after replacing, so that a long row keeps 16 characters as the user sees them.
  row("cut after replacing", QString::fromUtf8("\U0001F600\U0001F600") + QString(16, u'x'),
      "??" + QString(14, u'x'), "??" + QByteArray(14, 'x'));
}

// Both rows as restored into their boxes and as sent; text handed over as typed, before any
// fitting, is sent the same.
void TstCfg1602::rows() {
  QFETCH(QString, stored);
  QFETCH(QString, shown);
  QFETCH(QByteArray, bytes);
  write("UDT1", stored);
  write("UDT2", stored);
  Config1602 cfg = loadConfig1602(ini_).cfg;
  QCOMPARE(cfg.txtLine0, shown);
  QCOMPARE(cfg.txtLine1, shown);
  cfg.cboBaud = cfg.cboDF1 = 0;
  QCOMPARE(sent(cfg).first(32), bytes + bytes);
  cfg.txtLine0 = cfg.txtLine1 = stored;
  QCOMPARE(sent(cfg).first(32), bytes + bytes);
}

// The save stops at the first key that cannot be written and names it; the keys before it are
// written, the rest keep their earlier values.
void TstCfg1602::failedSaveStopsAndIsReported() {
  QString error;
  {
    const FileSizeLimit limit(60);
    QVERIFY(limit.active());
    QVERIFY(!saveConfig1602(ini_, storedExample(), &error));
    QVERIFY(!saveConfig1602(ini_, storedExample()));  // no place for the message is fine too
  }
  QVERIFY2(error.contains("File too large"), qPrintable(error));
  const QByteArray file = fileBytes(ini_.filePath());
  QVERIFY2(kStoredFile.startsWith(file) && file.count('\n') > 2, file);  // room for a few keys
  const QString failed = QString::fromLatin1(kStoredFile.mid(file.size()).split('=').first());
  QVERIFY2(error.contains("Key " + failed + " of section [Cfg1602] could not be written"),
           qPrintable(error));
}

QTEST_GUILESS_MAIN(TstCfg1602)
#include "tst_config1602.moc"
