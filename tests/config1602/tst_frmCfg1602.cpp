// The two-line configuration window end to end: opened from the real main window on a
// pseudo-terminal, with a real settings file, and read back by the simulator.
#include "ModbusMaster.h"
#include "PtyPair.h"
#include "RecordingDialogs.h"
#include "config1602/Cfg1602.h"
#include "config1602/frmCfg1602.h"
#include "main/frmMain.h"
#include "platform/SerialPort.h"
#include "settings/modINI.h"
#include "shared/modVar.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include <poll.h>
#include <unistd.h>

#include <memory>

using namespace vantor;
using namespace vantor::test;

namespace {

constexpr int kPort = 5;

QByteArray bytesOf(const Frame1602& frame) {
  return QByteArray(reinterpret_cast<const char*>(frame.data()), qsizetype(frame.size()));
}

// What a module configured as in the frame's worked example is sent.
const QByteArray kWorkedExample = "TEMP" + QByteArray(28, ' ') +
                                  QByteArray::fromHex("24C00A0100006401030400FFFF") +
                                  QByteArray::fromHex("0FF100");

// The worked example's configuration as the window saves it.
void storeWorkedExample(modINI& ini) {
  const std::pair<const char*, const char*> keys[] = {
      {"CSet", "9600,n,8,1"}, {"Interval", "10"}, {"RHigh", "0"}, {"RLow", "100"},
      {"Dwidth1", "4"},       {"SP1", "0"},       {"DP1", "1"},   {"DT", "0"},
      {"UDT1", "TEMP^"},      {"UDT2", ""},       {"Saddr", "1"}, {"Fcode", "3"}};
  for (auto [key, value] : keys) ini.WriteINI("Cfg1602", key, value);
}

QByteArray fileBytes(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// One read of what is waiting at the far end (up to `ms` for it to come): a frame written in
// one piece arrives in one piece.
QByteArray readOnce(const PtyPair& pty, int ms = 1000) {
  pollfd p{pty.masterFd(), POLLIN, 0};
  if (::poll(&p, 1, ms) <= 0) return {};
  char buf[512];
  const ssize_t n = ::read(pty.masterFd(), buf, sizeof buf);
  return n > 0 ? QByteArray(buf, n) : QByteArray();
}

// Types `text` into `box` one key (one character) at a time, as a keyboard would.
void type(QLineEdit* box, const QString& text) {
  for (const char32_t c : text.toUcs4()) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString::fromUcs4(&c, 1));
    QApplication::sendEvent(box, &press);
  }
}

}  // namespace

class tst_frmCfg1602 : public QObject {
  Q_OBJECT

  std::unique_ptr<QTemporaryDir> dir_;
  std::unique_ptr<PtyPair> pty_;
  std::unique_ptr<modINI> ini_;
  modVar vars_;
  RecordingDialogs dialogs_;
  std::unique_ptr<frmMain> main_;

  QString folder() const { return dir_->filePath("settings"); }

  // The main window on port 5, the pty behind it, the two-line module chosen.
  void startMain() {
    QVERIFY(QDir().mkpath(folder()));
    ini_ = std::make_unique<modINI>(folder());
    ini_->WriteINI("Ports", QString::number(kPort), pty_->devicePath());
    ini_->WriteINI("Settings", "CommPort", QString::number(kPort));
    ini_->WriteINI("Settings", "Setting", "9600,n,8,1");
    ini_->WriteINI("LCD", "Module", "1602");
    main_ = std::make_unique<frmMain>(vars_, *ini_, dialogs_);
    main_->show();
  }
  // Connect, then Configure LCD, as the user opens the window.
  frmCfg1602* configure() {
    main_->findChild<QPushButton*>("cmdConnect")->click();
    if (!main_->port().isOpen())
      qFatal("Connect failed: %s", qPrintable(dialogs_.texts().join('|')));
    dialogs_.boxes.clear();  // an unconfigured module gets the simulator's own notice
    main_->findChild<QPushButton*>("cmdCfgLcd")->click();
    return main_->cfg1602();
  }
  template <typename T>
  T* get(const QString& name) {
    auto* w = main_->cfg1602()->findChild<T*>(name);
    if (!w) qFatal("no control %s", qPrintable(name));
    return w;
  }
  QComboBox* list(const QString& name) { return get<QComboBox>(name); }
  void send() { get<QPushButton>("cmdConfig1602")->click(); }
  void closeAnswering(bool yes) {
    dialogs_.answers = {yes};
    main_->cfg1602()->close();
  }

 private slots:
  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    pty_ = std::make_unique<PtyPair>();
    QVERIFY(dir_->isValid());
    QVERIFY(pty_->isValid());
    vars_ = modVar{};
    dialogs_.boxes.clear();
    dialogs_.answers.clear();
  }
  void cleanup() { main_.reset(); }

  void opensOnThePortChosenOnTheMainWindow() {
    startMain();
    storeWorkedExample(*ini_);
    frmCfg1602* w = configure();
    QVERIFY(w);
    QVERIFY(w->isVisible());
    QCOMPARE(w->windowTitle(), QString("Configure KV-216/KV-216L"));
    // Its own top-level window beside the main one, which stays usable.
    QVERIFY(w->isWindow());
    QVERIFY(!w->parentWidget());
    QCOMPARE(w->windowModality(), Qt::NonModal);
    QVERIFY(main_->isVisible() && main_->isEnabled());

    QVERIFY(w->port().isOpen());
    QCOMPARE(w->port().deviceName(), pty_->devicePath());
    QCOMPARE(w->port().settings(), QString("9600,n,8,1"));
    QVERIFY(dialogs_.boxes.isEmpty());
    QVERIFY(get<QLabel>("lblPortStatus")->text().contains(pty_->devicePath()));
    QVERIFY(get<QLabel>("lblNotice")->isHidden());

    for (const Cfg1602List& l : cfg1602Lists()) {
      QComboBox* combo = list(l.list.control);
      QStringList shown;
      for (int i = 0; i < combo->count(); ++i) shown << combo->itemText(i);
      QCOMPARE(shown, l.list.entries);
    }
    for (auto name : {"txtLine0", "txtLine1"}) QCOMPARE(get<QLineEdit>(name)->maxLength(), 16);

    // Every caption is whole and tells which control it is for.
    QList<QWidget*> captioned;
    for (QLabel* label : w->findChildren<QLabel*>()) {
      if (label->wordWrap() || !label->isVisible()) continue;
      QVERIFY2(label->width() >= label->sizeHint().width(), qPrintable(label->text()));
      if (label->buddy()) captioned << label->buddy();
    }
    for (const Cfg1602List& l : cfg1602Lists())
      if (l.list.control != "cboAlarmLo")
        QVERIFY2(captioned.contains(list(l.list.control)), qPrintable(l.list.control));
    QCOMPARE(w->minimumSize(), w->maximumSize());
  }

  void sendsTheConfigurationAsSaved() {
    startMain();
    storeWorkedExample(*ini_);
    configure();
    QCOMPARE(list("cboSAL")->currentText(), QString("64"));
    QCOMPARE(get<QLineEdit>("txtLine0")->text(), QString("TEMP^"));

    // Each press sends the same 48 bytes, in one piece, and nothing else.
    for (int press = 0; press < 2; ++press) {
      send();
      QCOMPARE(readOnce(*pty_).toHex(' '), kWorkedExample.toHex(' '));
    }
    QCOMPARE(pty_->read(0, 100), QByteArray());
    QVERIFY(dialogs_.boxes.isEmpty());
    QVERIFY(get<QLabel>("lblPortStatus")->text().contains("Sent 48 bytes"));
  }

  void sendsWhatTheWindowShows() {
    startMain();
    storeWorkedExample(*ini_);
    configure();
    list("cboBaud")->setCurrentIndex(2);
    list("cboDF1")->setCurrentIndex(2);
    list("cboSlaveID")->setCurrentIndex(16);
    list("cboAlarmHi")->setCurrentIndex(0x12);
    get<QRadioButton>("opt04")->click();
    type(get<QLineEdit>("txtLine1"), "AB^");

    Cfg1602 expected = loadCfg1602(*ini_).cfg;
    expected.cboBaud = 2;
    expected.cboDF1 = 2;
    expected.cboSlaveID = 16;
    expected.cboAlarmHi = 0x12;
    expected.opt03 = false;
    expected.txtLine1 = "AB^";
    const auto frame = encodeCfg1602(expected).frame;
    QVERIFY(frame);
    send();
    const QByteArray sent = readOnce(*pty_);
    QCOMPARE(sent.toHex(' '), bytesOf(*frame).toHex(' '));
    QCOMPARE(sent.mid(16, 16), "AB" + QByteArray(14, ' '));
    QCOMPARE(sent.mid(32, 2), QByteArray::fromHex("09D0"));
    QCOMPARE(sent.mid(39, 2), QByteArray::fromHex("1104"));
    QCOMPARE(sent.at(43), '\x12');
    // The module's new speed goes into the frame only: the port stays at 9600.
    QCOMPARE(main_->cfg1602()->port().settings(), QString("9600,n,8,1"));
  }

  void closingWithYesIsWhatTheSimulatorLoads() {
    startMain();
    storeWorkedExample(*ini_);
    configure();
    list("cboSlaveID")->setCurrentIndex(16);
    list("cboSAH")->setCurrentIndex(0x01);
    list("cboSAL")->setCurrentIndex(0xF4);
    list("cboDT")->setCurrentIndex(1);
    get<QRadioButton>("opt04")->click();
    closeAnswering(true);
    QCOMPARE(dialogs_.texts(), QStringList{"Save Config. Data ?"});
    QVERIFY(!main_->cfg1602()->isVisible());
    QVERIFY(!main_->cfg1602()->port().isOpen());

    // Slave 1 of the simulator is now address 17, input register 500 (reference 30501).
    main_->findChild<QPushButton*>("cmdConnect")->click();
    QCOMPARE(dialogs_.texts(), QStringList{"Save Config. Data ?"});  // and nothing from Connect
    QCOMPARE(main_->findChild<QLabel*>("lblSid0")->text(), QString("17"));
    QCOMPARE(main_->findChild<QLabel*>("lblReg1")->text(), QString("30501"));
    main_->findChild<QComboBox*>("cboMReg1_1")->setCurrentIndex(0xBE);
    main_->findChild<QComboBox*>("cboMReg1_0")->setCurrentIndex(0xEF);
    ModbusMaster master(pty_->masterFd());
    const auto regs = serve([&] { return master.readInput(17, 500, 1); });
    QVERIFY2(regs.has_value(), qPrintable(master.lastError()));
    QCOMPARE((*regs)[0], quint16(0xBEEF));
  }

  void closingWithNoKeepsTheFileAndReopeningRestoresIt() {
    startMain();
    storeWorkedExample(*ini_);
    configure();
    const QByteArray before = fileBytes(ini_->INIFilePath());
    for (const Cfg1602List& l : cfg1602Lists()) list(l.list.control)->setCurrentIndex(2);
    get<QRadioButton>("opt04")->click();
    type(get<QLineEdit>("txtLine0"), "xyz");
    send();
    closeAnswering(false);
    QCOMPARE(dialogs_.texts(), QStringList{"Save Config. Data ?"});
    QCOMPARE(fileBytes(ini_->INIFilePath()), before);
    QVERIFY(!main_->cfg1602()->port().isOpen());

    // The next opening runs afresh: lists filled once, the saved values, not the abandoned ones.
    frmCfg1602* w = configure();
    QVERIFY(w->isVisible());
    QVERIFY(w->port().isOpen());
    QCOMPARE(list("cboSlaveID")->count(), 255);
    QCOMPARE(list("cboSAL")->currentText(), QString("64"));
    QCOMPARE(list("cboAlarmHi")->currentText(), QString("FF"));
    QVERIFY(get<QRadioButton>("opt03")->isChecked());
    QCOMPARE(get<QLineEdit>("txtLine0")->text(), QString("TEMP^"));
    pty_->read(0, 50);
    send();
    QCOMPARE(readOnce(*pty_), kWorkedExample);
  }

  void showingAnOpenWindowOnlyBringsItForward() {
    startMain();
    storeWorkedExample(*ini_);
    frmCfg1602* w = configure();
    list("cboSlaveID")->setCurrentIndex(41);
    w->showWindow();
    QCOMPARE(list("cboSlaveID")->currentIndex(), 41);
    QCOMPARE(list("cboSlaveID")->count(), 255);
    QVERIFY(w->port().isOpen());
    QVERIFY(dialogs_.boxes.isEmpty());
  }

  void firstUseSaysItOpenedOnDefaults() {
    startMain();  // no section Cfg1602 yet
    const QByteArray before = fileBytes(ini_->INIFilePath());
    frmCfg1602* w = configure();
    QVERIFY(w->isVisible());
    QVERIFY(dialogs_.boxes.isEmpty());  // said in the window, not in a box
    QLabel* notice = get<QLabel>("lblNotice");
    QVERIFY(notice->isVisible());
    QCOMPARE(notice->text(), loadCfg1602(*ini_).notice);
    QVERIFY(!notice->text().isEmpty());
    QCOMPARE(list("cboSlaveID")->currentText(), QString("1"));
    QCOMPARE(list("cboAlarmLo")->currentText(), QString("FF"));
    QCOMPARE(fileBytes(ini_->INIFilePath()), before);  // opening writes nothing
  }

  void aHeldPortStillOpensTheWindow() {
    startMain();
    storeWorkedExample(*ini_);
    // By the time Configure LCD is pressed, port 5 stands for a device someone else holds.
    PtyPair other;
    SerialPort holder([&](int) { return other.devicePath(); });
    holder.setCommPort(1);
    holder.setSettings("9600,n,8,1");
    QVERIFY(holder.open());
    main_->findChild<QPushButton*>("cmdConnect")->click();
    ini_->WriteINI("Ports", QString::number(kPort), other.devicePath());
    dialogs_.boxes.clear();
    main_->findChild<QPushButton*>("cmdCfgLcd")->click();

    frmCfg1602* w = main_->cfg1602();
    QVERIFY(w->isVisible());
    QVERIFY(!w->port().isOpen());
    QLabel* status = get<QLabel>("lblPortStatus");
    QVERIFY2(status->text().contains(other.devicePath()), qPrintable(status->text()));
    QVERIFY(status->styleSheet().contains("color"));
    QCOMPARE(dialogs_.texts(), QStringList{"The configuration port could not be opened."});
    QCOMPARE(dialogs_.boxes[0].detail, status->text());
    QCOMPARE(list("cboSAL")->currentText(), QString("64"));  // editable as ever

    dialogs_.boxes.clear();
    send();
    QCOMPARE(dialogs_.boxes.size(), 1);
    QVERIFY2(dialogs_.boxes[0].text.contains("port 5 is not open"),
             qPrintable(dialogs_.boxes[0].text));
    QCOMPARE(pty_->read(0, 100), QByteArray());
    QCOMPARE(other.read(0, 100), QByteArray());

    // It still closes and saves.
    list("cboSlaveID")->setCurrentIndex(9);
    closeAnswering(true);
    QVERIFY(!w->isVisible());
    QCOMPARE(ini_->ReadINI("Cfg1602", "Saddr"), QString("10"));
  }

  void aVanishingDeviceIsShownAndSendSaysSo() {
    startMain();
    storeWorkedExample(*ini_);
    frmCfg1602* w = configure();
    pty_->closeMaster();
    QLabel* status = get<QLabel>("lblPortStatus");
    QTRY_VERIFY_WITH_TIMEOUT(status->text().contains("lost"), 3000);
    QVERIFY(status->styleSheet().contains("color"));
    QVERIFY(!w->port().isOpen());
    QVERIFY(dialogs_.boxes.isEmpty());
    send();
    QCOMPARE(dialogs_.boxes.size(), 1);
    QVERIFY(dialogs_.boxes[0].text.contains("port 5 is not open"));
    QVERIFY(dialogs_.boxes[0].detail.contains(status->text()));
  }

  void aRefusedSendNamesTheListsAndSendsNothing() {
    startMain();
    storeWorkedExample(*ini_);
    configure();
    list("cboBaud")->setCurrentIndex(-1);
    list("cboDT")->setCurrentIndex(-1);
    send();
    Cfg1602 shown = loadCfg1602(*ini_).cfg;
    shown.cboBaud = shown.cboDT = -1;
    QCOMPARE(dialogs_.texts(), QStringList{encodeCfg1602(shown).refusal});
    for (auto caption : {"LCD Baud Rate", "Data Type"})
      QVERIFY2(dialogs_.boxes[0].text.contains(caption), qPrintable(dialogs_.boxes[0].text));
    QCOMPARE(pty_->read(0, 100), QByteArray());
  }

  void closingRightAfterSendingStillDeliversTheFrame() {
    startMain();
    storeWorkedExample(*ini_);
    configure();
    send();
    closeAnswering(false);
    QVERIFY(!main_->cfg1602()->port().isOpen());
    QCOMPARE(pty_->read(48, 1000), kWorkedExample);
  }

  void typedRowsStayPrintable_data() {
    QTest::addColumn<QString>("before");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("cursorAfter");
    QTest::newRow("degree sign") << "" << 0 << QString::fromUtf8("25\u00B0C") << "25?C" << 4;
    QTest::newRow("in the middle") << "AB" << 1 << QString::fromUtf8("\u20AC") << "A?B" << 2;
    QTest::newRow("emoji is one character")
        << "AB" << 1 << QString::fromUtf8("\U0001F600") << "A?B" << 2;
    QTest::newRow("caret kept") << "" << 0 << "A^B"
                                << "A^B" << 3;
    QTest::newRow("no more than 16") << "" << 0 << "0123456789ABCDEFGH"
                                     << "0123456789ABCDEF" << 16;
  }
  void typedRowsStayPrintable() {
    QFETCH(QString, before);
    QFETCH(int, cursor);
    QFETCH(QString, typed);
    startMain();
    storeWorkedExample(*ini_);
    configure();
    QLineEdit* box = get<QLineEdit>("txtLine1");
    box->setText(before);
    box->setCursorPosition(cursor);
    type(box, typed);
    QTEST(box->text(), "shown");
    QTEST(box->cursorPosition(), "cursorAfter");
  }

  void pastedRowsStayPrintable() {
    startMain();
    storeWorkedExample(*ini_);
    configure();
    QLineEdit* box = get<QLineEdit>("txtLine0");
    box->clear();
    QApplication::clipboard()->setText(QString::fromUtf8("Temp\t\u00B0C"));
    box->paste();
    QCOMPARE(box->text(), QString("Temp??C"));
  }

  void aFailedSaveIsReported() {
    startMain();
    storeWorkedExample(*ini_);
    frmCfg1602* w = configure();
    // The settings folder is gone and a regular file stands in its place.
    QVERIFY(QDir(folder()).removeRecursively());
    QFile blocker(folder());
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    closeAnswering(true);
    QCOMPARE(dialogs_.boxes.size(), 2);
    QCOMPARE(dialogs_.boxes[0].text, QString("Save Config. Data ?"));
    const QString report = dialogs_.boxes[1].text + ' ' + dialogs_.boxes[1].detail;
    QVERIFY2(report.contains("not saved") && report.contains("modlcd.ini"), qPrintable(report));
    QVERIFY(!w->isVisible());
    QVERIFY(!w->port().isOpen());
  }
};

QTEST_MAIN(tst_frmCfg1602)
#include "tst_frmCfg1602.moc"
