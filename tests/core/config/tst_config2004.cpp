#include "core/config/Config2004.h"

#include <QTemporaryDir>
#include <QtTest>

#include "SettingsFiles.h"

// The rules both frames share (carets, unprintable characters, check bytes, refusal wording,
// reading stored numbers, key CSet) are tested with the two-line frame; these tests cover what
// the four-line frame does differently.

using namespace vantor;
using namespace vantor::test;

namespace {

QByteArray blanks(int count) {
  return QByteArray(count, '\x20');
}

// The window as the worked example fills it: row 0 "TEMP^", rows 1 to 3 empty, baud "9600",
// format "8N1", interval 10, one active field; field k+1 polls slave k+1 with function code 03
// from register 0x00 0x00, shows 4 digits with 1 decimal place as "Unsigned Integer" from
// location 0, and keeps the alarm trip points the window opens with.
Config2004 workedExample() {
  Config2004 cfg;
  cfg.txtLine[0] = QStringLiteral("TEMP^");
  cfg.cboBaud = cfg.cboDF1 = cfg.cboAF = 0;
  cfg.cboSampling = 9;
  for (int k = 0; k < kFieldCount; ++k) {
    Field2004& f = cfg.fields[k];
    f.cboSlaveID = k;
    f.cboSAH = f.cboSAL = f.cboDT = f.cboStart = f.cboALH = f.cboALL = 0x00;
    f.cboDP = 1;
    f.cboDWidth = 3;
    f.cboAlarmHi = f.cboAlarmLo = 0xFF;
  }
  return cfg;
}

// Rows; line settings, interval, active fields; requests by field; display bytes by attribute;
// check bytes and fill.
const QByteArray kWorkedExample =
    "TEMP" + blanks(76) + QByteArray::fromHex("FF FF 0A 01") +
    QByteArray::fromHex("01 03 00 00  02 03 00 00  03 03 00 00  04 03 00 00") +
    QByteArray::fromHex("01010101 00000000 00000000 04040404 FFFFFFFF FFFFFFFF 00000000 00000000") +
    QByteArray::fromHex("E1 1F 00");

// The frame the window sends.
QByteArray sent(const Config2004& cfg) {
  const auto result = encodeConfig2004(cfg);
  if (!result.frame) qFatal("refused: %s", qPrintable(result.refusal));
  return QByteArray(reinterpret_cast<const char*>(result.frame->data()), frame2004::kSize);
}

// A window whose fields all differ, with two of four fields active, as restored: every field's
// alarm trip points are back at 0xFFFF (high) and 0x0000 (low).
Config2004 storedExample() {
  Config2004 cfg;
  cfg.cboBaud = 2;
  cfg.cboDF1 = 1;
  cfg.cboSampling = 254;
  cfg.cboAF = 1;
  cfg.txtLine = {"12345678901234567^^^", " lead", "trail ", "^"};
  for (int k = 0; k < kFieldCount; ++k) {
    Field2004& f = cfg.fields[k];
    f.cboSlaveID = 10 + k;
    f.cboSAH = k == 0 ? 0x10 : 0xFF - k;  // entry "0x10", saved as 16
    f.cboSAL = 0x80 + k;
    f.opt03 = k == 1;
    f.cboDWidth = 8 - k;  // field 3: entry "7"
    f.cboDP = 5 - k;
    f.cboStart = 18 - k;
    f.cboDT = 4 - k;
    f.cboAlarmHi = f.cboAlarmLo = 0xFF;
    f.cboALH = f.cboALL = 0x00;
  }
  return cfg;
}

QString sectionOf(const QString& key) {
  return key == "AF" ? QStringLiteral("Settings") : QStringLiteral("Cfg2004");
}

}  // namespace

class TstCfg2004 : public QObject {
  Q_OBJECT

 private slots:
  void init();

  // The frame.
  void workedExample();
  void allFieldsEncodedWithOneActiveField();
  void rowsInPlace();
  void checkBytesCoverTheLastLowAlarm();
  void lineCodes();
  void refusalNamesListsByField();
  void enabledFields_data();
  void enabledFields();

  // Settings.
  void saveThenLoadRestoresTheWindow();
  void lineSettingsSave_data();
  void lineSettingsSave();
  void firstUseDefaults();
  void unusableNumberGetsDefault_data();
  void unusableNumberGetsDefault();
  void longRowsCut();
  void failedSaveReported();

 private:
  void write(const QString& key, const QString& value) {
    writeKey(ini_, sectionOf(key), key, value);
  }

  QTemporaryDir dir_;
  IniFile ini_{dir_.path()};
};

void TstCfg2004::init() {
  QFile::remove(ini_.filePath());
}

void TstCfg2004::workedExample() {
  QCOMPARE(sent(::workedExample()).toHex(' '), kWorkedExample.toHex(' '));
}

void TstCfg2004::allFieldsEncodedWithOneActiveField() {
  Config2004 cfg = ::workedExample();
  cfg.cboAF = 0;
  for (int k = 1; k < kFieldCount; ++k) {
    Field2004& f = cfg.fields[k];
    f.cboSlaveID = 0x20 + k - 1;  // address 0x20 + k
    f.opt03 = k != 2;
    f.cboSAH = 0x10 + k;
    f.cboSAL = 0x20 + k;
    f.cboDP = k;
    f.cboDT = k + 1;
    f.cboStart = 10 + k;
    f.cboDWidth = 5 + k;  // 6 + k digits
    f.cboAlarmHi = 0xA0 + k;
    f.cboAlarmLo = 0xB0 + k;
    f.cboALH = 0xC0 + k;
    f.cboALL = 0xD0 + k;
  }
  const QByteArray bytes = sent(cfg);
  QCOMPARE(bytes.at(frame2004::kActiveFields), '\x01');
  const QByteArray expected = QByteArray::fromHex(
      "01 03 00 00  21 03 11 21  22 04 12 22  23 03 13 23"
      "01010203 00020304 000B0C0D 04070809 FFA1A2A3 FFB1B2B3 00C1C2C3 00D1D2D3");
  QCOMPARE(bytes.mid(frame2004::kRequests, expected.size()).toHex(' '), expected.toHex(' '));
}

// Four rows of twenty, each in its place: short ones padded, long ones cut.
void TstCfg2004::rowsInPlace() {
  Config2004 cfg = ::workedExample();
  cfg.txtLine = {"0", QString(20, u'b'), "", QString(25, u'z')};
  QCOMPARE(sent(cfg).first(80),
           "0" + blanks(19) + QByteArray(20, 'b') + blanks(20) + QByteArray(20, 'z'));
}

void TstCfg2004::checkBytesCoverTheLastLowAlarm() {
  Config2004 cfg = ::workedExample();
  cfg.fields[3].cboALL = 0x1F;  // byte 131, the last the sum covers
  QCOMPARE(sent(cfg).mid(frame2004::kSum, 2).toHex(' '), QByteArray("00 00"));
}

// 9600 and 8N1 are in the worked example; the other positions are paired crosswise so that
// neither list can pass for the other.
void TstCfg2004::lineCodes() {
  Config2004 cfg = ::workedExample();
  cfg.cboBaud = 1;
  cfg.cboDF1 = 2;
  QCOMPARE(sent(cfg).mid(frame2004::kBaud, 2).toHex(' '), QByteArray("19 26"));
  cfg.cboBaud = 2;
  cfg.cboDF1 = 1;
  QCOMPARE(sent(cfg).mid(frame2004::kBaud, 2).toHex(' '), QByteArray("0c 0e"));
}

void TstCfg2004::refusalNamesListsByField() {
  Config2004 cfg = ::workedExample();
  cfg.cboAF = 4;                // past the last entry
  cfg.fields[1] = Field2004{};  // nothing selected in field 2
  cfg.fields[3].cboDWidth = 9;  // past the last entry
  const auto result = encodeConfig2004(cfg);
  QVERIFY(!result.frame);
  QCOMPARE(result.refusal,
           QStringLiteral(
               "Nothing was sent. Choose an entry in each of these lists first: Select Number of "
               "Active Data Fields, Modbus Slave Address (field 2), Reg Address Hi (field 2), Reg "
               "Address Lo (field 2), Number of digits including decimal point (field 2), Number "
               "of decimal place (field 2), Data Display Start Location (field 2), Data Type "
               "(field 2), Alarm Trip Point (High) Hi (field 2), Alarm Trip Point (High) Lo "
               "(field 2), Alarm Trip Point (Low) Hi (field 2), Alarm Trip Point (Low) Lo (field "
               "2), Number of digits including decimal point (field 4)."));
}

void TstCfg2004::enabledFields_data() {
  QTest::addColumn<int>("cboAF");
  QTest::addColumn<QString>("enabled");
  QTest::newRow("1 active") << 0 << "1000";
  QTest::newRow("2 active") << 1 << "1100";
  QTest::newRow("3 active") << 2 << "1110";
  QTest::newRow("4 active") << 3 << "1111";
  QTest::newRow("no selection") << -1 << "0000";
}

void TstCfg2004::enabledFields() {
  QFETCH(int, cboAF);
  QFETCH(QString, enabled);
  QString pattern;
  for (const bool on : ::enabledFields(cboAF)) pattern += on ? u'1' : u'0';
  QCOMPARE(pattern, enabled);
}

void TstCfg2004::saveThenLoadRestoresTheWindow() {
  Config2004 cfg = storedExample();
  for (Field2004& f : cfg.fields) f.cboAlarmHi = f.cboAlarmLo = f.cboALH = f.cboALL = 0x42;
  QVERIFY(saveConfig2004(ini_, cfg));
  const QByteArray file = fileBytes(ini_.filePath());
  // Inactive fields 3 and 4 are saved like the others.
  for (const char* line :
       {"[Cfg2004]\nCSet=38400,n,8,2\nInterval=255\n", "\nUDT1=12345678901234567^^^\n",
        "\nUDT2=\" lead\"\n", "\nUDT4=^\n", "\nSaddr1=11\n", "\nSaddr4=14\n", "\nRHigh1=16\n",
        "\nRLow4=131\n", "\nFcode1=4\n", "\nFcode2=3\n", "\nDWidth3=7\n", "\nDP4=2\n", "\nSP4=15\n",
        "\nDT4=1\n", "\n[Settings]\nAF=2\n"})
    QVERIFY2(file.contains(line), line);

  const Config2004Load load = loadConfig2004(ini_);
  QCOMPARE(load.defaulted, QStringList());
  QCOMPARE(load.notice, QString());
  QCOMPARE(load.cfg, storedExample());
  QCOMPARE(field2004Lists().at(1).list.entries.at(load.cfg.fields[0].cboSAH), "0x10");
  QCOMPARE(field2004Lists().at(3).list.entries.at(load.cfg.fields[2].cboDWidth), "7");

  // Saving what was restored changes nothing in the file.
  QVERIFY(saveConfig2004(ini_, load.cfg));
  QCOMPARE(fileBytes(ini_.filePath()), file);
}

void TstCfg2004::lineSettingsSave_data() {
  QTest::addColumn<int>("baud");
  QTest::addColumn<int>("format");
  QTest::addColumn<QString>("saved");
  QTest::newRow("19200 without format") << 1 << -1 << "19200";
  QTest::newRow("8N2 without baud") << -1 << 1 << ",n,8,2";
}

void TstCfg2004::lineSettingsSave() {
  QFETCH(int, baud);
  QFETCH(int, format);
  QFETCH(QString, saved);
  Config2004 cfg = ::workedExample();
  cfg.cboBaud = baud;
  cfg.cboDF1 = format;
  QVERIFY(saveConfig2004(ini_, cfg));
  QCOMPARE(ini_.read("Cfg2004", "CSet"), saved);
  const Config2004 restored = loadConfig2004(ini_).cfg;
  QCOMPARE(restored.cboBaud, baud);
  QCOMPARE(restored.cboDF1, format);
}

void TstCfg2004::firstUseDefaults() {
  const Config2004Load load = loadConfig2004(ini_);
  Config2004 expected;
  expected.cboSampling = 9;  // 10 x 100 ms
  expected.cboAF = 0;        // one active field
  for (int k = 0; k < kFieldCount; ++k) {
    Field2004& f = expected.fields[k];
    f.cboSlaveID = f.cboSAH = f.cboDP = f.cboStart = f.cboDT = f.cboALH = f.cboALL = 0;
    f.cboSAL = k;     // address 1, registers 0x0000 to 0x0003
    f.cboDWidth = 4;  // 5 digits
    f.cboAlarmHi = f.cboAlarmLo = 0xFF;
  }
  QCOMPARE(load.cfg, expected);
  QStringList keys;
  for (const char* base : {"Saddr", "RHigh", "RLow", "Dwidth", "DP", "SP", "DT", "Fcode"})
    for (int n = 1; n <= kFieldCount; ++n) keys << base + QString::number(n);
  keys += {"Interval", "AF"};
  QCOMPARE(load.defaulted, keys);
  QCOMPARE(load.notice, QStringLiteral("No usable saved configuration was found, so the window "
                                       "shows first-use defaults. Check them before sending."));
  QCOMPARE(encodeConfig2004(load.cfg).refusal,
           QStringLiteral("Nothing was sent. Choose an entry in each of these lists first: LCD "
                          "Baud Rate, LCD Data Format."));
  QVERIFY(!QFile::exists(ini_.filePath()));
}

void TstCfg2004::unusableNumberGetsDefault_data() {
  QTest::addColumn<QString>("key");
  QTest::addColumn<QString>("stored");
  QTest::addColumn<QString>("caption");
  const auto row = [](const char* key, const char* stored, const char* caption) {
    QTest::addRow("%s=%s", key, stored) << key << stored << caption;
  };
  row("AF", "5", "Select Number of Active Data Fields");
  row("Interval", "0", "Polling Interval (x 100ms )");
  row("Saddr3", "0", "Modbus Slave Address (field 3)");
  row("RHigh2", "0x10", "Reg Address Hi (field 2)");
  row("RLow4", "256", "Reg Address Lo (field 4)");
  row("Dwidth1", "10", "Number of digits including decimal point (field 1)");
  row("SP2", "19", "Data Display Start Location (field 2)");
  row("DP3", "-1", "Number of decimal place (field 3)");
  row("DT4", "x", "Data Type (field 4)");
  row("Fcode2", "three", "Function Code (field 2)");
}

void TstCfg2004::unusableNumberGetsDefault() {
  QFETCH(QString, key);
  QFETCH(QString, stored);
  QFETCH(QString, caption);
  QVERIFY(saveConfig2004(ini_, storedExample()));
  write(key, stored);
  const Config2004Load load = loadConfig2004(ini_);
  QCOMPARE(load.defaulted, QStringList{key});
  QCOMPARE(load.notice,
           "Some saved settings were missing or unusable, so these show first-use "
           "defaults: " +
               caption + ". Check them before sending.");
}

void TstCfg2004::longRowsCut() {
  write("UDT4", "0123456789ABCDEFGHIJ^KLMN");
  QCOMPARE(loadConfig2004(ini_).cfg.txtLine[3], QStringLiteral("0123456789ABCDEFGHIJ"));
}

void TstCfg2004::failedSaveReported() {
  IniFile ini(unmakeableFolder(dir_.path()));
  QString error;
  QVERIFY(!saveConfig2004(ini, ::workedExample(), &error));
  QVERIFY2(error.contains("Key CSet of section [Cfg2004] could not be written"), qPrintable(error));
}

QTEST_GUILESS_MAIN(TstCfg2004)
#include "tst_config2004.moc"
