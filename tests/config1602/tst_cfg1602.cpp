#include "config1602/Cfg1602.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/resource.h>
#include <algorithm>
#include <csignal>
#include <map>

using namespace vantor;

namespace {

QByteArray bytesOf(const Frame1602& frame) {
  return QByteArray(reinterpret_cast<const char*>(frame.data()), frame.size());
}

QByteArray blanks(int count) {
  return QByteArray(count, '\x20');
}

QByteArray readBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The window as the worked example fills it: row 0 "TEMP^", baud "9600", format "8N1",
// interval 10, decimal places 1, "Unsigned Integer", register 00 64, slave 1, function code 03,
// digits 4, start 0, alarm FF FF.
Cfg1602 workedExample() {
  Cfg1602 cfg;
  cfg.txtLine0 = QStringLiteral("TEMP^");
  cfg.cboBaud = 0;
  cfg.cboDF1 = 0;
  cfg.cboSampling = 9;
  cfg.cboDP = 1;
  cfg.cboDT = 0;
  cfg.cboSAH = 0x00;
  cfg.cboSAL = 0x64;
  cfg.cboSlaveID = 0;
  cfg.opt03 = true;
  cfg.cboDWidth = 3;
  cfg.cboStart = 0;
  cfg.cboAlarmHi = 0xFF;
  cfg.cboAlarmLo = 0xFF;
  return cfg;
}

const QByteArray kWorkedExample = QByteArray("TEMP") + blanks(28) +
                                  QByteArray::fromHex("24 C0 0A 01 00 00 64 01 03 04 00 FF FF") +
                                  QByteArray::fromHex("0F F1 00");

Frame1602 encoded(const Cfg1602& cfg) {
  const auto result = encodeCfg1602(cfg);
  if (!result.frame) qFatal("refused: %s", qPrintable(result.refusal));
  return *result.frame;
}

// The bytes in which `frame` differs from the worked example.
QList<int> changedBytes(const Frame1602& frame) {
  QList<int> changed;
  for (int i = 0; i < frame1602::kSize; ++i)
    if (static_cast<char>(frame[i]) != kWorkedExample[i]) changed << i;
  return changed;
}

// Lowers the file size limit while it lives, so that a save runs out of room part way through;
// root is held to it too.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &old_);
    rlimit lowered = old_;
    lowered.rlim_cur = bytes;
    active_ = setrlimit(RLIMIT_FSIZE, &lowered) == 0;
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, oldHandler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;
  bool active() const { return active_; }

 private:
  rlimit old_{};
  void (*oldHandler_)(int) = nullptr;
  bool active_ = false;
};

const QStringList kSaveOrder{"CSet", "Interval", "RHigh", "RLow", "Dwidth1", "SP1",
                             "DP1",  "DT",       "UDT1",  "UDT2", "Saddr",   "Fcode"};

const QStringList kNumericKeys{"Saddr", "Interval", "RHigh", "RLow", "Dwidth1",
                               "SP1",   "DP1",      "DT",    "Fcode"};

}  // namespace

class TstCfg1602 : public QObject {
  Q_OBJECT

 private slots:
  void init();

  // The frame.
  void workedExample();
  void rows_data();
  void rows();
  void checkBytes_data();
  void checkBytes();
  void functionCode04();
  void lineCodes_data();
  void lineCodes();
  void refusesWhileAListHasNoSelection_data();
  void refusesWhileAListHasNoSelection();
  void refusalNamesEveryEmptyList();
  void listEntries_data();
  void listEntries();

  // Settings.
  void saveWritesEachKey_data();
  void saveWritesEachKey();
  void saveThenLoadRestoresTheWindow();
  void lineSettingsRestore_data();
  void lineSettingsRestore();
  void lineSettingsSave_data();
  void lineSettingsSave();
  void functionCodeRestore_data();
  void functionCodeRestore();
  void firstUseDefaults();
  void unusableNumberGetsDefault_data();
  void unusableNumberGetsDefault();
  void storedNumbersRead_data();
  void storedNumbersRead();
  void longRowsCut();
  void nonPrintableCharacters_data();
  void nonPrintableCharacters();
  void loadLeavesFileAsItWas();
  void failedSaveReported();
  void saveStopsAtFirstFailedWrite();

 private:
  void write(const QString& key, const QString& value);
  QString read(const QString& key) const { return ini_->ReadINI("Cfg1602", key); }

  std::unique_ptr<QTemporaryDir> dir_;
  std::unique_ptr<modINI> ini_;
};

void TstCfg1602::init() {
  dir_ = std::make_unique<QTemporaryDir>();
  QVERIFY(dir_->isValid());
  ini_ = std::make_unique<modINI>(dir_->path());
}

void TstCfg1602::write(const QString& key, const QString& value) {
  QString error;
  QVERIFY2(ini_->WriteINI("Cfg1602", key, value, &error), qPrintable(error));
}

void TstCfg1602::workedExample() {
  const Frame1602 frame = encoded(::workedExample());
  QCOMPARE(bytesOf(frame).toHex(' '), kWorkedExample.toHex(' '));
  // Sending twice without changes sends the same frame.
  QCOMPARE(encoded(::workedExample()), frame);
}

void TstCfg1602::rows_data() {
  QTest::addColumn<QString>("row0");
  QTest::addColumn<QString>("row1");
  QTest::addColumn<QByteArray>("bytes");
  const auto row = [](const char* name, const QString& row0, const QString& row1,
                      const QByteArray& bytes) { QTest::newRow(name) << row0 << row1 << bytes; };
  row("both empty", "", "", blanks(32));
  row("caret after AB", "AB^", "", QByteArray("AB") + blanks(30));
  row("sixteen carets", QString(16, u'^'), "^", blanks(32));
  row("carets inside", "1^2^^3", "^^END", "1 2  3" + blanks(10) + "  END" + blanks(11));
  row("blanks kept", "  x  ", "", "  x" + blanks(29));
  row("full rows", "0123456789ABCDEF", "fedcba9876543210", "0123456789ABCDEFfedcba9876543210");
  row("longer than 16 cut", "0123456789ABCDEFGH", "", "0123456789ABCDEF" + blanks(16));
  row("outside printable ASCII", QString::fromUtf8("25\u00B0C\t"), QString::fromUtf8("\u00E9"),
      "25?C?" + blanks(11) + "?" + blanks(15));
}

void TstCfg1602::rows() {
  QFETCH(QString, row0);
  QFETCH(QString, row1);
  QFETCH(QByteArray, bytes);
  Cfg1602 cfg = ::workedExample();
  cfg.txtLine0 = row0;
  cfg.txtLine1 = row1;
  QCOMPARE(bytesOf(encoded(cfg)).first(32), bytes);
}

void TstCfg1602::checkBytes_data() {
  QTest::addColumn<int>("alarmLo");
  QTest::addColumn<int>("sum");
  QTest::addColumn<int>("complement");
  QTest::newRow("worked example") << 0xFF << 0x0F << 0xF1;
  QTest::newRow("sum a multiple of 256") << 0xF0 << 0x00 << 0x00;
  QTest::newRow("sum 1") << 0xF1 << 0x01 << 0xFF;
  QTest::newRow("sum 128") << 0x70 << 0x80 << 0x80;
}

void TstCfg1602::checkBytes() {
  QFETCH(int, alarmLo);
  QFETCH(int, sum);
  QFETCH(int, complement);
  Cfg1602 cfg = ::workedExample();
  cfg.cboAlarmLo = alarmLo;
  const Frame1602 frame = encoded(cfg);
  QCOMPARE(frame[frame1602::kSum], sum);
  QCOMPARE(frame[frame1602::kComplement], complement);
  QCOMPARE(frame[frame1602::kFill], 0);
}

void TstCfg1602::functionCode04() {
  Cfg1602 cfg = ::workedExample();
  cfg.opt03 = false;
  const Frame1602 frame = encoded(cfg);
  QCOMPARE(frame[frame1602::kFunctionCode], 0x04);
  QCOMPARE(changedBytes(frame),
           (QList<int>{frame1602::kFunctionCode, frame1602::kSum, frame1602::kComplement}));
  QCOMPARE(frame[frame1602::kFill], 0);
}

void TstCfg1602::lineCodes_data() {
  QTest::addColumn<int>("baud");
  QTest::addColumn<int>("format");
  QTest::addColumn<int>("baudCode");
  QTest::addColumn<int>("formatCode");
  QTest::newRow("9600 8N1") << 0 << 0 << 0x24 << 0xC0;
  QTest::newRow("19200") << 1 << 0 << 0x12 << 0xC0;
  QTest::newRow("38400") << 2 << 0 << 0x09 << 0xC0;
  QTest::newRow("8N2") << 0 << 1 << 0x24 << 0xC2;
  QTest::newRow("8E1") << 0 << 2 << 0x24 << 0xD0;
  QTest::newRow("38400 8E1") << 2 << 2 << 0x09 << 0xD0;
}

void TstCfg1602::lineCodes() {
  QFETCH(int, baud);
  QFETCH(int, format);
  QFETCH(int, baudCode);
  QFETCH(int, formatCode);
  Cfg1602 cfg = ::workedExample();
  cfg.cboBaud = baud;
  cfg.cboDF1 = format;
  const Frame1602 frame = encoded(cfg);
  QCOMPARE(frame[frame1602::kBaud], baudCode);
  QCOMPARE(frame[frame1602::kDataFormat], formatCode);
  for (const int i : changedBytes(frame))
    QVERIFY2(i == frame1602::kBaud || i == frame1602::kDataFormat || i == frame1602::kSum ||
                 i == frame1602::kComplement,
             qPrintable(QString::number(i)));
}

void TstCfg1602::refusesWhileAListHasNoSelection_data() {
  QTest::addColumn<QString>("control");
  QTest::addColumn<int>("position");
  QTest::addColumn<QString>("caption");
  const auto row = [](const char* control, int position, const char* caption) {
    QTest::addRow("%s at %d", control, position) << control << position << caption;
  };
  row("cboBaud", -1, "LCD Baud Rate");
  row("cboDF1", -1, "LCD Data Format");
  row("cboSampling", -1, "Polling Interval (x 100ms )");
  row("cboSlaveID", -1, "Modbus Slave Address");
  row("cboSAH", -1, "Reg Address Hi");
  row("cboSAL", -1, "Reg Address Lo");
  row("cboDWidth", -1, "Number of digits including decimal point");
  row("cboDP", -1, "Number of decimal place");
  row("cboStart", -1, "Data Display Start Location");
  row("cboDT", -1, "Data Type");
  row("cboAlarmHi", -1, "Alarm Trip Point Hi");
  row("cboAlarmLo", -1, "Alarm Trip Point Lo");
  // A position past the last entry selects nothing either.
  row("cboStart", 31, "Data Display Start Location");
  row("cboBaud", 3, "LCD Baud Rate");
  row("cboSAL", 256, "Reg Address Lo");
}

void TstCfg1602::refusesWhileAListHasNoSelection() {
  QFETCH(QString, control);
  QFETCH(int, position);
  QFETCH(QString, caption);
  Cfg1602 cfg = ::workedExample();
  for (const Cfg1602List& l : cfg1602Lists())
    if (l.list.control == control) cfg.*l.position = position;
  const auto result = encodeCfg1602(cfg);
  QVERIFY(!result.frame);
  QCOMPARE(result.refusal,
           "Nothing was sent. Choose an entry in each of these lists first: " + caption + ".");
}

void TstCfg1602::refusalNamesEveryEmptyList() {
  Cfg1602 cfg = ::workedExample();
  cfg.cboBaud = cfg.cboDF1 = cfg.cboDT = -1;
  const auto result = encodeCfg1602(cfg);
  QVERIFY(!result.frame);
  QCOMPARE(
      result.refusal,
      QStringLiteral("Nothing was sent. Choose an entry in each of these lists first: LCD Baud "
                     "Rate, LCD Data Format, Data Type."));
}

void TstCfg1602::listEntries_data() {
  QTest::addColumn<QString>("control");
  QTest::addColumn<QStringList>("someEntries");  // first, one at position 16, last
  QTest::addColumn<int>("count");
  QTest::newRow("baud") << "cboBaud" << QStringList{"9600", "38400"} << 3;
  QTest::newRow("format") << "cboDF1" << QStringList{"8N1", "8E1"} << 3;
  QTest::newRow("interval") << "cboSampling" << QStringList{"1", "17", "255"} << 255;
  QTest::newRow("slave") << "cboSlaveID" << QStringList{"1", "17", "255"} << 255;
  QTest::newRow("register hi") << "cboSAH" << QStringList{"00", "10", "FF"} << 256;
  QTest::newRow("register lo") << "cboSAL" << QStringList{"00", "10", "FF"} << 256;
  QTest::newRow("alarm hi") << "cboAlarmHi" << QStringList{"00", "10", "FF"} << 256;
  QTest::newRow("alarm lo") << "cboAlarmLo" << QStringList{"00", "10", "FF"} << 256;
  QTest::newRow("digits") << "cboDWidth" << QStringList{"1", "6"} << 6;
  QTest::newRow("decimals") << "cboDP" << QStringList{"0", "5"} << 6;
  QTest::newRow("start") << "cboStart" << QStringList{"0", "16", "30"} << 31;
  QTest::newRow("data type") << "cboDT" << QStringList{"Unsigned Integer", "Long Integer"} << 5;
}

void TstCfg1602::listEntries() {
  QFETCH(QString, control);
  QFETCH(QStringList, someEntries);
  QFETCH(int, count);
  const auto it = std::find_if(cfg1602Lists().begin(), cfg1602Lists().end(),
                               [&](const Cfg1602List& l) { return l.list.control == control; });
  QVERIFY(it != cfg1602Lists().end());
  const QStringList& entries = it->list.entries;
  QCOMPARE(entries.size(), count);
  QCOMPARE(entries.first(), someEntries.first());
  QCOMPARE(entries.last(), someEntries.last());
  if (someEntries.size() == 3) QCOMPARE(entries.at(16), someEntries.at(1));
  if (control == "cboDT")
    QCOMPARE(entries, (QStringList{"Unsigned Integer", "Signed Integer", "BCD", "Long BCD",
                                   "Long Integer"}));
}

void TstCfg1602::saveWritesEachKey_data() {
  QTest::addColumn<QString>("key");
  QTest::addColumn<QString>("text");
  const auto row = [](const char* key, const char* text) { QTest::newRow(key) << key << text; };
  // Slave 17, register entries 01 F4, interval 25, digits 6, start 30, decimals 5, "Long
  // Integer", "38400" "8N2", function code 04.
  row("Saddr", "17");
  row("RHigh", "1");
  row("RLow", "244");
  row("Interval", "25");
  row("Dwidth1", "6");
  row("SP1", "30");
  row("DP1", "5");
  row("DT", "4");
  row("CSet", "38400,n,8,2");
  row("Fcode", "4");
  row("UDT1", "^TEMP^^");  // carets kept
  row("UDT2", "  x  ");    // outer blanks kept
}

void TstCfg1602::saveWritesEachKey() {
  QFETCH(QString, key);
  QFETCH(QString, text);
  Cfg1602 cfg;
  cfg.cboSlaveID = 16;
  cfg.cboSAH = 0x01;
  cfg.cboSAL = 0xF4;
  cfg.cboSampling = 24;
  cfg.cboDWidth = 5;
  cfg.cboStart = 30;
  cfg.cboDP = 5;
  cfg.cboDT = 4;
  cfg.cboBaud = 2;
  cfg.cboDF1 = 1;
  cfg.opt03 = false;
  cfg.txtLine0 = "^TEMP^^";
  cfg.txtLine1 = "  x  ";
  QString error;
  QVERIFY2(saveCfg1602(*ini_, cfg, &error), qPrintable(error));
  QCOMPARE(read(key), text);
}

void TstCfg1602::saveThenLoadRestoresTheWindow() {
  Cfg1602 cfg;
  cfg.cboBaud = 1;
  cfg.cboDF1 = 2;
  cfg.cboSampling = 254;
  cfg.cboSlaveID = 254;
  cfg.cboSAH = 0x10;  // entry "10", saved as 16
  cfg.cboSAL = 0xFF;
  cfg.cboDWidth = 0;
  cfg.cboDP = 2;
  cfg.cboStart = 7;
  cfg.cboDT = 3;
  cfg.cboAlarmHi = 0x12;
  cfg.cboAlarmLo = 0x34;
  cfg.opt03 = false;
  cfg.txtLine0 = "Flow^l/min^^^^^^";
  cfg.txtLine1 = " lead blank";
  QVERIFY(saveCfg1602(*ini_, cfg));
  QCOMPARE(read("RHigh"), QStringLiteral("16"));

  const Cfg1602Load load = loadCfg1602(*ini_);
  QCOMPARE(load.defaulted, QStringList());
  QCOMPARE(load.notice, QString());
  Cfg1602 expected = cfg;
  expected.cboAlarmHi = expected.cboAlarmLo = 0xFF;  // alarms are not kept
  expected.CSet = "19200,e,8,1";
  QCOMPARE(load.cfg, expected);
  QCOMPARE(cfg1602Lists().at(4).list.entries.at(load.cfg.cboSAH), QStringLiteral("10"));

  // Saving what was restored changes nothing in the file.
  const QByteArray before = readBytes(ini_->INIFilePath());
  QVERIFY(saveCfg1602(*ini_, load.cfg));
  QCOMPARE(readBytes(ini_->INIFilePath()), before);
}

void TstCfg1602::lineSettingsRestore_data() {
  QTest::addColumn<QString>("stored");
  QTest::addColumn<int>("baud");
  QTest::addColumn<int>("format");
  QTest::newRow("19200,e,8,1") << "19200,e,8,1" << 1 << 2;
  QTest::newRow("9600,n,8,2") << "9600,n,8,2" << 0 << 1;
  QTest::newRow("38400,n,8,1") << "38400,n,8,1" << 2 << 0;
  QTest::newRow("9600 alone selects neither") << "9600" << -1 << -1;
  QTest::newRow("19200 alone selects the baud") << "19200" << 1 << -1;
  QTest::newRow("format alone") << ",e,8,1" << -1 << 2;
  QTest::newRow("missing") << QString() << -1 << -1;
  QTest::newRow("rubbish") << "fast" << -1 << -1;
}

void TstCfg1602::lineSettingsRestore() {
  QFETCH(QString, stored);
  QFETCH(int, baud);
  QFETCH(int, format);
  if (!stored.isNull()) write("CSet", stored);
  const Cfg1602Load load = loadCfg1602(*ini_);
  QCOMPARE(load.cfg.cboBaud, baud);
  QCOMPARE(load.cfg.cboDF1, format);
  QCOMPARE(load.cfg.CSet, stored.isNull() ? QString() : stored);
  // The line settings have no default: they are not counted among the defaulted keys.
  QVERIFY(!load.defaulted.contains("CSet"));
}

void TstCfg1602::lineSettingsSave_data() {
  QTest::addColumn<QString>("held");
  QTest::addColumn<int>("baud");
  QTest::addColumn<int>("format");
  QTest::addColumn<QString>("saved");
  QTest::newRow("38400 8N1") << "" << 2 << 0 << "38400,n,8,1";
  QTest::newRow("19200 8E1") << "9600,n,8,1" << 1 << 2 << "19200,e,8,1";
  QTest::newRow("8E1 without baud") << "" << -1 << 2 << ",e,8,1";
  QTest::newRow("unmatched text kept") << "9600" << -1 << -1 << "9600";
  QTest::newRow("baud without format kept") << "19200" << 1 << -1 << "19200";
  QTest::newRow("new baud, unmatched ending kept") << "19200,x" << 0 << -1 << "9600,x";
  QTest::newRow("nothing at all") << "" << -1 << -1 << "";
}

void TstCfg1602::lineSettingsSave() {
  QFETCH(QString, held);
  QFETCH(int, baud);
  QFETCH(int, format);
  QFETCH(QString, saved);
  Cfg1602 cfg = ::workedExample();
  cfg.CSet = held;
  cfg.cboBaud = baud;
  cfg.cboDF1 = format;
  QVERIFY(saveCfg1602(*ini_, cfg));
  QCOMPARE(read("CSet"), saved);
  // Saving again what the next opening restores keeps the same text.
  QVERIFY(saveCfg1602(*ini_, loadCfg1602(*ini_).cfg));
  QCOMPARE(read("CSet"), saved);
}

void TstCfg1602::functionCodeRestore_data() {
  QTest::addColumn<QString>("stored");
  QTest::addColumn<bool>("opt03");
  QTest::addColumn<bool>("defaulted");
  QTest::newRow("3") << "3" << true << false;
  QTest::newRow("4") << "4" << false << false;
  QTest::newRow("0") << "0" << false << false;
  QTest::newRow("5") << "5" << false << false;
  QTest::newRow("missing") << QString() << true << true;
  QTest::newRow("empty") << "" << true << true;
  QTest::newRow("not a number") << "03h" << true << true;
}

void TstCfg1602::functionCodeRestore() {
  QFETCH(QString, stored);
  QFETCH(bool, opt03);
  QFETCH(bool, defaulted);
  QVERIFY(saveCfg1602(*ini_, ::workedExample()));
  write("Fcode", stored.isNull() ? "" : stored);
  if (stored.isNull()) {
    QFile file(ini_->INIFilePath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll().replace("Fcode=\n", "");
    file.close();
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
  }
  const Cfg1602Load load = loadCfg1602(*ini_);
  QCOMPARE(load.cfg.opt03, opt03);
  QCOMPARE(load.defaulted, defaulted ? QStringList{"Fcode"} : QStringList());
  QCOMPARE(encoded(load.cfg)[frame1602::kFunctionCode], opt03 ? 3 : 4);
}

void TstCfg1602::firstUseDefaults() {
  const Cfg1602Load load = loadCfg1602(*ini_);
  Cfg1602 expected;
  expected.cboSlaveID = 0;   // address 1
  expected.cboSampling = 9;  // 10 x 100 ms
  expected.cboSAH = 0;       // register 00 00
  expected.cboSAL = 0;
  expected.cboDWidth = 4;  // 5 digits
  expected.cboStart = 0;
  expected.cboDP = 0;
  expected.cboDT = 0;  // "Unsigned Integer"
  expected.opt03 = true;
  expected.cboAlarmHi = expected.cboAlarmLo = 0xFF;
  QCOMPARE(load.cfg, expected);
  QCOMPARE(load.defaulted, (QStringList{"Saddr", "Interval", "RHigh", "RLow", "Dwidth1", "SP1",
                                        "DP1", "DT", "Fcode"}));
  QCOMPARE(load.notice, QStringLiteral("No usable saved configuration was found, so the window "
                                       "shows first-use defaults. Check them before sending."));
  // Only the module's line settings are left to choose before a send.
  QCOMPARE(encodeCfg1602(load.cfg).refusal,
           QStringLiteral("Nothing was sent. Choose an entry in each of these lists first: LCD "
                          "Baud Rate, LCD Data Format."));
  QVERIFY(!QFile::exists(ini_->INIFilePath()));
}

void TstCfg1602::unusableNumberGetsDefault_data() {
  QTest::addColumn<QString>("key");
  QTest::addColumn<QString>("stored");
  QTest::addColumn<QString>("caption");
  const auto row = [](const char* key, const char* stored, const char* caption) {
    QTest::addRow("%s=%s", key, stored) << key << stored << caption;
  };
  row("Saddr", "", "Modbus Slave Address");
  row("Saddr", "0", "Modbus Slave Address");  // saved without a selection
  row("Saddr", "256", "Modbus Slave Address");
  row("Interval", "ten", "Polling Interval (x 100ms )");
  row("RHigh", "300", "Reg Address Hi");
  row("RHigh", "0x10", "Reg Address Hi");
  row("RLow", "-1", "Reg Address Lo");  // saved without a selection
  row("Dwidth1", "7", "Number of digits including decimal point");
  row("SP1", "40", "Data Display Start Location");
  row("DP1", "6", "Number of decimal place");
  row("DT", "5", "Data Type");
  row("DT", "1e0", "Data Type");
}

void TstCfg1602::unusableNumberGetsDefault() {
  QFETCH(QString, key);
  QFETCH(QString, stored);
  QFETCH(QString, caption);
  Cfg1602 saved = ::workedExample();
  saved.cboDP = 3;
  saved.cboSlaveID = 5;
  saved.cboSAH = 9;
  QVERIFY(saveCfg1602(*ini_, saved));
  write(key, stored);

  const Cfg1602Load load = loadCfg1602(*ini_);
  QCOMPARE(load.defaulted, QStringList{key});
  QCOMPARE(load.notice,
           "Some saved settings were missing or unusable, so these show first-use "
           "defaults: " +
               caption + ". Check them before sending.");
  // Everything else comes back as saved.
  const Cfg1602 defaults = loadCfg1602(modINI(dir_->filePath("empty"))).cfg;
  for (const Cfg1602List& l : cfg1602Lists()) {
    if (l.list.caption == caption)
      QCOMPARE(load.cfg.*l.position, defaults.*l.position);
    else if (l.list.control != "cboAlarmHi" && l.list.control != "cboAlarmLo")
      QCOMPARE(load.cfg.*l.position, saved.*l.position);
  }
}

void TstCfg1602::storedNumbersRead_data() {
  QTest::addColumn<QString>("key");
  QTest::addColumn<QString>("stored");
  QTest::addColumn<int>("position");
  const auto row = [](const char* name, const char* key, const char* stored, int position) {
    QTest::newRow(name) << key << stored << position;
  };
  row("interval 1", "Interval", "1", 0);
  row("interval 255", "Interval", "255", 254);
  row("blanks around", "Interval", " 12 ", 11);
  row("fraction rounded down", "Saddr", "3.4", 2);
  row("half rounded up", "Saddr", "3.5", 3);
  row("leading zeros", "RLow", "007", 7);
  row("register 255", "RHigh", "255", 255);
  row("start 30", "SP1", "30", 30);
}

void TstCfg1602::storedNumbersRead() {
  QFETCH(QString, key);
  QFETCH(QString, stored);
  QFETCH(int, position);
  QVERIFY(saveCfg1602(*ini_, ::workedExample()));
  write(key, stored);
  const Cfg1602Load load = loadCfg1602(*ini_);
  QCOMPARE(load.defaulted, QStringList());
  const std::map<QString, int Cfg1602::*> lists{{"Interval", &Cfg1602::cboSampling},
                                                {"Saddr", &Cfg1602::cboSlaveID},
                                                {"RLow", &Cfg1602::cboSAL},
                                                {"RHigh", &Cfg1602::cboSAH},
                                                {"SP1", &Cfg1602::cboStart}};
  QCOMPARE(load.cfg.*lists.at(key), position);
}

void TstCfg1602::longRowsCut() {
  write("UDT1", "0123456789ABCDEFGHIJ");
  write("UDT2", "exactly sixteen!");
  const Cfg1602 cfg = loadCfg1602(*ini_).cfg;
  QCOMPARE(cfg.txtLine0, QStringLiteral("0123456789ABCDEF"));
  QCOMPARE(cfg.txtLine1, QStringLiteral("exactly sixteen!"));
}

void TstCfg1602::nonPrintableCharacters_data() {
  QTest::addColumn<QString>("stored");
  QTest::addColumn<QString>("shown");
  const auto row = [](const char* name, const QString& stored, const QString& shown) {
    QTest::newRow(name) << stored << shown;
  };
  row("degree sign", QString::fromUtf8("25\u00B0C"), "25?C");
  row("tab", "A\tB", "A?B");
  row("delete", "A\x7F", "A?");
  row("accented letter", QString::fromUtf8("caf\u00E9"), "caf?");
  row("one ? per character", QString::fromUtf8("a\U0001F600b"), "a?b");
  row("printable ASCII kept", " ~}|{^_`", " ~}|{^_`");
  // Replacing first means a long row keeps 16 characters as the user sees them.
  row("cut after replacing", QString::fromUtf8("\U0001F600\U0001F600") + QString(16, u'x'),
      "??" + QString(14, u'x'));
}

void TstCfg1602::nonPrintableCharacters() {
  QFETCH(QString, stored);
  QFETCH(QString, shown);
  write("UDT2", stored);
  QCOMPARE(loadCfg1602(*ini_).cfg.txtLine1, shown);
  // The window applies the same rule to what is typed.
  QCOMPARE(printableRow(stored).left(frame1602::kRowWidth), shown);
}

void TstCfg1602::loadLeavesFileAsItWas() {
  write("Saddr", "abc");
  write("UDT1", QString(30, u'x'));
  const QByteArray before = readBytes(ini_->INIFilePath());
  QVERIFY(!loadCfg1602(*ini_).defaulted.isEmpty());
  QCOMPARE(readBytes(ini_->INIFilePath()), before);
}

void TstCfg1602::failedSaveReported() {
  QFile blocker(dir_->filePath("blocker"));
  QVERIFY(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  modINI ini(dir_->filePath("blocker/settings"));
  QString error;
  QVERIFY(!saveCfg1602(ini, ::workedExample(), &error));
  QVERIFY2(error.contains("Key CSet of section [Cfg1602] could not be written"), qPrintable(error));
  QVERIFY2(error.contains("Not a directory"), qPrintable(error));
  QVERIFY(!saveCfg1602(ini, ::workedExample()));  // no place for the message is fine too
}

void TstCfg1602::saveStopsAtFirstFailedWrite() {
  Cfg1602 cfg = ::workedExample();
  cfg.txtLine0 = "row zero";
  QString error;
  {
    const FileSizeLimit limit(60);
    if (!limit.active()) QSKIP("cannot lower the file size limit here");
    QVERIFY(!saveCfg1602(*ini_, cfg, &error));
  }
  const QRegularExpression stopped("Key (\\w+) of section \\[Cfg1602\\] could not be written");
  const QString key = stopped.match(error).captured(1);
  QVERIFY2(kSaveOrder.contains(key), qPrintable(error));
  QVERIFY2(key != kSaveOrder.first(), "the limit leaves room for a few keys");
  for (const QString& k : kSaveOrder) {
    const bool before = kSaveOrder.indexOf(k) < kSaveOrder.indexOf(key);
    QCOMPARE(read(k).isEmpty(), !before);
  }
}

QTEST_GUILESS_MAIN(TstCfg1602)
#include "tst_cfg1602.moc"
