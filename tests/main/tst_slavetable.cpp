#include "main/SlaveTable.h"

#include <QTemporaryDir>
#include <QtTest>

#include "SettingsFiles.h"

using namespace vantor;
using namespace vantor::test;

namespace {

QByteArray requestOf(const modVar& vars, int slave) {
  const auto& bytes = vars.slaveReq(slave).bytes;
  return QByteArray(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

const SlaveView& viewOf(const SlaveTableLoad& load, int slave) {
  return load.views.at(static_cast<std::size_t>(slave - 1));
}

}  // namespace

class TstSlaveTable : public QObject {
  Q_OBJECT

 private slots:
  void init() { QFile::remove(ini_.INIFilePath()); }

  void load1602_data();
  void load1602();
  void load1602Stops_data();
  void load1602Stops();
  void load2004FillsAllFourSlaves();
  void load2004Stops_data();
  void load2004Stops();

 private:
  // values: Saddr, RHigh, RLow, Fcode, DT
  void writeSlave(const QString& section, const QString& suffix, const QStringList& values) {
    const QStringList keys{"Saddr", "RHigh", "RLow", "Fcode", "DT"};
    for (qsizetype i = 0; i < keys.size(); ++i)
      writeKey(ini_, section, keys[i] + suffix, values[i]);
  }
  // Four slaves as the four-line window saves them, with only data field 1 active; returns
  // what loading them gives.
  modVar fourLineLoaded() {
    writeKey(ini_, "Settings", "AF", "1");
    writeSlave("Cfg2004", "1", {"1", "0", "0", "3", "0"});
    writeSlave("Cfg2004", "2", {"2", "0", "16", "4", "0"});
    writeSlave("Cfg2004", "3", {"3", "39", "14", "3", "4"});
    writeSlave("Cfg2004", "4", {"247", "255", "255", "4", "5"});
    modVar vars;
    LoadSlaveTable2004(ini_, vars);
    return vars;
  }
  // A slave whose load completed: `shown` is its address label, the two register labels and its
  // expected request in hex.
  void checkLoaded(const SlaveTableLoad& load, const modVar& vars, int slave,
                   const QStringList& shown) {
    const SlaveView& view = viewOf(load, slave);
    QCOMPARE(view.address, shown[0]);
    QVERIFY(view.listsReset);
    QCOMPARE(view.firstReg, shown[1]);
    QCOMPARE(view.secondReg, shown[2]);
    QCOMPARE(requestOf(vars, slave), QByteArray::fromHex(shown[3].toLatin1()));
    QVERIFY(vars.slaveReq(slave).enabled);
  }
  // A two-line load leaves slaves 2 to 4 and their views as they were, answering or not.
  void checkOthersKept(const SlaveTableLoad& load, const modVar& vars, const modVar& before,
                       bool answering) {
    for (int slave = 2; slave <= kSlaveCount; ++slave) {
      const SlaveView& view = viewOf(load, slave);
      QVERIFY(!view.address && !view.listsReset && !view.firstReg && !view.secondReg);
      QCOMPARE(requestOf(vars, slave), requestOf(before, slave));
      QCOMPARE(vars.slaveReq(slave).enabled, answering);
    }
  }

  QTemporaryDir dir_;
  modINI ini_{dir_.path()};
};

void TstSlaveTable::load1602_data() {
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
  row("highest register", {"255", "255", "255", "3", "7"},
      {"255", "465536", "465537", "FF03FFFF0002"});
  row("any other function is 04, negative type 16-bit", {"1", "0", "0", "6", "-1"},
      {"1", "n / a", "30001", "010400000001"});
  // The address label shows the text as stored.
  row("blanks around numbers", {" 17 ", " 0", "9 ", " 4 ", " 4"},
      {" 17 ", "30010", "30011", "110400090002"});
}

// After a four-line load: slave 1 takes the two-line module's settings, slaves 2 to 4 fall
// silent.
void TstSlaveTable::load1602() {
  QFETCH(QStringList, keys);
  QFETCH(QStringList, shown);
  modVar vars = fourLineLoaded();
  const modVar before = vars;
  writeSlave("Cfg1602", "", keys);
  const SlaveTableLoad load = LoadSlaveTable1602(ini_, vars);
  QVERIFY2(!load.error, qPrintable(load.error.value_or("")));
  checkLoaded(load, vars, 1, shown);
  QVERIFY(load.disableOthers);
  checkOthersKept(load, vars, before, false);
}

void TstSlaveTable::load1602Stops_data() {
  QTest::addColumn<QString>("key");
  QTest::addColumn<QString>("value");
  QTest::addColumn<bool>("listsReset");  // the load got past the address
  QTest::addColumn<QString>("what");
  const auto row = [](const char* key, const char* value, bool listsReset, const QString& what) {
    QTest::addRow("%s=%s", key, value) << key << value << listsReset << what;
  };
  const QString notByte = "holds \"%1\", which is not a whole number from 0 to 255";
  const QString notWhole = "holds \"%1\", which is not a whole number";
  row("Saddr", "", false, "is empty or missing");
  row("RLow", "256", true, notByte.arg("256"));
  row("Fcode", "three", true, notWhole.arg("three"));
  row("DT", "1.5", true, notWhole.arg("1.5"));
}

// A stopped load names the key, leaves slave 1 silent and slaves 2 to 4 as they were.
void TstSlaveTable::load1602Stops() {
  QFETCH(QString, key);
  QFETCH(QString, value);
  QFETCH(bool, listsReset);
  QFETCH(QString, what);
  modVar vars = fourLineLoaded();
  const modVar before = vars;
  writeSlave("Cfg1602", "", {"1", "0", "0", "3", "0"});
  writeKey(ini_, "Cfg1602", key, value);

  const SlaveTableLoad load = LoadSlaveTable1602(ini_, vars);
  QCOMPARE(load.error, QStringLiteral("Key %1 in section [Cfg1602] of %2 %3. Use Configure LCD to "
                                      "create the module's configuration.")
                           .arg(key, ini_.INIFilePath(), what));
  const SlaveView& view = viewOf(load, 1);
  QCOMPARE(view.address, ini_.ReadINI("Cfg1602", "Saddr"));
  QCOMPARE(view.listsReset, listsReset);
  QVERIFY(!view.firstReg && !view.secondReg);
  QVERIFY(!vars.slaveReq(1).enabled);
  QVERIFY(!load.disableOthers);
  checkOthersKept(load, vars, before, true);
}

// All four slaves load, whatever the number of active data fields.
void TstSlaveTable::load2004FillsAllFourSlaves() {
  fourLineLoaded();
  modVar vars;
  const SlaveTableLoad load = LoadSlaveTable2004(ini_, vars);
  QVERIFY2(!load.error, qPrintable(load.error.value_or("")));
  QVERIFY(!load.disableOthers);
  checkLoaded(load, vars, 1, {"1", "n / a", "40001", "010300000001"});
  checkLoaded(load, vars, 2, {"2", "n / a", "30017", "020400100001"});
  checkLoaded(load, vars, 3, {"3", "49999", "50000", "0303270E0002"});
  checkLoaded(load, vars, 4, {"247", "365536", "365537", "F704FFFF0002"});
}

void TstSlaveTable::load2004Stops_data() {
  QTest::addColumn<QString>("key");
  QTest::addColumn<QString>("value");
  QTest::addColumn<int>("addressesShown");  // slaves 1..n had their address step
  QTest::addColumn<bool>("listsReset");
  QTest::addColumn<int>("completed");  // slaves 1..n had their register step
  const auto row = [](const char* key, const char* value, int shown, bool reset, int completed) {
    QTest::addRow("%s=%s", key, value) << key << value << shown << reset << completed;
  };
  row("Saddr3", "three", 3, false, 0);
  row("RHigh1", "300", 4, true, 0);
  row("DT3", "2.5", 4, true, 2);
}

// After a complete load one key breaks. A slave whose reload stopped midway answers nothing
// until a later load completes it; slaves the load never reached keep answering as before.
void TstSlaveTable::load2004Stops() {
  QFETCH(QString, key);
  QFETCH(QString, value);
  QFETCH(int, addressesShown);
  QFETCH(bool, listsReset);
  QFETCH(int, completed);
  modVar vars = fourLineLoaded();
  const QString good = ini_.ReadINI("Cfg2004", key);
  writeKey(ini_, "Cfg2004", key, value);

  const SlaveTableLoad load = LoadSlaveTable2004(ini_, vars);
  QVERIFY(load.error);
  QVERIFY(load.error->startsWith(
      QStringLiteral("Key %1 in section [Cfg2004] of %2 ").arg(key, ini_.INIFilePath())));
  for (int slave = 1; slave <= kSlaveCount; ++slave) {
    const SlaveView& view = viewOf(load, slave);
    QCOMPARE(view.address.has_value(), slave <= addressesShown);
    QCOMPARE(view.listsReset, listsReset);
    QCOMPARE(view.firstReg.has_value(), slave <= completed);
    QCOMPARE(view.secondReg.has_value(), slave <= completed);
    const bool stoppedMidway = slave > completed && slave <= addressesShown;
    QCOMPARE(vars.slaveReq(slave).enabled, !stoppedMidway);
  }

  writeKey(ini_, "Cfg2004", key, good);
  QVERIFY(!LoadSlaveTable2004(ini_, vars).error);
  for (int slave = 1; slave <= kSlaveCount; ++slave) QVERIFY(vars.slaveReq(slave).enabled);
}

QTEST_GUILESS_MAIN(TstSlaveTable)
#include "tst_slavetable.moc"
