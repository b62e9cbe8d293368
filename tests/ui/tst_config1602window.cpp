// The two-line configuration window end to end: opened from the real main window on a
// pseudo-terminal, with a real settings file, and read back by the simulator.
#include "AppSession.h"
#include "core/config/Config1602.h"
#include "ui/WindowParts.h"

using namespace vantor;
using namespace vantor::test;

namespace {

// What a module configured as in the frame's worked example is sent.
const QByteArray kWorkedExample =
    "TEMP" + QByteArray(28, ' ') + QByteArray::fromHex("24C00A0100006401030400FFFF0FF100");

}  // namespace

class tst_frmCfg1602 : public QObject {
  Q_OBJECT

  std::unique_ptr<AppSession> s_;

  // The main window on port 5 with the two-line module and, if `configured`, the worked
  // example's configuration as the window saves it; then, unless `press` is false, Connect and
  // Configure LCD.
  AppSession& open(bool configured = true, bool press = true) {
    s_->choosePort(5, "9600,n,8,1", "1602");
    const std::pair<const char*, const char*> keys[] = {
        {"CSet", "9600,n,8,1"}, {"Interval", "10"}, {"RHigh", "0"}, {"RLow", "100"},
        {"Dwidth1", "4"},       {"SP1", "0"},       {"DP1", "1"},   {"DT", "0"},
        {"UDT1", "TEMP^"},      {"UDT2", ""},       {"Saddr", "1"}, {"Fcode", "3"}};
    if (configured)
      for (auto [key, value] : keys) s_->set("Cfg1602", key, value);
    s_->start();
    if (press) s_->configureLcd();
    return *s_;
  }

 private slots:
  void init() { s_ = std::make_unique<AppSession>(); }
  void cleanup() { s_.reset(); }

  void opensOnThePortChosenOnTheMainWindow() {
    AppSession& s = open();
    const QString fault = s.lcdOpeningFault("Configure KV-216/KV-216L");
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
    QWidget& w = s.lcdWindow();

    // Every list has the core's entries and a caption naming it; every caption is whole.
    for (const Config1602List& l : config1602Lists()) {
      QCOMPARE(entries(s.lcd(l.list.control)), l.list.entries);
      if (l.list.control != "cboAlarmLo")  // shares the caption of cboAlarmHi
        QVERIFY2(!captionOf(s.lcd(l.list.control)).isEmpty(), qPrintable(l.list.control));
    }
    for (QLabel* label : w.findChildren<QLabel*>())
      if (!label->wordWrap() && label->isVisible())
        QVERIFY2(label->width() >= label->sizeHint().width(), qPrintable(label->text()));
    for (auto name : {"txtLine0", "txtLine1"}) QCOMPARE(s.lcd<QLineEdit>(name)->maxLength(), 16);
    QCOMPARE(w.minimumSize(), w.maximumSize());
  }

  void sendsTheConfigurationAsSaved() {
    AppSession& s = open();
    // Each press sends the same 48 bytes, in one piece, and nothing else.
    for (int press = 0; press < 2; ++press) {
      s.sendConfig();
      QCOMPARE(readOnce(s.pty).toHex(' '), kWorkedExample.toHex(' '));
    }
    QCOMPARE(s.pty.read(0, 100), QByteArray());
    QVERIFY(s.dialogs.boxes.isEmpty());
    QVERIFY(s.lcdStatus().contains("Sent 48 bytes"));
    // Closed right behind a press, the frame is out before the port goes.
    s.sendConfig();
    s.closeLcd(false);
    QCOMPARE(s.pty.read(48, 1000), kWorkedExample);
  }

  void sendsWhatTheWindowShows() {
    AppSession& s = open();
    s.lcd("cboBaud")->setCurrentIndex(2);
    s.lcd("cboSlaveID")->setCurrentIndex(16);
    s.lcd<QRadioButton>("opt04")->click();
    type(s.lcd<QLineEdit>("txtLine1"), "AB^");
    Config1602 expected = loadConfig1602(s.ini).cfg;
    expected.cboBaud = 2;
    expected.cboSlaveID = 16;
    expected.opt03 = false;
    expected.txtLine1 = "AB^";
    const auto frame = encodeConfig1602(expected).frame;
    QVERIFY(frame);
    s.sendConfig();
    QCOMPARE(readOnce(s.pty).toHex(' '),
             QByteArray(reinterpret_cast<const char*>(frame->data()), 48).toHex(' '));
    // The module's new speed goes into the frame only: the port stays at 9600.
    QCOMPARE(s.lcdPort().lineSettings(), std::optional(LineSettings{}));
  }

  // From first use: the window says it opened on defaults, and what it saves is what the
  // simulator serves at the next Connect.
  void firstUseThenYesIsWhatTheSimulatorServes() {
    AppSession& s = open(false, false);
    const QByteArray before = fileBytes(s.ini.filePath());
    s.configureLcd();
    QVERIFY(s.dialogs.boxes.isEmpty());  // said in the window, not in a box
    auto* notice = s.lcd<QLabel>("lblNotice");
    QVERIFY(notice->isVisible() && !notice->text().isEmpty());
    QCOMPARE(notice->text(), loadConfig1602(s.ini).notice);
    QCOMPARE(fileBytes(s.ini.filePath()), before);  // opening writes nothing

    s.lcd("cboSlaveID")->setCurrentIndex(16);
    s.lcd("cboSAH")->setCurrentIndex(0x01);
    s.lcd("cboSAL")->setCurrentIndex(0xF4);
    s.lcd("cboDT")->setCurrentIndex(1);
    s.lcd<QRadioButton>("opt04")->click();
    s.closeLcd(true);
    QCOMPARE(s.dialogs.texts(), QStringList{"Save Config. Data ?"});
    QVERIFY(!s.lcdWindow().isVisible() && !s.lcdPort().isOpen());
    // Slave 1 of the simulator is now address 17, input register 500.
    s.connect();
    QCOMPARE(s.dialogs.texts(), QStringList{"Save Config. Data ?"});  // and nothing from Connect
    s.showValue(1, 0xBEEF);
    ModbusMaster master(s.pty.masterFd());
    QCOMPARE(readValue(master, {17, 4, 500, 1}), std::optional<quint32>(0xBEEF));
    s.press("cmdCfgLcd");
    QVERIFY(!notice->isVisible());  // nothing is defaulted any more
  }

  void closingWithNoKeepsTheFileAndReopeningRestoresIt() {
    AppSession& s = open();
    const QByteArray before = fileBytes(s.ini.filePath());
    for (const Config1602List& l : config1602Lists()) s.lcd(l.list.control)->setCurrentIndex(2);
    s.lcd<QRadioButton>("opt04")->click();
    type(s.lcd<QLineEdit>("txtLine0"), "xyz");
    // Showing the open window again only brings it forward: the edits stay.
    s.main->cfg1602()->showWindow(1);
    QCOMPARE(s.lcd("cboSlaveID")->currentIndex(), 2);
    QVERIFY(s.dialogs.boxes.isEmpty());
    s.closeLcd(false);
    QCOMPARE(s.dialogs.texts(), QStringList{"Save Config. Data ?"});
    QCOMPARE(fileBytes(s.ini.filePath()), before);

    // The next opening runs afresh: lists filled once, the saved values, not the abandoned ones.
    s.configureLcd();
    QVERIFY(s.lcdWindow().isVisible() && s.lcdPort().isOpen());
    QCOMPARE(s.lcd("cboSlaveID")->count(), 255);
    s.sendConfig();
    QCOMPARE(readOnce(s.pty), kWorkedExample);
  }

  void withoutItsPortSendSaysSo_data() {
    QTest::addColumn<bool>("held");
    QTest::newRow("held by another opener") << true;
    QTest::newRow("vanished while open") << false;
  }
  void withoutItsPortSendSaysSo() {
    QFETCH(bool, held);
    AppSession& s = open(true, false);
    PtyPair other;
    const auto holder = holdDevice(other.devicePath());
    QVERIFY(holder);
    s.connect();
    // Held: by the time Configure LCD is pressed, port 5 stands for a device someone else holds.
    if (held) s.set("Ports", "5", other.devicePath());
    s.press("cmdCfgLcd");
    if (!held) s.pty.closeMaster();
    QTRY_VERIFY_WITH_TIMEOUT(s.lcdWindow().isVisible() && !s.lcdPort().isOpen(), 3000);
    const QString status = s.lcdStatus();
    QVERIFY2(status.contains(held ? other.devicePath() : "lost"), qPrintable(status));
    QCOMPARE(s.lcd<QLabel>("lblPortStatus")->palette().color(QPalette::WindowText), kFailureColour);
    // Held, a box says so too; lost, the window alone does.
    const QStringList boxes = {"The configuration port could not be opened."};
    QCOMPARE(s.dialogs.texts(), held ? boxes : QStringList());
    if (held) QCOMPARE(s.dialogs.boxes[0].detail, status);
    QCOMPARE(s.lcd("cboSAL")->currentText(), QString("64"));  // editable as ever

    s.dialogs.boxes.clear();
    s.sendConfig();
    QCOMPARE(s.dialogs.boxes.size(), 1);
    QVERIFY(s.dialogs.boxes[0].text.contains("port 5 is not open"));
    QCOMPARE(other.read(0, 100), QByteArray());
    s.lcd("cboSlaveID")->setCurrentIndex(9);  // it still closes and saves
    s.closeLcd(true);
    QCOMPARE(s.ini.read("Cfg1602", "Saddr"), QString("10"));
  }

  void aRefusedSendNamesTheListsAndSendsNothing() {
    AppSession& s = open();
    s.lcd("cboBaud")->setCurrentIndex(-1);
    s.lcd("cboDT")->setCurrentIndex(-1);
    s.sendConfig();
    Config1602 shown = loadConfig1602(s.ini).cfg;
    shown.cboBaud = shown.cboDT = -1;
    QCOMPARE(s.dialogs.texts(), QStringList{encodeConfig1602(shown).refusal});
    QCOMPARE(s.pty.read(0, 100), QByteArray());
  }

  void rowsStayPrintable() {
    auto* row = open().lcd<QLineEdit>("txtLine1");
    type(row, QString::fromUtf8("25\u00B0C"));
    QCOMPARE(row->text(), QString("25?C"));
    row->setCursorPosition(1);
    type(row, QString::fromUtf8("\U0001F600"));  // one character, one key
    QCOMPARE(row->text(), QString("2?5?C"));
    QCOMPARE(row->cursorPosition(), 2);
    paste(row, QString::fromUtf8("^\t\u20AC"));
    QCOMPARE(row->text(), QString("2?^??5?C"));
    QCOMPARE(row->cursorPosition(), 5);
    type(row, "abcdefghijklmnopqrstuvwxyz");
    QCOMPARE(row->text(), QString("2?^??abcdefgh5?C"));
  }

  void aFailedSaveIsReported() {
    AppSession& s = open();
    s.breakSettingsFolder();
    s.closeLcd(true);
    QCOMPARE(s.dialogs.boxes.size(), 2);
    QCOMPARE(s.dialogs.boxes[0].text, QString("Save Config. Data ?"));
    const QString report = s.dialogs.boxes[1].text + ' ' + s.dialogs.boxes[1].detail;
    QVERIFY2(report.contains("not saved") && report.contains("modlcd.ini"), qPrintable(report));
    QVERIFY(!s.lcdWindow().isVisible() && !s.lcdPort().isOpen());
  }
};

QTEST_MAIN(tst_frmCfg1602)
#include "tst_config1602window.moc"
