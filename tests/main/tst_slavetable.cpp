#include "main/SlaveTable.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace vantor;

namespace {

QByteArray requestOf(const modVar& vars, int slave) {
  const auto& bytes = vars.slaveReq(slave).bytes;
  return QByteArray(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

const SlaveView& viewOf(const SlaveTableLoad& load, int slave) {
  return load.views.at(static_cast<std::size_t>(slave - 1));
}

bool untouched(const SlaveView& view) {
  return !view.address && !view.listsReset && !view.firstReg && !view.secondReg;
}

QString cause(const QString& key, const QString& section, const QString& file,
              const QString& what) {
  return QStringLiteral(
             "Key %1 in section [%2] of %3 %4. Use Configure LCD to create the "
             "module's configuration.")
      .arg(key, section, file, what);
}

}  // namespace

class TstSlaveTable : public QObject {
  Q_OBJECT

 private slots:
  void init();

  void valueLists_data();
  void valueLists();
  void load1602_data();
  void load1602();
  void load1602Stops_data();
  void load1602Stops();
  void load1602AfterFourLine();
  void load2004FillsAllFourSlaves();
  void load2004Stops_data();
  void load2004Stops();

 private:
  void write(const QString& section, const QString& key, const QString& value);
  void writeSlave(const QString& section, const QString& suffix, const QStringList& values);
  void write2004();

  std::unique_ptr<QTemporaryDir> dir_;
  std::unique_ptr<modINI> ini_;
};

void TstSlaveTable::init() {
  dir_ = std::make_unique<QTemporaryDir>();
  QVERIFY(dir_->isValid());
  ini_ = std::make_unique<modINI>(dir_->path());
}

void TstSlaveTable::write(const QString& section, const QString& key, const QString& value) {
  QString error;
  QVERIFY2(ini_->WriteINI(section, key, value, &error), qPrintable(error));
}

// values: Saddr, RHigh, RLow, Fcode, DT
void TstSlaveTable::writeSlave(const QString& section, const QString& suffix,
                               const QStringList& values) {
  const QStringList keys{"Saddr", "RHigh", "RLow", "Fcode", "DT"};
  for (qsizetype i = 0; i < keys.size(); ++i) write(section, keys[i] + suffix, values[i]);
}

// Four slaves as the four-line window saves them, with only data field 1 active.
void TstSlaveTable::write2004() {
  write("Settings", "AF", "0");
  writeSlave("Cfg2004", "1", {"1", "0", "0", "3", "0"});
  writeSlave("Cfg2004", "2", {"2", "0", "16", "4", "0"});
  writeSlave("Cfg2004", "3", {"3", "39", "14", "3", "4"});
  writeSlave("Cfg2004", "4", {"247", "255", "255", "4", "5"});
}

void TstSlaveTable::valueLists_data() {
  QTest::addColumn<int>("element");
  QTest::addColumn<int>("entries");
  QTest::newRow("low byte") << 0 << 256;
  QTest::newRow("high byte") << 1 << 256;
  QTest::newRow("third byte") << 2 << 16;
}

void TstSlaveTable::valueLists() {
  QFETCH(int, element);
  QFETCH(int, entries);
  const QStringList list = valueListEntries(element);
  QCOMPARE(list.size(), entries);
  QCOMPARE(list.first(), "0x00");
  QCOMPARE(list.indexOf("0x0A"), 10);  // position is the byte sent
  QCOMPARE(list.last(), entries == 256 ? "0xFF" : "0x0F");
}

void TstSlaveTable::load1602_data() {
  QTest::addColumn<QStringList>("keys");  // Saddr, RHigh, RLow, Fcode, DT
  QTest::addColumn<QString>("firstReg");
  QTest::addColumn<QString>("secondReg");
  QTest::addColumn<QByteArray>("request");

  const QString na = "n / a";
  QTest::newRow("16-bit holding register 0") << QStringList{"1", "0", "0", "3", "0"} << na
                                             << "40001" << QByteArray::fromHex("010300000001");
  QTest::newRow("32-bit type") << QStringList{"1", "0", "0", "3", "4"} << "40001"
                               << "40002" << QByteArray::fromHex("010300000002");
  QTest::newRow("input register 9") << QStringList{"1", "0", "9", "4", "0"} << na << "30010"
                                    << QByteArray::fromHex("010400090001");
  QTest::newRow("register 99") << QStringList{"1", "0", "99", "3", "0"} << na << "40100"
                               << QByteArray::fromHex("010300630001");
  QTest::newRow("register 999") << QStringList{"1", "3", "231", "3", "0"} << na << "41000"
                                << QByteArray::fromHex("010303E70001");
  QTest::newRow("register 9999") << QStringList{"1", "39", "15", "3", "0"} << na << "410000"
                                 << QByteArray::fromHex("0103270F0001");
  QTest::newRow("second label crosses a digit") << QStringList{"1", "39", "14", "3", "3"} << "49999"
                                                << "50000" << QByteArray::fromHex("0103270E0002");
  QTest::newRow("highest register") << QStringList{"255", "255", "255", "3", "7"} << "465536"
                                    << "465537" << QByteArray::fromHex("FF03FFFF0002");
  QTest::newRow("last 16-bit type") << QStringList{"1", "0", "0", "3", "2"} << na << "40001"
                                    << QByteArray::fromHex("010300000001");
  QTest::newRow("negative type is 16-bit") << QStringList{"1", "0", "0", "3", "-1"} << na << "40001"
                                           << QByteArray::fromHex("010300000001");
  QTest::newRow("any other function is 04") << QStringList{"1", "0", "0", "6", "0"} << na << "30001"
                                            << QByteArray::fromHex("010400000001");
  QTest::newRow("blanks around numbers") << QStringList{" 17 ", " 0", "9 ", " 4 ", " 4"} << "30010"
                                         << "30011" << QByteArray::fromHex("110400090002");
}

void TstSlaveTable::load1602() {
  QFETCH(QStringList, keys);
  QFETCH(QString, firstReg);
  QFETCH(QString, secondReg);
  QFETCH(QByteArray, request);
  writeSlave("Cfg1602", "", keys);

  modVar vars;
  const SlaveTableLoad load = LoadSlaveTable1602(*ini_, vars);
  QVERIFY2(!load.error, qPrintable(load.error.value_or("")));
  const SlaveView& view = viewOf(load, 1);
  QCOMPARE(view.address, ini_->ReadINI("Cfg1602", "Saddr"));
  QVERIFY(view.listsReset);
  QCOMPARE(view.firstReg, firstReg);
  QCOMPARE(view.secondReg, secondReg);
  QCOMPARE(requestOf(vars, 1), request);
  QVERIFY(vars.slaveReq(1).enabled);
  QVERIFY(load.disableOthers);
}

void TstSlaveTable::load1602Stops_data() {
  QTest::addColumn<QString>("key");
  QTest::addColumn<QString>("value");
  QTest::addColumn<bool>("listsReset");
  QTest::addColumn<QString>("what");

  const QString missing = "is empty or missing";
  const auto notByte = [](const char* v) {
    return QStringLiteral("holds \"%1\", which is not a whole number from 0 to 255").arg(v);
  };
  const auto notWhole = [](const char* v) {
    return QStringLiteral("holds \"%1\", which is not a whole number").arg(v);
  };
  QTest::newRow("never configured") << "Saddr"
                                    << "" << false << missing;
  QTest::newRow("address blanks only") << "Saddr"
                                       << "  " << false << missing;
  QTest::newRow("address 256") << "Saddr"
                               << "256" << false << notByte("256");
  QTest::newRow("address negative") << "Saddr"
                                    << "-1" << false << notByte("-1");
  QTest::newRow("address in hex") << "Saddr"
                                  << "0x10" << false << notByte("0x10");
  QTest::newRow("address fraction") << "Saddr"
                                    << "1.5" << false << notByte("1.5");
  QTest::newRow("register high missing") << "RHigh"
                                         << "" << true << missing;
  QTest::newRow("register low 256") << "RLow"
                                    << "256" << true << notByte("256");
  QTest::newRow("function missing") << "Fcode"
                                    << "" << true << missing;
  QTest::newRow("function a word") << "Fcode"
                                   << "three" << true << notWhole("three");
  QTest::newRow("type missing") << "DT"
                                << "" << true << missing;
  QTest::newRow("type fraction") << "DT"
                                 << "1.5" << true << notWhole("1.5");
}

// A stopped load leaves slave 1 silent and slaves 2 to 4 as they were.
void TstSlaveTable::load1602Stops() {
  QFETCH(QString, key);
  QFETCH(QString, value);
  QFETCH(bool, listsReset);
  QFETCH(QString, what);
  writeSlave("Cfg1602", "", {"1", "0", "0", "3", "0"});
  write("Cfg1602", key, value);

  modVar vars;
  for (int slave = 1; slave <= kSlaveCount; ++slave)
    vars.slaveReq(slave) = {{static_cast<std::uint8_t>(slave), 3, 0, 0, 0, 1}, true};
  const modVar before = vars;

  const SlaveTableLoad load = LoadSlaveTable1602(*ini_, vars);
  QCOMPARE(load.error, cause(key, "Cfg1602", ini_->INIFilePath(), what));
  const SlaveView& view = viewOf(load, 1);
  QCOMPARE(view.address, ini_->ReadINI("Cfg1602", "Saddr"));
  QCOMPARE(view.listsReset, listsReset);
  QVERIFY(!view.firstReg && !view.secondReg);
  QVERIFY(!vars.slaveReq(1).enabled);
  QVERIFY(!load.disableOthers);
  for (int slave = 2; slave <= kSlaveCount; ++slave) {
    QVERIFY(untouched(viewOf(load, slave)));
    QVERIFY(vars.slaveReq(slave).enabled);
    QCOMPARE(requestOf(vars, slave), requestOf(before, slave));
  }
}

void TstSlaveTable::load1602AfterFourLine() {
  write2004();
  writeSlave("Cfg1602", "", {"9", "0", "0", "3", "0"});
  modVar vars;
  QVERIFY(!LoadSlaveTable2004(*ini_, vars).error);
  const modVar fourLine = vars;

  const SlaveTableLoad load = LoadSlaveTable1602(*ini_, vars);
  QVERIFY(!load.error);
  QVERIFY(load.disableOthers);
  QVERIFY(vars.slaveReq(1).enabled);
  QCOMPARE(requestOf(vars, 1), QByteArray::fromHex("090300000001"));
  for (int slave = 2; slave <= kSlaveCount; ++slave) {
    QVERIFY(!vars.slaveReq(slave).enabled);
    QCOMPARE(requestOf(vars, slave), requestOf(fourLine, slave));
    QVERIFY(untouched(viewOf(load, slave)));
  }
}

void TstSlaveTable::load2004FillsAllFourSlaves() {
  write2004();
  modVar vars;
  const SlaveTableLoad load = LoadSlaveTable2004(*ini_, vars);
  QVERIFY2(!load.error, qPrintable(load.error.value_or("")));
  QVERIFY(!load.disableOthers);

  struct Expected {
    const char* address;
    const char* firstReg;
    const char* secondReg;
    const char* request;
  };
  const std::array<Expected, kSlaveCount> expected{{
      {"1", "n / a", "40001", "010300000001"},
      {"2", "n / a", "30017", "020400100001"},
      {"3", "49999", "50000", "0303270E0002"},
      {"247", "365536", "365537", "F704FFFF0002"},
  }};
  for (int slave = 1; slave <= kSlaveCount; ++slave) {
    const Expected& e = expected.at(static_cast<std::size_t>(slave - 1));
    const SlaveView& view = viewOf(load, slave);
    QCOMPARE(view.address, e.address);
    QVERIFY(view.listsReset);
    QCOMPARE(view.firstReg, e.firstReg);
    QCOMPARE(view.secondReg, e.secondReg);
    QCOMPARE(requestOf(vars, slave), QByteArray::fromHex(e.request));
    QVERIFY(vars.slaveReq(slave).enabled);
  }
}

void TstSlaveTable::load2004Stops_data() {
  QTest::addColumn<QString>("key");
  QTest::addColumn<QString>("value");
  QTest::addColumn<int>("addressesShown");  // slaves 1..n had their address step
  QTest::addColumn<bool>("listsReset");
  QTest::addColumn<int>("completed");  // slaves 1..n had their register step

  QTest::newRow("address 1 missing") << "Saddr1"
                                     << "" << 1 << false << 0;
  QTest::newRow("address 3 a word") << "Saddr3"
                                    << "three" << 3 << false << 0;
  QTest::newRow("register 1 out of range") << "RHigh1"
                                           << "300" << 4 << true << 0;
  QTest::newRow("type 3 fraction") << "DT3"
                                   << "2.5" << 4 << true << 2;
  QTest::newRow("function 4 missing") << "Fcode4"
                                      << "" << 4 << true << 3;
}

// Slaves are first loaded completely; then one key breaks. A slave whose reload stopped
// midway answers nothing until a later load completes it; slaves the load never reached keep
// answering as before.
void TstSlaveTable::load2004Stops() {
  QFETCH(QString, key);
  QFETCH(QString, value);
  QFETCH(int, addressesShown);
  QFETCH(bool, listsReset);
  QFETCH(int, completed);
  write2004();
  modVar vars;
  QVERIFY(!LoadSlaveTable2004(*ini_, vars).error);
  const QString good = ini_->ReadINI("Cfg2004", key);
  write("Cfg2004", key, value);

  const SlaveTableLoad load = LoadSlaveTable2004(*ini_, vars);
  QVERIFY(load.error);
  QVERIFY(load.error->startsWith(
      QStringLiteral("Key %1 in section [Cfg2004] of %2 ").arg(key, ini_->INIFilePath())));
  for (int slave = 1; slave <= kSlaveCount; ++slave) {
    const SlaveView& view = viewOf(load, slave);
    QCOMPARE(view.address.has_value(), slave <= addressesShown);
    QCOMPARE(view.listsReset, listsReset);
    QCOMPARE(view.firstReg.has_value(), slave <= completed);
    QCOMPARE(view.secondReg.has_value(), slave <= completed);
    const bool stoppedMidway = slave > completed && slave <= addressesShown;
    QCOMPARE(vars.slaveReq(slave).enabled, !stoppedMidway);
  }

  write("Cfg2004", key, good);
  QVERIFY(!LoadSlaveTable2004(*ini_, vars).error);
  for (int slave = 1; slave <= kSlaveCount; ++slave) QVERIFY(vars.slaveReq(slave).enabled);
}

QTEST_GUILESS_MAIN(TstSlaveTable)
#include "tst_slavetable.moc"
