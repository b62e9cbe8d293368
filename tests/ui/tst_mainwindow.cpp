// The main window against a real settings file and a real pseudo-terminal.
#include "AppSession.h"

using namespace vantor;
using namespace vantor::test;

namespace {

// Whether the window shows itself connected: caption, and which parts take input.
void verifyConnected(const AppSession& s, bool connected) {
  QCOMPARE(s.connectCaption(), QString(connected ? "Disconnect" : "Connect"));
  QCOMPARE(s.get<QGroupBox>("fComm")->isEnabled(), !connected);
  QCOMPARE(s.get<QPushButton>("cmdCfgLcd")->isEnabled(), connected);
  QCOMPARE(s.get<QGroupBox>("fModSim")->isEnabled(), connected);
  QCOMPARE(s.main->port().isOpen(), connected);
}

}  // namespace

class tst_frmMain : public QObject {
  Q_OBJECT

  std::unique_ptr<AppSession> s_;

  // The main window on the pty behind port 4 at 19200,n,8,2, with a saved four-line
  // configuration for Connect to load.
  AppSession& start() {
    s_->choosePort(4, "19200,n,8,2", "2004");
    for (int n = 1; n <= 4; ++n) storePoll(s_->ini, "Cfg2004", QString::number(n), {n, 3, n, 0});
    s_->start();
    return *s_;
  }

 private slots:
  void init() { s_ = std::make_unique<AppSession>(); }
  void cleanup() { s_.reset(); }

  void startsDisconnectedWithItsLayout() {
    AppSession& s = *s_;
    s.start();
    QCOMPARE(s.main->windowTitle(), QString("Vantor"));
    verifyConnected(s, false);
    QCOMPARE(entries(s.get<QComboBox>("cboDF")), (QStringList{"8N1", "8N2", "8E1"}));
    QCOMPARE(s.get<QComboBox>("cboComm")->count(), 20);
    QCOMPARE(s.get<QComboBox>("cboComm")->itemText(19), QString("20"));
    QCOMPARE(entries(s.get<QComboBox>("cboModule")), (QStringList{"KV-216", "KV-420"}));
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
    const auto row = [](const char* name, const char* commPort, const char* setting,
                        const char* module, int port, const char* baud, int format, int pos) {
      QTest::newRow(name) << commPort << setting << module << port << baud << format << pos;
    };
    // An empty text stands for a key that is not in the file at all.
    row("first start", "", "", "", -1, "", -1, 1);
    row("38400 8E1", "3", "38400,e,8,1", "1602", 2, "opt38400", 2, 0);
    row("9600 8N2", "20", "9600,n,8,2", "2004", 19, "opt9600", 1, 1);
    row("format only", "1", ",n,8,1", "x", 0, "", 0, 1);
    row("baud only", "5", "19200", "1602", 4, "opt19200", -1, 0);
    row("port 0", "0", "9600,n,8,1", " 1602", -1, "opt9600", 0, 1);
    row("port 21", "21", "", "", -1, "", -1, 1);
    row("port text", "COM3", "", "", -1, "", -1, 1);
  }
  void restoresStoredChoices() {
    QFETCH(QString, commPort);
    QFETCH(QString, setting);
    QFETCH(QString, module);
    AppSession& s = *s_;
    if (!commPort.isEmpty()) s.set("Settings", "CommPort", commPort);
    if (!setting.isEmpty()) s.set("Settings", "Setting", setting);
    if (!module.isEmpty()) s.set("LCD", "Module", module);
    s.start();
    QTEST(s.get<QComboBox>("cboComm")->currentIndex(), "port");
    QTEST(s.get<QComboBox>("cboDF")->currentIndex(), "format");
    QTEST(s.get<QComboBox>("cboModule")->currentIndex(), "modulePos");
    QFETCH(QString, baud);
    for (auto name : {"opt9600", "opt19200", "opt38400"})
      QCOMPARE(s.get<QRadioButton>(name)->isChecked(), baud == name);
    QVERIFY(s.dialogs.boxes.isEmpty());

    // Closing without pressing Connect writes back what was read.
    s.main->close();
    QCOMPARE(s.ini.read("Settings", "CommPort"), commPort);
    QCOMPARE(s.ini.read("Settings", "Setting"), setting);
    QCOMPARE(s.ini.read("LCD", "Module"), QString(module == "1602" ? "1602" : "2004"));
  }

  void connectOpensTheDeviceBehindThePortNumber() {
    AppSession& s = start();
    QVERIFY(s.get<QLabel>("lblDevice")->text().contains(s.pty.devicePath()));
    s.press("cmdConnect");
    QVERIFY2(s.dialogs.boxes.isEmpty(), qPrintable(s.dialogs.texts().join('|')));
    verifyConnected(s, true);
    QCOMPARE(s.main->port().deviceName(), s.pty.devicePath());
    s.press("cmdConnect");
    verifyConnected(s, false);
    QVERIFY(holdDevice(s.pty.devicePath()));  // released: somebody else can have it now
  }

  void connectToAHeldDeviceFails() {
    const auto holder = holdDevice(s_->pty.devicePath());
    QVERIFY(holder);
    AppSession& s = start();
    s.press("cmdConnect");
    QCOMPARE(s.dialogs.texts(), QStringList{"COMM PORT ERROR!"});
    QVERIFY(s.dialogs.boxes[0].detail.contains(s.pty.devicePath()));
    verifyConnected(s, false);
  }

  void failedConnectsAreStillRemembered_data() {
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("savedPort");
    QTest::addColumn<QString>("savedSetting");
    QTest::newRow("no port chosen") << -1 << 0 << "0"
                                    << "38400,n,8,1";
    QTest::newRow("no device behind it") << 16 << 0 << "17"
                                         << "38400,n,8,1";
    QTest::newRow("no data format") << 3 << -1 << "4"
                                    << "38400";
  }
  void failedConnectsAreStillRemembered() {
    QFETCH(int, port);
    QFETCH(int, format);
    AppSession& s = start();
    s.get<QRadioButton>("opt38400")->setChecked(true);
    s.get<QComboBox>("cboComm")->setCurrentIndex(port);
    s.get<QComboBox>("cboDF")->setCurrentIndex(format);
    s.press("cmdConnect");
    QCOMPARE(s.dialogs.texts(), QStringList{"COMM PORT ERROR!"});
    QVERIFY(!s.dialogs.boxes[0].detail.isEmpty());
    QCOMPARE(s.connectCaption(), QString("Connect"));
    s.main->close();
    QTEST(s.ini.read("Settings", "CommPort"), "savedPort");
    QTEST(s.ini.read("Settings", "Setting"), "savedSetting");
  }

  void closingSavesTheLastPressNotTheLists() {
    AppSession& s = start();
    s.press("cmdConnect");
    s.press("cmdConnect");
    s.get<QComboBox>("cboComm")->setCurrentIndex(9);
    s.get<QComboBox>("cboDF")->setCurrentIndex(2);
    s.get<QRadioButton>("opt9600")->setChecked(true);
    s.get<QComboBox>("cboModule")->setCurrentIndex(0);
    s.main->close();
    QCOMPARE(s.ini.read("Settings", "CommPort"), QString("4"));
    QCOMPARE(s.ini.read("Settings", "Setting"), QString("19200,n,8,2"));
    QCOMPARE(s.ini.read("LCD", "Module"), QString("1602"));  // the module is taken as shown
    QVERIFY(s.dialogs.boxes.isEmpty());
    QCOMPARE(s.ini.read("Ports", "4"), s.pty.devicePath());  // the user's entry stays
  }

  void configureLcdReleasesThePortAndOpensTheModulesWindow() {
    AppSession& s = start();
    s.configureLcd();
    verifyConnected(s, false);
    QVERIFY(!s.main->cfg1602());
    QVERIFY(s.main->cfg2004() && s.main->cfg2004()->isVisible());
    // The window has the device the main window let go of.
    QCOMPARE(s.main->cfg2004()->port().deviceName(), s.pty.devicePath());
    QVERIFY(s.main->cfg2004()->port().isOpen());
  }

  void aVanishingDeviceDisconnects() {
    AppSession& s = start();
    s.connect();
    s.pty.closeMaster();
    QTRY_COMPARE_WITH_TIMEOUT(s.connectCaption(), QString("Connect"), 3000);
    verifyConnected(s, false);
    QCOMPARE(s.dialogs.boxes.size(), 1);
    QVERIFY(s.dialogs.boxes[0].detail.contains("Port 4"));
    // Once closed, the port stays quiet: no further reports pile up.
    QTest::qWait(100);
    QCOMPARE(s.dialogs.boxes.size(), 1);
  }

  void aFailedSaveIsReportedOnce() {
    AppSession& s = *s_;
    s.start();
    s.breakSettingsFolder();
    s.main->close();
    QCOMPARE(s.dialogs.boxes.size(), 1);
    QVERIFY(s.dialogs.boxes[0].text.contains("modlcd.ini"));
    QVERIFY(s.dialogs.boxes[0].text.contains("not saved"));
  }
};

QTEST_MAIN(tst_frmMain)
#include "tst_mainwindow.moc"
