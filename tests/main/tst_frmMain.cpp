// The main window against a real settings file and a real pseudo-terminal.
#include "PtyPair.h"
#include "RecordingDialogs.h"
#include "main/frmMain.h"
#include "platform/PortMap.h"
#include "platform/SerialPort.h"
#include "settings/modINI.h"
#include "shared/modVar.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace vantor;
using vantor::test::PtyPair;
using vantor::test::RecordingDialogs;

namespace {

// One start of the program: a settings folder, the shared values and the main window.
struct Session {
  explicit Session(const QString& folder) : ini(folder) {}
  void start() { window = std::make_unique<frmMain>(vars, ini, dialogs); }
  template <typename T>
  T* get(const QString& name) {
    auto* w = window->findChild<T*>(name);
    if (!w) qFatal("no control %s", qPrintable(name));
    return w;
  }
  QString caption() { return get<QPushButton>("cmdConnect")->text(); }
  void press(const QString& button) { get<QPushButton>(button)->click(); }
  void choose(const QString& combo, int position) {
    get<QComboBox>(combo)->setCurrentIndex(position);
  }
  void close() { window->close(); }

  modINI ini;
  modVar vars;
  RecordingDialogs dialogs;
  std::unique_ptr<frmMain> window;
};

}  // namespace

class tst_frmMain : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> dir_;
  std::unique_ptr<PtyPair> pty_;

  QString iniText() {
    QFile f(dir_->filePath("modlcd.ini"));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
  }
  // Settings for a connection to the pty behind port 4 at 19200,n,8,2.
  void storeConnection(modINI& ini) {
    QVERIFY(ini.WriteINI("Ports", "4", pty_->devicePath()));
    QVERIFY(ini.WriteINI("Settings", "CommPort", "4"));
    QVERIFY(ini.WriteINI("Settings", "Setting", "19200,n,8,2"));
    QVERIFY(ini.WriteINI("LCD", "Module", "2004"));
    // A saved four-line configuration, so that Connect has slaves to load.
    for (int n = 1; n <= 4; ++n) {
      const QString i = QString::number(n);
      for (auto key : {"Saddr", "RHigh", "RLow", "Fcode", "DT"})
        QVERIFY(ini.WriteINI("Cfg2004", key + i, key == QString("Fcode") ? "3" : i));
    }
  }

 private slots:
  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    pty_ = std::make_unique<PtyPair>();
    QVERIFY(dir_->isValid());
    QVERIFY(pty_->isValid());
  }

  void startsDisconnectedWithItsLayout() {
    Session s(dir_->path());
    s.start();
    QCOMPARE(s.window->windowTitle(), QString("Vantor"));
    QCOMPARE(s.caption(), QString("Connect"));
    QVERIFY(s.get<QGroupBox>("fComm")->isEnabled());
    QVERIFY(!s.get<QPushButton>("cmdCfgLcd")->isEnabled());
    QVERIFY(!s.get<QGroupBox>("fModSim")->isEnabled());
    QCOMPARE(s.get<QComboBox>("cboDF")->count(), 3);
    QCOMPARE(s.get<QComboBox>("cboDF")->itemText(2), QString("8E1"));
    QCOMPARE(s.get<QComboBox>("cboComm")->count(), 20);
    QCOMPARE(s.get<QComboBox>("cboComm")->itemText(19), QString("20"));
    QCOMPARE(s.get<QComboBox>("cboModule")->itemText(0), QString("KV-216"));
    QCOMPARE(s.get<QComboBox>("cboModule")->itemText(1), QString("KV-420"));
    for (int i = 0; i < 4; ++i) {
      QCOMPARE(s.get<QLabel>(QString("lblSid%1").arg(i))->text(), QString("Disabled"));
      for (int e = 0; e < 3; ++e)
        QCOMPARE(s.get<QComboBox>(QString("cboMReg%1_%2").arg(i + 1).arg(e))->count(), 0);
    }
    for (int i = 0; i < 8; ++i)
      QCOMPARE(s.get<QLabel>(QString("lblReg%1").arg(i))->text(), QString("Modbus Reg"));
    for (auto name : {"lblRxData", "lblTxData", "lblStatus"})
      QVERIFY(s.get<QLabel>(name)->text().isEmpty());
  }

  void restoresStoredChoices_data() {
    QTest::addColumn<QString>("commPort");
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QString>("module");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("baud");
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("modulePos");
    // An empty text stands for a key that is not in the file at all.
    QTest::newRow("first start") << "" << "" << "" << -1 << "" << -1 << 1;
    QTest::newRow("38400 8E1") << "3" << "38400,e,8,1" << "1602" << 2 << "opt38400" << 2 << 0;
    QTest::newRow("9600 8N2") << "20" << "9600,n,8,2" << "2004" << 19 << "opt9600" << 1 << 1;
    QTest::newRow("format only") << "1" << ",n,8,1" << "x" << 0 << "" << 0 << 1;
    QTest::newRow("baud only") << "5" << "19200" << "1602" << 4 << "opt19200" << -1 << 0;
    QTest::newRow("port 0") << "0" << "9600,n,8,1" << " 1602" << -1 << "opt9600" << 0 << 1;
    QTest::newRow("port 21") << "21" << "" << "" << -1 << "" << -1 << 1;
    QTest::newRow("port text") << "COM3" << "" << "" << -1 << "" << -1 << 1;
    QTest::newRow("port negative") << "-2" << "" << "" << -1 << "" << -1 << 1;
  }
  void restoresStoredChoices() {
    QFETCH(QString, commPort);
    QFETCH(QString, setting);
    QFETCH(QString, module);
    Session s(dir_->path());
    if (!commPort.isEmpty()) QVERIFY(s.ini.WriteINI("Settings", "CommPort", commPort));
    if (!setting.isEmpty()) QVERIFY(s.ini.WriteINI("Settings", "Setting", setting));
    if (!module.isEmpty()) QVERIFY(s.ini.WriteINI("LCD", "Module", module));
    s.start();

    QTEST(s.get<QComboBox>("cboComm")->currentIndex(), "port");
    QTEST(s.get<QComboBox>("cboDF")->currentIndex(), "format");
    QTEST(s.get<QComboBox>("cboModule")->currentIndex(), "modulePos");
    QFETCH(QString, baud);
    for (auto name : {"opt9600", "opt19200", "opt38400"})
      QCOMPARE(s.get<QRadioButton>(name)->isChecked(), baud == name);
    QVERIFY(s.dialogs.boxes.isEmpty());

    // Closing without pressing Connect writes back what was read.
    s.close();
    QCOMPARE(s.ini.ReadINI("Settings", "CommPort"), commPort);
    QCOMPARE(s.ini.ReadINI("Settings", "Setting"), setting);
    QCOMPARE(s.ini.ReadINI("LCD", "Module"), QString(module == "1602" ? "1602" : "2004"));
  }

  void connectOpensTheDeviceBehindThePortNumber() {
    Session s(dir_->path());
    storeConnection(s.ini);
    s.start();
    QVERIFY(s.get<QLabel>("lblDevice")->text().contains(pty_->devicePath()));

    s.press("cmdConnect");
    QVERIFY2(s.dialogs.boxes.isEmpty(), qPrintable(s.dialogs.texts().join('|')));
    QCOMPARE(s.caption(), QString("Disconnect"));
    QVERIFY(!s.get<QGroupBox>("fComm")->isEnabled());
    QVERIFY(s.get<QPushButton>("cmdCfgLcd")->isEnabled());
    QVERIFY(s.get<QGroupBox>("fModSim")->isEnabled());
    QVERIFY(s.window->port().isOpen());
    QCOMPARE(s.window->port().deviceName(), pty_->devicePath());

    // While connected nobody else gets the device.
    SerialPort other([&](int) { return pty_->devicePath(); });
    other.setCommPort(4);
    other.setSettings("9600,n,8,1");
    QVERIFY(!other.open());

    s.press("cmdConnect");
    QCOMPARE(s.caption(), QString("Connect"));
    QVERIFY(s.get<QGroupBox>("fComm")->isEnabled());
    QVERIFY(!s.get<QPushButton>("cmdCfgLcd")->isEnabled());
    QVERIFY(!s.get<QGroupBox>("fModSim")->isEnabled());
    QVERIFY(!s.window->port().isOpen());
    QVERIFY(other.open());
  }

  void connectToAHeldDeviceFails() {
    Session s(dir_->path());
    storeConnection(s.ini);
    SerialPort holder([&](int) { return pty_->devicePath(); });
    holder.setCommPort(1);
    holder.setSettings("9600,n,8,1");
    QVERIFY(holder.open());
    s.start();

    s.press("cmdConnect");
    QCOMPARE(s.dialogs.texts(), QStringList{"COMM PORT ERROR!"});
    QVERIFY(s.dialogs.boxes[0].detail.contains(pty_->devicePath()));
    QCOMPARE(s.caption(), QString("Connect"));
    QVERIFY(!s.window->port().isOpen());
    QVERIFY(!s.get<QPushButton>("cmdCfgLcd")->isEnabled());
  }

  void failedConnectsAreStillRemembered_data() {
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("savedPort");
    QTest::addColumn<QString>("savedSetting");
    QTest::newRow("no port chosen") << -1 << 0 << "0" << "38400,n,8,1";
    QTest::newRow("no device behind it") << 16 << 0 << "17" << "38400,n,8,1";
    QTest::newRow("no data format") << 3 << -1 << "4" << "38400";
  }
  void failedConnectsAreStillRemembered() {
    QFETCH(int, port);
    QFETCH(int, format);
    Session s(dir_->path());
    storeConnection(s.ini);
    s.start();
    s.get<QRadioButton>("opt38400")->setChecked(true);
    s.choose("cboComm", port);
    s.choose("cboDF", format);
    s.press("cmdConnect");
    QCOMPARE(s.dialogs.texts(), QStringList{"COMM PORT ERROR!"});
    QVERIFY(!s.dialogs.boxes[0].detail.isEmpty());
    QCOMPARE(s.caption(), QString("Connect"));
    s.close();
    QTEST(s.ini.ReadINI("Settings", "CommPort"), "savedPort");
    QTEST(s.ini.ReadINI("Settings", "Setting"), "savedSetting");
  }

  void closingSavesTheLastPressNotTheLists() {
    Session s(dir_->path());
    storeConnection(s.ini);
    s.start();
    s.press("cmdConnect");
    s.press("cmdConnect");
    s.choose("cboComm", 9);
    s.choose("cboDF", 2);
    s.get<QRadioButton>("opt9600")->setChecked(true);
    s.choose("cboModule", 0);
    s.close();
    QCOMPARE(s.ini.ReadINI("Settings", "CommPort"), QString("4"));
    QCOMPARE(s.ini.ReadINI("Settings", "Setting"), QString("19200,n,8,2"));
    QCOMPARE(s.ini.ReadINI("LCD", "Module"), QString("1602"));
    QVERIFY(s.dialogs.boxes.isEmpty());
    // The [Ports] entry is the user's and stays.
    QCOMPARE(s.ini.ReadINI("Ports", "4"), pty_->devicePath());
  }

  void configureLcdReleasesThePort() {
    Session s(dir_->path());
    storeConnection(s.ini);
    s.start();
    s.press("cmdConnect");
    QVERIFY(s.window->port().isOpen());
    s.press("cmdCfgLcd");
    QVERIFY(!s.window->port().isOpen());
    QCOMPARE(s.caption(), QString("Connect"));
    QVERIFY(s.get<QGroupBox>("fComm")->isEnabled());
    QVERIFY(!s.get<QPushButton>("cmdCfgLcd")->isEnabled());
    QVERIFY(!s.get<QGroupBox>("fModSim")->isEnabled());
  }

  void aVanishingDeviceDisconnects() {
    Session s(dir_->path());
    storeConnection(s.ini);
    s.start();
    s.press("cmdConnect");
    QCOMPARE(s.caption(), QString("Disconnect"));

    pty_->closeMaster();
    QTRY_COMPARE_WITH_TIMEOUT(s.caption(), QString("Connect"), 3000);
    QVERIFY(!s.window->port().isOpen());
    QVERIFY(s.get<QGroupBox>("fComm")->isEnabled());
    QCOMPARE(s.dialogs.boxes.size(), 1);
    QVERIFY(s.dialogs.boxes[0].detail.contains("Port 4"));
    // Once closed, the port stays quiet: no further reports pile up.
    QTest::qWait(100);
    QCOMPARE(s.dialogs.boxes.size(), 1);
  }

  void aFailedSaveIsReportedOnce() {
    // A settings folder under a regular file can never be created, not even by root.
    QFile blocker(dir_->filePath("file"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    Session s(dir_->filePath("file/settings"));
    s.start();
    s.close();
    QCOMPARE(s.dialogs.boxes.size(), 1);
    QVERIFY(s.dialogs.boxes[0].text.contains("modlcd.ini"));
    QVERIFY(s.dialogs.boxes[0].text.contains("not saved"));
  }
};

QTEST_MAIN(tst_frmMain)
#include "tst_frmMain.moc"
