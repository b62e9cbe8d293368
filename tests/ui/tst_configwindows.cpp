// Both configuration windows as the user meets them: opened from the real main window on a
// pseudo-terminal, with a real settings file. What they restore, save and send is decided in
// the core and tested there; these tests cover what only a window does.
#include "AppSession.h"
#include "core/config/Config1602.h"
#include "core/config/Config2004.h"
#include "core/display/DisplayPreview.h"
#include "ui/Dialogs.h"

#include <QApplication>
#include <QScreen>
#include <QTimer>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace vantor;
using namespace vantor::test;

namespace {

// The frame the settings file holds for `model`, as a window opened on it would send it.
QByteArray savedFrame(const IniFile& ini, const QString& model) {
  return model == "1602" ? frameBytes(encodeConfig1602(loadConfig1602(ini).cfg)).bytes
                         : frameBytes(encodeConfig2004(loadConfig2004(ini).cfg)).bytes;
}

}  // namespace

class TstConfigWindows : public QObject {
  Q_OBJECT

  std::unique_ptr<AppSession> s_;

  // The main window on port 5 with `model` and some saved settings unlike the first-use
  // defaults (two of four fields active); then Connect and Configure LCD.
  AppSession& open(const QString& model) {
    s_->choosePort(5, "19200,n,8,2", model);
    const QString n = model == "1602" ? "" : "3";  // the four-line module's field 3
    const std::pair<QString, QString> keys[] = {{"CSet", "38400,n,8,2"},
                                                {"RLow" + n, "100"},
                                                {"DT" + n, "3"},
                                                {"Fcode" + n, "4"},
                                                {"UDT1", "TEMP^"}};
    for (const auto& [key, value] : keys) s_->set("Cfg" + model, key, value);
    s_->set("Settings", "AF", "2");
    s_->start();
    s_->configureLcd();
    return *s_;
  }
  static void models() {
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("slaveList");     // the (first field's) slave address
    QTest::addColumn<QString>("decimalsList");  // a list that offers 0
    QTest::addColumn<QString>("decimalsCaption");
    QTest::addColumn<int>("slaveByte");
    QTest::addColumn<int>("width");  // of a display row
    QTest::newRow("1602") << "1602"
                          << "Configure KV-216/KV-216L"
                          << "cboSlaveID"
                          << "cboDP"
                          << "Number of decimal place" << frame1602::kSlaveAddress
                          << frame1602::kRowWidth;
    QTest::newRow("2004") << "2004"
                          << "Configure KV-420"
                          << "cboSlaveID_0"
                          << "cboDP_0"
                          << "Number of decimal place (field 1)"
                          << frame2004::kRequests + frame2004::kSlaveAddress
                          << frame2004::kRowWidth;
  }

 private slots:
  void init() { s_ = std::make_unique<AppSession>(); }
  void cleanup() { s_.reset(); }

  // Opens as its own window on the chosen port at 9600,n,8,1; every Send puts the whole frame
  // the window shows on the line in one piece, and none while a list has no choice; closing
  // asks whether to save, and only Yes writes the file.
  void sendAndClose_data() { models(); }
  void sendAndClose() {
    QFETCH(QString, model);
    QFETCH(QString, title);
    QFETCH(QString, slaveList);
    QFETCH(QString, decimalsList);
    QFETCH(QString, decimalsCaption);
    QFETCH(int, slaveByte);
    AppSession& s = open(model);
    const QString fault = s.lcdOpeningFault(title);
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
    // Tab goes as the window reads: communication, display rows, Send, then the field.
    QStringList walk;
    for (QWidget* w = s.lcd("cboBaud"); walk.size() < 7; w = w->nextInFocusChain())
      if (w->focusPolicy() & Qt::TabFocus && w->isEnabled()) walk << w->objectName();
    QCOMPARE(walk.mid(3, 4).filter("txtLine").size(), model == "1602" ? 2 : 3);
    QCOMPARE(walk.mid(0, 3), QStringList({"cboBaud", "cboDF1", "cboSampling"}));
    const QByteArray saved = savedFrame(s.ini, model);
    const QByteArray file = fileBytes(s.ini.filePath());
    QVERIFY(!saved.isEmpty());
    s.sendConfig();
    QCOMPARE(readOnce(s.pty).toHex(' '), saved.toHex(' '));

    s.lcd(slaveList)->setCurrentIndex(16);
    // Escape closes it as the title bar does: with the question. Cancel (Escape on the
    // question) keeps it open with its edits; No lets them go.
    s.dialogs.cancelNext = 1;
    QTest::keyClick(s.lcd(slaveList), Qt::Key_Escape);
    QVERIFY(s.lcdWindow().isVisible() && s.lcdPort().isOpen());
    QCOMPARE(s.lcd(slaveList)->currentIndex(), 16);
    s.dialogs.answers = {false};
    QTest::keyClick(s.lcd(slaveList), Qt::Key_Escape);
    QCOMPARE(s.dialogs.texts(), QStringList({"Save Config. Data ?", "Save Config. Data ?"}));
    QVERIFY(!s.lcdWindow().isVisible() && !s.lcdPort().isOpen());
    QCOMPARE(fileBytes(s.ini.filePath()), file);

    s.configureLcd();  // restores the file, not the abandoned edit
    s.sendConfig();
    QCOMPARE(readOnce(s.pty).toHex(' '), saved.toHex(' '));
    s.lcd(decimalsList)->setCurrentIndex(-1);
    s.sendConfig();
    QCOMPARE(s.dialogs.texts(), QStringList{"Nothing was sent. Choose an entry in each of these "
                                            "lists first: " +
                                            decimalsCaption + "."});
    s.dialogs.boxes.clear();
    s.lcd(decimalsList)->setCurrentIndex(0);
    s.lcd(slaveList)->setCurrentIndex(16);
    s.sendConfig();
    const QByteArray edited = readOnce(s.pty);
    QCOMPARE(edited.size(), saved.size());
    QCOMPARE(int(edited.at(slaveByte)), 17);
    s.closeLcd(true);
    QCOMPARE(s.dialogs.texts(), QStringList{"Save Config. Data ?"});
    QCOMPARE(savedFrame(s.ini, model).toHex(' '), edited.toHex(' '));
    QCOMPARE(s.pty.read(0, 100), QByteArray());  // nothing else was sent
  }

  // At 1280x720 (this test's screen) each window fits the screen; what does not fit scrolls.
  // The question on closing takes Escape as Cancel.
  void fitsASmallScreen_data() { models(); }
  void fitsASmallScreen() {
    QFETCH(QString, model);
    QWidget& window = open(model).lcdWindow();
    const QRect screen = window.screen()->availableGeometry();
    QVERIFY2(window.width() <= screen.width() && window.height() <= screen.height(),
             qPrintable(QString("%1x%2").arg(window.width()).arg(window.height())));

    MessageBoxDialogs real;
    QTimer escape;
    QObject::connect(&escape, &QTimer::timeout, [] {
      if (QWidget* box = QApplication::activeModalWidget()) QTest::keyClick(box, Qt::Key_Escape);
    });
    escape.start(20);
    QCOMPARE(real.askYesNoCancel(&window, "Save Config. Data ?"), Dialogs::Answer::Cancel);
  }

  // First use is no fault: the main window says what the simulator answers as in its ordinary
  // colour, with the file on demand. The configuration window's word on its first-use
  // defaults holds until they are sent.
  void firstUseNoticesGoOnceSent_data() { models(); }
  void firstUseNoticesGoOnceSent() {
    QFETCH(QString, model);
    AppSession& s = *s_;
    s.choosePort(5, "19200,n,8,2", model);
    s.start();
    s.connect();
    const auto* notice = s.get<QLabel>("lblNotice");
    QVERIFY2(notice->isVisible() && notice->text().contains("has not been saved yet"),
             qPrintable(notice->text()));
    QCOMPARE(notice->palette().color(QPalette::WindowText),
             s.main->palette().color(QPalette::WindowText));
    QVERIFY2(notice->toolTip().contains(s.ini.filePath()), qPrintable(notice->toolTip()));

    s.dialogs.boxes.clear();
    s.press("cmdCfgLcd");
    const auto* restored = s.lcd<QLabel>("lblNotice");
    QVERIFY2(restored->text().startsWith("No usable saved configuration was found"),
             qPrintable(restored->text()));
    for (const char* line : {"cboBaud", "cboDF1"}) s.lcd(line)->setCurrentIndex(0);
    s.sendConfig();
    QVERIFY2(s.lcdStatus().startsWith("Sent "), qPrintable(s.lcdStatus()));
    QCOMPARE(restored->text(), QString());

    // Saved: the next Connect has nothing to say, and the status bar no longer says it.
    s.closeLcd(true);
    s.connect();
    QVERIFY(!notice->isVisible());
    QCOMPARE(s.get<QLabel>("lblLastNotice")->text(), QString());
  }

  void failedSaveCanBeTriedAgain_data() {
    QTest::addColumn<QString>("model");
    QTest::addColumn<bool>("lockHeld");  // else the settings folder cannot be written
    QTest::newRow("1602, folder gone") << "1602" << false;
    QTest::newRow("2004, lock held by another program") << "2004" << true;
  }
  // A save that fails says why and offers to try again; another program's lock is waited for
  // (said after a second) and can be given up, and the next try saves.
  void failedSaveCanBeTriedAgain() {
    QFETCH(QString, model);
    QFETCH(bool, lockHeld);
    AppSession& s = open(model);
    int lock = -1;
    if (lockHeld) {
      lock = ::open(QFile::encodeName(s.ini.lockPath()).constData(), O_RDWR | O_CREAT, 0644);
      QCOMPARE(::flock(lock, LOCK_EX), 0);
      // The user gives up, and only then does the other program let go: letting go first
      // races the give-up, and the wait may end by taking the lock.
      s.dialogs.onLockWait = [&lock](qint64 waitedMs) {
        if (waitedMs < 0) ::close(std::exchange(lock, -1));
        return waitedMs < 0;
      };
    } else {
      s.breakSettingsFolder();
    }
    s.dialogs.answers = {true, lockHeld};  // save; try again
    s.lcdWindow().close();
    QCOMPARE(s.dialogs.boxes.size(), 2);
    const QString report = s.dialogs.boxes[1].text;
    QVERIFY2(report.contains("not saved") && report.contains(s.ini.filePath()), qPrintable(report));
    QVERIFY(s.dialogs.boxes[1].detail.contains(lockHeld ? s.ini.lockPath() : s.ini.filePath()));
    QVERIFY(!s.lcdWindow().isVisible() && !s.lcdPort().isOpen());
    QCOMPARE(s.ini.read("Cfg" + model, "CSet").isEmpty(), !lockHeld);
    if (lockHeld) {  // said after a second, given up at once
      QCOMPARE(s.dialogs.lockWaits.size(), 2);
      QVERIFY(s.dialogs.lockWaits[0] >= 1000 && s.dialogs.lockWaits[1] == -1);
    }
  }

  // Typed or pasted, a character the module cannot show becomes "?", one per character as
  // seen, and the cursor stays where the user put it.
  void rowsStayPrintable_data() { models(); }
  void rowsStayPrintable() {
    QFETCH(QString, model);
    QFETCH(int, width);
    auto* row = open(model).lcd<QLineEdit>("txtLine1");
    type(row, QString::fromUtf8("25\u00B0C"));
    QCOMPARE(row->text(), QString("25?C"));
    row->setCursorPosition(1);
    type(row, QString::fromUtf8("\U0001F600"));
    QCOMPARE(std::pair(row->text(), row->cursorPosition()), std::pair(QString("2?5?C"), 2));
    paste(row, QString::fromUtf8("^\t\u20AC"));
    QCOMPARE(std::pair(row->text(), row->cursorPosition()), std::pair(QString("2?^??5?C"), 5));
    const QString letters = "abcdefghijklmnopqrstuvwxyz";
    type(row, letters);
    QCOMPARE(row->text(), "2?^??" + letters.left(width - 8) + "5?C");
  }

  void previewFollowsEdits_data() {
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("suffix");     // of the first field's controls
    QTest::addColumn<QString>("tripValue");  // what the (high) trip point stands for
    QTest::newRow("1602") << "1602"
                          << ""
                          << "lblAlarmValue";
    QTest::newRow("2004") << "2004"
                          << "_0"
                          << "lblHighTripValue_0";
  }
  // The preview redraws at each keystroke in a row; a sample nobody typed follows the field's
  // decimal places, a typed one stays, and one the field cannot take is a finding. A trip
  // point reads as the value it stands for.
  void previewFollowsEdits() {
    QFETCH(QString, model);
    QFETCH(QString, suffix);
    QFETCH(QString, tripValue);
    AppSession& s = open(model);
    if (model == "2004") s.lcd("cboAF")->setCurrentIndex(0);  // field 1 alone on the display
    const auto* preview = s.lcd<QWidget>("lcdPreview");
    const auto shownRow = [&](int r) {
      return preview->accessibleDescription().split('\n').value(r);
    };
    auto* row = s.lcd<QLineEdit>("txtLine1");
    row->clear();
    type(row, "          vant");
    QCOMPARE(shownRow(1).mid(10, 4), QString("vant"));
    type(row, "or");
    QCOMPARE(shownRow(1).mid(10, 6), QString("vantor"));

    auto* sample = s.lcd<QLineEdit>("txtSample" + suffix);
    QCOMPARE(sample->accessibleName(), QString("Field 1 sample value"));
    s.lcd("cboDT" + suffix)->setCurrentIndex(int(DataType::Unsigned));
    s.lcd("cboDP" + suffix)->setCurrentIndex(2);
    DataField field;  // 5 digits, as both windows' first field has them
    field.decimals = 2;
    QCOMPARE(sample->text(), widestSample(field));
    QVERIFY2(shownRow(0).contains(widestSample(field)), qPrintable(shownRow(0)));

    type(sample, "1");  // the widest value, and a digit more: too many decimal places
    const auto* findings = s.lcd<QLabel>("lblFindings");
    QVERIFY2(findings->text().contains("field 1: ") && findings->text().contains("sample value"),
             qPrintable(findings->text()));
    sample->clear();
    type(sample, "12.5");
    QVERIFY2(!findings->text().contains("sample value"), qPrintable(findings->text()));
    s.lcd("cboDP" + suffix)->setCurrentIndex(1);
    QCOMPARE(sample->text(), QString("12.5"));
    QVERIFY2(shownRow(0).contains("12.5"), qPrintable(shownRow(0)));

    s.lcd("cboAlarmHi" + suffix)->setCurrentIndex(0x10);
    s.lcd("cboAlarmLo" + suffix)->setCurrentIndex(0x00);
    QCOMPARE(s.lcd<QLabel>(tripValue)->text(), QString("shows 409.6"));
  }

  // The data fields past the number of active ones take no input; an opening sets them too.
  void activeFieldsTakeInput() {
    AppSession& s = open("2004");
    const auto enabled = [&] {
      QString pattern;
      for (int k = 0; k < kFieldCount; ++k)
        pattern += s.lcd<QGroupBox>(QString("faf_%1").arg(k))->isEnabled() ? u'1' : u'0';
      return pattern;
    };
    QCOMPARE(enabled(), QString("1100"));
    const std::pair<int, const char*> steps[] = {{3, "1111"}, {0, "1000"}, {-1, "0000"}};
    for (const auto& [position, pattern] : steps) {
      s.lcd("cboAF")->setCurrentIndex(position);
      QCOMPARE(enabled(), QString(pattern));
    }
  }
};

QTEST_MAIN(TstConfigWindows)
#include "tst_configwindows.moc"
