// The four-line configuration window end to end: opened from the real main window on a
// pseudo-terminal, with a real settings file, and read back by the simulator.
#include "AppSession.h"
#include "core/config/Config2004.h"

using namespace vantor;
using namespace vantor::test;

namespace {

QByteArray frameOf(const Config2004& cfg) {
  const auto frame = encodeConfig2004(cfg).frame;  // empty when refused
  return frame ? QByteArray(reinterpret_cast<const char*>(frame->data()), frame2004::kSize) : "";
}

// A configuration unlike the first-use defaults in every control an opening restores: four
// fields polling four different slaves, only the first of them active. Its alarm trip points
// are those every opening shows (high 0xFFFF, low 0x0000): they are never restored.
Config2004 sample() {
  Config2004 cfg{1, 2, 24, 0, {"TEMP^ROOM 1", "Flow", "", "^^ exactly twenty ^^"}, {}};
  const int address[] = {1, 5, 9, 247}, start[] = {0x0000, 0x0064, 0x1002, 0x01F4};
  const int type[] = {0, 3, 1, 4};
  for (int k = 0; k < kFieldCount; ++k)
    cfg.fields[k] = Field2004(address[k] - 1, start[k] >> 8, start[k] & 0xFF, k % 2 == 0, 3 + k, k,
                              4 * k, type[k], 0xFF, 0xFF, 0, 0);
  return cfg;
}

QString element(const QString& name, int k) {
  return QStringLiteral("%1_%2").arg(name).arg(k);
}

// What the window's controls show, found by name through the core's list tables.
Config2004 shown(const AppSession& s) {
  Config2004 cfg;
  for (const Config2004List& l : config2004Lists())
    cfg.*l.position = s.lcd(l.list.control)->currentIndex();
  for (int k = 0; k < kFieldCount; ++k) {
    for (const Field2004List& l : field2004Lists())
      cfg.fields[k].*l.position = s.lcd(element(l.list.control, k))->currentIndex();
    cfg.fields[k].opt03 = s.lcd<QRadioButton>(element("opt03", k))->isChecked();
  }
  for (int r = 0; r < frame2004::kRowCount; ++r)
    cfg.txtLine[r] = s.lcd<QLineEdit>(QString("txtLine%1").arg(r))->text();
  return cfg;
}
void show(const AppSession& s, const Config2004& cfg) {
  for (int k = 0; k < kFieldCount; ++k) {
    for (const Field2004List& l : field2004Lists())
      s.lcd(element(l.list.control, k))->setCurrentIndex(cfg.fields[k].*l.position);
    s.lcd<QRadioButton>(element(cfg.fields[k].opt03 ? "opt03" : "opt04", k))->setChecked(true);
  }
  for (int r = 0; r < frame2004::kRowCount; ++r)
    s.lcd<QLineEdit>(QString("txtLine%1").arg(r))->setText(cfg.txtLine[r]);
  for (const Config2004List& l : config2004Lists())
    s.lcd(l.list.control)->setCurrentIndex(cfg.*l.position);
}
// Which data-field frames take input, as "1100" for fields 1 and 2.
QString enabledFields(const AppSession& s) {
  QString pattern;
  for (int k = 0; k < kFieldCount; ++k)
    pattern += s.lcd<QGroupBox>(element("faf", k))->isEnabled() ? u'1' : u'0';
  return pattern;
}

}  // namespace

class tst_frmCfg2004 : public QObject {
  Q_OBJECT

  std::unique_ptr<AppSession> s_;

  // The main window on port 3 with the four-line module and `cfg` saved, if any; then, unless
  // `press` is false, Connect and Configure LCD.
  AppSession& open(const std::optional<Config2004>& cfg = sample(), bool press = true) {
    s_->choosePort(3, "19200,n,8,2", "2004");
    QString error;
    if (cfg && !saveConfig2004(s_->ini, *cfg, &error)) qFatal("%s", qPrintable(error));
    s_->start();
    if (press) s_->configureLcd();
    return *s_;
  }

 private slots:
  void init() { s_ = std::make_unique<AppSession>(); }
  void cleanup() { s_.reset(); }

  void opensOnItsOwnPortWithTheCoreLists() {
    AppSession& s = open();
    const QString fault = s.lcdOpeningFault("Configure KV-420");
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
    // Every list carries the core's entries and a caption that names it.
    for (const Config2004List& l : config2004Lists()) {
      QCOMPARE(entries(s.lcd(l.list.control)), l.list.entries);
      QCOMPARE(captionOf(s.lcd(l.list.control)), l.list.caption);
    }
    for (int k = 0; k < kFieldCount; ++k) {
      auto* frame = s.lcd<QGroupBox>(element("faf", k));
      QCOMPARE(frame->title(), QString("Modbus Command Data Field %1").arg(k + 1));
      for (const Field2004List& l : field2004Lists()) {
        QComboBox* combo = s.lcd(element(l.list.control, k));
        QCOMPARE(entries(combo), l.list.entries);
        QCOMPARE(combo->accessibleName(), fieldCaption(l.list.caption, k));
        QVERIFY(frame->isAncestorOf(combo));
      }
    }
    for (int r = 0; r < frame2004::kRowCount; ++r)
      QCOMPARE(s.lcd<QLineEdit>(QString("txtLine%1").arg(r))->maxLength(), 20);
  }

  void answeringNoLeavesTheFileAsItWas() {
    AppSession& s = open();
    const QByteArray before = fileBytes(s.ini.filePath());
    Config2004 edited = sample();
    edited.txtLine[2] = "abandoned";
    for (Field2004& f : edited.fields) f.cboSlaveID = 99;
    show(s, edited);
    // Showing the open window again only brings it forward: lists filled once, edits kept.
    s.main->cfg2004()->showWindow(1);
    QCOMPARE(shown(s), edited);
    QCOMPARE(s.lcd("cboSlaveID_0")->count(), 255);
    s.closeLcd(false);
    QCOMPARE(s.dialogs.texts(), QStringList{"Save Config. Data ?"});
    QCOMPARE(fileBytes(s.ini.filePath()), before);
    s.configureLcd();  // its Connect finds the port let go
    QCOMPARE(shown(s), sample());
  }

  void rowsTakePrintableAsciiOnly() {
    auto* row = open().lcd<QLineEdit>("txtLine1");
    row->clear();
    type(row, QString::fromUtf8("25\u00B0C"));
    QCOMPARE(row->text(), QString("25?C"));
    row->setCursorPosition(1);
    type(row, QString::fromUtf8("\U0001F600"));  // one character, one key
    QCOMPARE(row->text(), QString("2?5?C"));
    QCOMPARE(row->cursorPosition(), 2);
    paste(row, "^a\tb\u00E9");
    QCOMPARE(row->text(), QString("2?^a?b?5?C"));
    QCOMPARE(row->cursorPosition(), 7);
    type(row, "abcdefghijklmnopqrstuvwxyz");
    QCOMPARE(row->text(), QString("2?^a?b?abcdefghij5?C"));
  }

  void sendRefusesWhileAListIsEmpty() {
    AppSession& s = open();
    s.lcd("cboDP_2")->setCurrentIndex(-1);
    s.sendConfig();
    QCOMPARE(s.dialogs.texts(), QStringList{encodeConfig2004(shown(s)).refusal});
    QVERIFY(s.dialogs.boxes[0].text.contains("Number of decimal place (field 3)"));
    QCOMPARE(s.pty.read(0, 200), QByteArray());
  }

  void withoutItsPortSendSaysSo_data() {
    QTest::addColumn<bool>("held");
    QTest::newRow("held by another opener") << true;
    QTest::newRow("vanished while open") << false;
  }
  void withoutItsPortSendSaysSo() {
    QFETCH(bool, held);
    AppSession& s = open(sample(), false);
    PtyPair other;
    const auto holder = holdDevice(other.devicePath());
    QVERIFY(holder);
    s.connect();
    // Held: by the time Configure LCD is pressed, port 3 stands for a device someone else holds.
    if (held) s.set("Ports", "3", other.devicePath());
    s.press("cmdCfgLcd");
    if (!held) s.pty.closeMaster();
    QTRY_VERIFY_WITH_TIMEOUT(s.lcdWindow().isVisible() && !s.lcdPort().isOpen(), 3000);
    const QString status = s.lcdStatus();
    QVERIFY2(status.contains(held ? other.devicePath() : s.pty.devicePath()), qPrintable(status));
    QVERIFY2(held || status.contains("lost"), qPrintable(status));
    // Held, a box says so too; lost, the window alone does.
    const QStringList boxes = {"The configuration port could not be opened."};
    QCOMPARE(s.dialogs.texts(), held ? boxes : QStringList());
    if (held) QCOMPARE(s.dialogs.boxes[0].detail, status);
    QCOMPARE(shown(s), sample());

    s.dialogs.boxes.clear();
    s.sendConfig();
    QCOMPARE(s.dialogs.boxes.size(), 1);
    QVERIFY(s.dialogs.boxes[0].text.contains("port 3 is not open"));
    QCOMPARE(other.read(0, 100), QByteArray());
    s.lcd("cboSlaveID_0")->setCurrentIndex(41);  // edits can still be saved
    s.closeLcd(true);
    QCOMPARE(s.ini.read("Cfg2004", "Saddr1"), QString("42"));
  }

  void aFailedSaveIsReportedOnce() {
    AppSession& s = open();
    s.breakSettingsFolder();
    s.closeLcd(true);
    QCOMPARE(s.dialogs.boxes.size(), 2);
    QCOMPARE(s.dialogs.boxes[0].text, QString("Save Config. Data ?"));
    const QString report = s.dialogs.boxes[1].text + ' ' + s.dialogs.boxes[1].detail;
    QVERIFY2(report.contains("not saved") && report.contains("modlcd.ini"), qPrintable(report));
  }

  // From first use: what the window shows is what it sends and saves, active or not, and what
  // the simulator serves at the next Connect; the next opening restores it.
  void whatIsShownIsSentSavedAndServed() {
    AppSession& s = open(std::nullopt);
    auto* notice = s.lcd<QLabel>("lblNotice");  // said in the window, not in a box
    QVERIFY(notice->isVisible() && !notice->text().isEmpty());
    QCOMPARE(notice->text(), loadConfig2004(s.ini).notice);
    QVERIFY(s.dialogs.boxes.isEmpty());
    s.lcd("cboAF")->setCurrentIndex(3);
    QCOMPARE(enabledFields(s), QString("1111"));
    s.lcd("cboAF")->setCurrentIndex(0);
    QCOMPARE(enabledFields(s), QString("1000"));
    Config2004 want = sample();
    want.cboAF = 1;
    want.fields[2].cboDWidth = 6;
    want.fields[0].cboSAH = 0x10;
    Config2004 edited = want;  // and alarm trip points, which are sent but never restored
    for (Field2004& f : edited.fields) f.cboALL = 0x5A;
    show(s, edited);
    QCOMPARE(enabledFields(s), QString("1100"));

    // Each press sends the whole frame in one piece, inactive fields included, and nothing else.
    const QByteArray expected = frameOf(edited);
    for (int press = 0; press < 2; ++press) {
      s.sendConfig();
      QCOMPARE(readOnce(s.pty).toHex(' '), expected.toHex(' '));
    }
    QCOMPARE(s.pty.read(0, 100), QByteArray());
    QVERIFY(s.lcdStatus().contains("135"));
    QVERIFY(s.dialogs.boxes.isEmpty());
    // Closed right behind a press, the frame is out before the port goes.
    s.sendConfig();
    s.closeLcd(true);
    QCOMPARE(s.pty.read(frame2004::kSize, 2000), expected);
    QCOMPARE(s.ini.read("Cfg2004", "DWidth3"), QString("7"));
    QCOMPARE(s.ini.read("Cfg2004", "RHigh1"), QString("16"));

    s.connect();
    QCOMPARE(s.dialogs.texts(), QStringList{"Save Config. Data ?"});
    ModbusMaster master(s.pty.masterFd());
    for (int k = 0; k < kFieldCount; ++k) {
      const Field2004& f = want.fields[k];
      const Poll poll{f.cboSlaveID + 1, f.opt03 ? 3 : 4, (f.cboSAH << 8) | f.cboSAL, f.cboDT};
      const quint32 value = (0x10203 * quint32(k + 1)) & 0xFFFFF;
      s.showValue(k + 1, value);
      const auto read = readValue(master, poll);
      QVERIFY2(read, qPrintable(QString("field %1: %2").arg(k + 1).arg(master.lastError())));
      QCOMPARE(*read, f.cboDT < 3 ? value & 0xFFFF : value);
    }

    s.press("cmdCfgLcd");
    QVERIFY(!notice->isVisible() && notice->text().isEmpty());  // nothing is defaulted any more
    QCOMPARE(shown(s), want);
    QCOMPARE(enabledFields(s), QString("1100"));
  }
};

QTEST_MAIN(tst_frmCfg2004)
#include "tst_config2004window.moc"
