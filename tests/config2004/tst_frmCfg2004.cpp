// The four-line configuration window against a real settings file and a real pseudo-terminal,
// alone and behind the real main window.
#include "ModbusMaster.h"
#include "PtyPair.h"
#include "RecordingDialogs.h"
#include "config2004/Cfg2004.h"
#include "config2004/frmCfg2004.h"
#include "main/frmMain.h"
#include "platform/SerialPort.h"
#include "settings/modINI.h"
#include "shared/modVar.h"

#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace vantor;
using namespace vantor::test;

namespace {

constexpr int kPort = 3;

QByteArray frameOf(const Cfg2004& cfg) {
  const auto encoded = encodeCfg2004(cfg);
  if (!encoded.frame) qFatal("refused: %s", qPrintable(encoded.refusal));
  return QByteArray(reinterpret_cast<const char*>(encoded.frame->data()), frame2004::kSize);
}

QByteArray fileBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A configuration unlike the first-use defaults in every control: four fields polling four
// different slaves, only the first of them active.
Cfg2004 sample() {
  Cfg2004 cfg;
  cfg.cboBaud = 1;
  cfg.cboDF1 = 2;
  cfg.cboSampling = 24;
  cfg.cboAF = 0;
  cfg.txtLine = {QStringLiteral("TEMP^ROOM 1"), QStringLiteral("Flow"), QString(),
                 QStringLiteral("^^ exactly twenty ^^")};
  struct Request {
    int address, function, start, type;
  };
  const Request requests[kFieldCount] = {
      {1, 3, 0x0000, 0}, {5, 4, 0x0064, 3}, {9, 3, 0x1002, 1}, {247, 4, 0x01F4, 4}};
  for (int k = 0; k < kFieldCount; ++k) {
    Field2004& f = cfg.fields[k];
    f.cboSlaveID = requests[k].address - 1;
    f.opt03 = requests[k].function == 3;
    f.cboSAH = requests[k].start >> 8;
    f.cboSAL = requests[k].start & 0xFF;
    f.cboDT = requests[k].type;
    f.cboDWidth = 3 + k;
    f.cboDP = k;
    f.cboStart = 4 * k;
    f.cboAlarmHi = 0x10 + k;
    f.cboAlarmLo = 0x20 + k;
    f.cboALH = 0x30 + k;
    f.cboALL = 0x40 + k;
  }
  return cfg;
}

// What an opening shows of a saved `cfg`: the alarm trip points start over.
Cfg2004 reopened(Cfg2004 cfg) {
  for (Field2004& f : cfg.fields) {
    f.cboAlarmHi = f.cboAlarmLo = 0xFF;
    f.cboALH = f.cboALL = 0x00;
  }
  return cfg;
}

// The window's controls, found by name through the core's list tables.
struct Controls {
  QWidget* window;

  template <typename T>
  T* get(const QString& name) const {
    auto* w = window->findChild<T*>(name);
    if (!w) qFatal("no control %s", qPrintable(name));
    return w;
  }
  static QString element(const QString& name, int k) {
    return QStringLiteral("%1_%2").arg(name).arg(k);
  }
  QComboBox* list(const QString& name) const { return get<QComboBox>(name); }
  QLineEdit* row(int r) const { return get<QLineEdit>(QStringLiteral("txtLine%1").arg(r)); }
  void press(const QString& button) const { get<QPushButton>(button)->click(); }

  Cfg2004 read() const {
    Cfg2004 cfg;
    for (const Cfg2004List& l : cfg2004Lists())
      cfg.*l.position = list(l.list.control)->currentIndex();
    for (int k = 0; k < kFieldCount; ++k) {
      for (const Field2004List& l : field2004Lists())
        cfg.fields[k].*l.position = list(element(l.list.control, k))->currentIndex();
      cfg.fields[k].opt03 = get<QRadioButton>(element("opt03", k))->isChecked();
      if (cfg.fields[k].opt03 == get<QRadioButton>(element("opt04", k))->isChecked())
        qFatal("function code options of field %d agree", k + 1);
    }
    for (int r = 0; r < frame2004::kRowCount; ++r) cfg.txtLine[r] = row(r)->text();
    return cfg;
  }
  void set(const Cfg2004& cfg) const {
    for (int k = 0; k < kFieldCount; ++k) {
      for (const Field2004List& l : field2004Lists())
        list(element(l.list.control, k))->setCurrentIndex(cfg.fields[k].*l.position);
      get<QRadioButton>(element(cfg.fields[k].opt03 ? "opt03" : "opt04", k))->setChecked(true);
    }
    for (int r = 0; r < frame2004::kRowCount; ++r) row(r)->setText(cfg.txtLine[r]);
    for (const Cfg2004List& l : cfg2004Lists())
      list(l.list.control)->setCurrentIndex(cfg.*l.position);
  }
  // Which data-field frames take input, as "1100" for fields 1 and 2.
  QString enabledFields() const {
    QString pattern;
    for (int k = 0; k < kFieldCount; ++k)
      pattern += get<QGroupBox>(element("faf", k))->isEnabled() ? u'1' : u'0';
    return pattern;
  }
};

}  // namespace

class tst_frmCfg2004 : public QObject {
  Q_OBJECT

  std::unique_ptr<QTemporaryDir> dir_;
  std::unique_ptr<PtyPair> pty_;
  std::unique_ptr<modINI> ini_;
  modVar vars_;
  RecordingDialogs dialogs_;
  std::unique_ptr<frmCfg2004> window_;

  Controls controls() { return {window_.get()}; }
  void useSettingsIn(const QString& folder) { ini_ = std::make_unique<modINI>(folder); }
  // The window as Configure LCD shows it: created on first use, then shown again and again.
  void open() {
    if (!window_) window_ = std::make_unique<frmCfg2004>(vars_, *ini_, dialogs_);
    window_->showWindow();
    QVERIFY(window_->isVisible());
  }
  void closeAnswering(bool save) {
    dialogs_.answers << save;
    QVERIFY(window_->close());
    QVERIFY(!window_->isVisible());
    QVERIFY(dialogs_.answers.isEmpty());
  }
  void store(const Cfg2004& cfg) {
    QString error;
    QVERIFY2(saveCfg2004(*ini_, cfg, &error), qPrintable(error));
  }
  QString iniPath() const { return ini_->INIFilePath(); }

 private slots:
  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    pty_ = std::make_unique<PtyPair>(true);
    QVERIFY(pty_->isValid());
    useSettingsIn(dir_->path());
    QVERIFY(ini_->WriteINI("Ports", QString::number(kPort), pty_->devicePath()));
    vars_ = modVar{};
    vars_.gCommPort = QString::number(kPort);
    dialogs_.boxes.clear();
    dialogs_.answers.clear();
  }
  void cleanup() { window_.reset(); }

  void opensOnItsOwnPortWithTheCoreLists() {
    window_ = std::make_unique<frmCfg2004>(vars_, *ini_, dialogs_);
    QVERIFY(window_->isWindow());
    QVERIFY(!window_->parentWidget());
    QCOMPARE(window_->windowModality(), Qt::NonModal);
    QCOMPARE(controls().enabledFields(), QString("0000"));

    open();
    const Controls c = controls();
    QCOMPARE(window_->windowTitle(), QString("Configure KV-420"));
    QVERIFY(window_->port().isOpen());
    QCOMPARE(window_->port().deviceName(), pty_->devicePath());
    QCOMPARE(window_->port().settings(), QString("9600,n,8,1"));
    QVERIFY(c.get<QLabel>("lblPortStatus")->text().contains(pty_->devicePath()));

    const auto items = [](QComboBox* combo) {
      QStringList texts;
      for (int i = 0; i < combo->count(); ++i) texts << combo->itemText(i);
      return texts;
    };
    // Every list carries the core's entries and a caption that names it.
    const auto captioned = [&](QComboBox* combo) {
      for (QLabel* label : window_->findChildren<QLabel*>())
        if (label->buddy() == combo) return label->text();
      return QString();
    };
    for (const Cfg2004List& l : cfg2004Lists()) {
      QCOMPARE(items(c.list(l.list.control)), l.list.entries);
      QCOMPARE(captioned(c.list(l.list.control)), l.list.caption);
    }
    for (int k = 0; k < kFieldCount; ++k) {
      QCOMPARE(c.get<QGroupBox>(Controls::element("faf", k))->title(),
               QString("Modbus Command Data Field %1").arg(k + 1));
      for (const Field2004List& l : field2004Lists()) {
        QComboBox* combo = c.list(Controls::element(l.list.control, k));
        QCOMPARE(items(combo), l.list.entries);
        QCOMPARE(combo->accessibleName(), fieldCaption(l.list.caption, k));
        QVERIFY(c.get<QGroupBox>(Controls::element("faf", k))->isAncestorOf(combo));
      }
    }
    for (int r = 0; r < frame2004::kRowCount; ++r) QCOMPARE(c.row(r)->maxLength(), 20);
    QCOMPARE(c.get<QPushButton>("cmdSendCfg")->text(), QString("Send Config. Data"));
    QCOMPARE(c.get<QLabel>("lblNotice")->text(), loadCfg2004(*ini_).notice);
    QVERIFY(dialogs_.boxes.isEmpty());
  }

  void activeFields_data() {
    QTest::addColumn<QString>("storedAF");     // empty: no key
    QTest::addColumn<QList<int>>("choices");   // cboAF positions chosen after opening
    QTest::addColumn<QStringList>("enabled");  // after opening, then after each choice
    QTest::newRow("2, then 4, then 1")
        << "2" << QList<int>{3, 0} << QStringList{"1100", "1111", "1000"};
    QTest::newRow("4") << "4" << QList<int>{} << QStringList{"1111"};
    QTest::newRow("3, then none chosen") << "3" << QList<int>{-1} << QStringList{"1110", "0000"};
    QTest::newRow("first use") << "" << QList<int>{2} << QStringList{"1000", "1110"};
  }
  void activeFields() {
    QFETCH(QString, storedAF);
    QFETCH(QList<int>, choices);
    QFETCH(QStringList, enabled);
    if (!storedAF.isEmpty()) QVERIFY(ini_->WriteINI("Settings", "AF", storedAF));
    open();
    const Controls c = controls();
    QCOMPARE(c.enabledFields(), enabled[0]);
    for (int i = 0; i < choices.size(); ++i) {
      c.list("cboAF")->setCurrentIndex(choices[i]);
      QCOMPARE(c.enabledFields(), enabled[i + 1]);
    }
  }

  void inactiveFieldsAreStillSavedAndSent() {
    Cfg2004 all = sample();
    all.cboAF = 3;
    store(all);
    open();
    const Controls c = controls();
    QCOMPARE(c.enabledFields(), QString("1111"));
    c.set(sample());  // the same fields, now with only the first active
    QCOMPARE(c.enabledFields(), QString("1000"));

    c.press("cmdSendCfg");
    const QByteArray sent = pty_->read(frame2004::kSize, 2000);
    QCOMPARE(sent.toHex(' '), frameOf(sample()).toHex(' '));
    QCOMPARE(sent.at(frame2004::kActiveFields), '\x01');
    QCOMPARE(quint8(sent.at(frame2004::kRequests + 3 * frame2004::kRequestSize)), quint8(247));

    closeAnswering(true);
    QCOMPARE(ini_->ReadINI("Settings", "AF"), QString("1"));
    QCOMPARE(ini_->ReadINI("Cfg2004", "Saddr4"), QString("247"));
    QCOMPARE(ini_->ReadINI("Cfg2004", "DT2"), QString("3"));
    open();
    QCOMPARE(c.read(), reopened(sample()));
    QCOMPARE(c.enabledFields(), QString("1000"));
  }

  void savedAsTheFileSaysAndShownBack_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("saved");
    QTest::addColumn<QString>("shown");
    QTest::newRow("digits of field 3") << "cboDWidth_2" << 6 << "DWidth3"
                                       << "7"
                                       << "7";
    QTest::newRow("register high byte in hex") << "cboSAH_0" << 0x10 << "RHigh1"
                                               << "16"
                                               << "0x10";
    QTest::newRow("register low byte in hex") << "cboSAL_3" << 0xF4 << "RLow4"
                                              << "244"
                                              << "0xF4";
    QTest::newRow("slave address") << "cboSlaveID_1" << 16 << "Saddr2"
                                   << "17"
                                   << "17";
    QTest::newRow("data type") << "cboDT_3" << 2 << "DT4"
                               << "2"
                               << "4 Digits BCD";
    QTest::newRow("polling interval") << "cboSampling" << 254 << "Interval"
                                      << "255"
                                      << "255";
    QTest::newRow("line speed") << "cboBaud" << 2 << "CSet"
                                << "38400,e,8,1"
                                << "38400";
  }
  void savedAsTheFileSaysAndShownBack() {
    QFETCH(QString, control);
    QFETCH(int, position);
    QFETCH(QString, key);
    store(sample());
    open();
    controls().list(control)->setCurrentIndex(position);
    closeAnswering(true);
    QTEST(ini_->ReadINI(key == "AF" ? "Settings" : "Cfg2004", key), "saved");
    open();
    QTEST(controls().list(control)->currentText(), "shown");
  }

  void answeringNoLeavesTheFileAsItWas() {
    store(sample());
    const QByteArray before = fileBytes(iniPath());
    open();
    const Controls c = controls();
    Cfg2004 edited = sample();
    edited.cboAF = 3;
    edited.txtLine[2] = QStringLiteral("abandoned");
    for (Field2004& f : edited.fields) f.cboSlaveID = 99;
    c.set(edited);
    closeAnswering(false);
    QCOMPARE(fileBytes(iniPath()), before);

    // The port went with the window.
    SerialPort other([&](int) { return pty_->devicePath(); });
    other.setCommPort(kPort);
    other.setSettings("9600,n,8,1");
    QVERIFY(other.open());
    other.close();

    open();
    QCOMPARE(c.read(), reopened(sample()));
  }

  void firstUseSaysSoInTheWindow() {
    open();
    auto* notice = controls().get<QLabel>("lblNotice");
    QVERIFY(!notice->text().isEmpty());
    QCOMPARE(notice->text(), loadCfg2004(*ini_).notice);
    QVERIFY(notice->isVisible());
    QVERIFY(dialogs_.boxes.isEmpty());
    closeAnswering(true);

    // Saved once, nothing is defaulted any more.
    open();
    QVERIFY(notice->text().isEmpty());
    QVERIFY(!notice->isVisible());
  }

  void alarmListsStartOverAtEachOpening() {
    store(sample());
    for (int round = 0; round < 2; ++round) {
      open();
      const Controls c = controls();
      for (int k = 0; k < kFieldCount; ++k) {
        QStringList alarms;
        for (const char* name : {"cboAlarmHi", "cboAlarmLo", "cboALH", "cboALL"}) {
          QComboBox* list = c.list(Controls::element(name, k));
          alarms << list->currentText();
          list->setCurrentIndex(0x5A);
        }
        QCOMPARE(alarms, (QStringList{"0xFF", "0xFF", "0x00", "0x00"}));
      }
      closeAnswering(true);
    }
  }

  void rowsTakePrintableAsciiOnly() {
    open();
    QLineEdit* row = controls().row(1);
    // One key press per character as the user sees it.
    const auto type = [row](const QString& text) {
      QTest::sendKeyEvent(QTest::Click, row, Qt::Key_unknown, text, Qt::NoModifier);
    };
    for (const char* key : {"2", "5", "\u00B0", "C"}) type(QString::fromUtf8(key));
    QCOMPARE(row->text(), QString("25?C"));
    row->setCursorPosition(1);
    type(QString::fromUtf8("\U0001F600"));
    QCOMPARE(row->text(), QString("2?5?C"));
    QCOMPARE(row->cursorPosition(), 2);
    QGuiApplication::clipboard()->setText("^a\tb\u00E9");
    row->paste();
    QCOMPARE(row->text(), QString("2?^a?b?5?C"));
    QCOMPARE(row->cursorPosition(), 7);
    QTest::keyClicks(row, "abcdefghijklmnopqrstuvwxyz");
    QCOMPARE(row->text(), QString("2?^a?b?abcdefghij5?C"));
  }

  void showingAnOpenWindowBringsItForward() {
    store(sample());
    open();
    const Controls c = controls();
    c.list("cboDP_0")->setCurrentIndex(4);
    c.row(0)->setText("typed, not saved");
    open();
    QCOMPARE(c.list("cboDP_0")->currentIndex(), 4);
    QCOMPARE(c.row(0)->text(), QString("typed, not saved"));
    QCOMPARE(c.list("cboSlaveID_0")->count(), 255);
    QVERIFY(window_->port().isOpen());
    QVERIFY(dialogs_.boxes.isEmpty());
  }

  void sendWritesTheWholeFrameAtOnce() {
    store(sample());
    open();
    const Controls c = controls();
    const QByteArray expected = frameOf(reopened(sample()));
    c.press("cmdSendCfg");
    QCOMPARE(pty_->read(frame2004::kSize, 2000).toHex(' '), expected.toHex(' '));
    QCOMPARE(pty_->read(0, 100), QByteArray());
    QVERIFY(c.get<QLabel>("lblPortStatus")->text().contains("135"));
    QVERIFY(dialogs_.boxes.isEmpty());

    // Again, and the window closed right behind it: the frame is out before the port goes.
    c.press("cmdSendCfg");
    closeAnswering(false);
    QCOMPARE(pty_->read(frame2004::kSize, 2000), expected);
    QCOMPARE(pty_->read(0, 100), QByteArray());
  }

  void sendRefusesWhileAListIsEmpty() {
    store(sample());
    open();
    const Controls c = controls();
    c.list("cboDP_2")->setCurrentIndex(-1);
    c.press("cmdSendCfg");
    QCOMPARE(dialogs_.texts(), QStringList{encodeCfg2004(c.read()).refusal});
    QVERIFY(dialogs_.boxes[0].text.contains("Number of decimal place (field 3)"));
    QCOMPARE(pty_->read(0, 200), QByteArray());
  }

  void withoutItsPortTheWindowStillOpens_data() {
    QTest::addColumn<QString>("commPort");
    QTest::addColumn<bool>("held");
    QTest::addColumn<QString>("reason");
    QTest::newRow("device held by another opener") << "3" << true << "";
    QTest::newRow("no port chosen") << "0" << false << "No port number";
  }
  void withoutItsPortTheWindowStillOpens() {
    QFETCH(QString, commPort);
    QFETCH(bool, held);
    QFETCH(QString, reason);
    vars_.gCommPort = commPort;
    SerialPort holder([&](int) { return pty_->devicePath(); });
    holder.setCommPort(kPort);
    holder.setSettings("9600,n,8,1");
    if (held) QVERIFY(holder.open());
    store(sample());

    open();
    const Controls c = controls();
    QVERIFY(!window_->port().isOpen());
    const QString status = c.get<QLabel>("lblPortStatus")->text();
    QVERIFY2(!status.isEmpty() && status.contains(reason), qPrintable(status));
    if (held) QVERIFY2(status.contains(pty_->devicePath()), qPrintable(status));
    QCOMPARE(dialogs_.texts(), QStringList{"The configuration port could not be opened."});
    QCOMPARE(dialogs_.boxes[0].detail, status);
    QCOMPARE(c.read(), reopened(sample()));

    c.press("cmdSendCfg");
    QCOMPARE(dialogs_.boxes.size(), 2);
    QVERIFY(dialogs_.boxes[1].text.contains("not open"));
    QVERIFY(dialogs_.boxes[1].text.contains(commPort));
    holder.close();
    QCOMPARE(pty_->read(0, 200), QByteArray());

    // Edits can still be saved.
    c.list("cboSlaveID_0")->setCurrentIndex(41);
    closeAnswering(true);
    QCOMPARE(ini_->ReadINI("Cfg2004", "Saddr1"), QString("42"));
  }

  void aVanishingDeviceIsReported() {
    PtyPair line;  // nothing else holds its device, so closing the far end hangs it up
    QVERIFY(ini_->WriteINI("Ports", "4", line.devicePath()));
    vars_.gCommPort = "4";
    open();
    line.closeMaster();
    QTRY_VERIFY_WITH_TIMEOUT(!window_->port().isOpen(), 3000);
    const QString status = controls().get<QLabel>("lblPortStatus")->text();
    QVERIFY2(status.contains("lost") && status.contains(line.devicePath()), qPrintable(status));
    controls().press("cmdSendCfg");
    QCOMPARE(dialogs_.boxes.size(), 1);
    QVERIFY(dialogs_.boxes[0].text.contains("port 4 is not open"));
  }

  void aFailedSaveIsReportedOnce() {
    // A settings folder under a regular file can never be created, not even by root.
    QFile blocker(dir_->filePath("file"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    useSettingsIn(dir_->filePath("file/settings"));
    vars_.gCommPort = "0";
    open();
    dialogs_.boxes.clear();
    closeAnswering(true);
    QCOMPARE(dialogs_.boxes.size(), 2);
    QCOMPARE(dialogs_.boxes[0].text, QString("Save Config. Data ?"));
    QVERIFY(dialogs_.boxes[1].text.contains("not saved"));
    QVERIFY(dialogs_.boxes[1].text.contains("modlcd.ini"));
    QVERIFY(!dialogs_.boxes[1].detail.isEmpty());
  }

  // Configure LCD, send, save; then Connect, and a real Modbus master polls what was configured.
  void configuredSlavesAreWhatTheSimulatorServes() {
    QVERIFY(ini_->WriteINI("Ports", "2", pty_->devicePath()));
    QVERIFY(ini_->WriteINI("Settings", "CommPort", "2"));
    QVERIFY(ini_->WriteINI("Settings", "Setting", "19200,n,8,2"));
    QVERIFY(ini_->WriteINI("LCD", "Module", "2004"));
    frmMain main(vars_, *ini_, dialogs_);
    Controls m{&main};
    m.press("cmdConnect");
    m.press("cmdCfgLcd");
    frmCfg2004* window = main.cfg2004();
    QVERIFY(window && window->isVisible());
    QVERIFY(window->port().isOpen());
    QCOMPARE(window->port().deviceName(), pty_->devicePath());
    QCOMPARE(window->port().settings(), QString("9600,n,8,1"));

    Cfg2004 want = sample();
    want.cboAF = 3;
    const Controls c{window};
    c.set(want);
    QCOMPARE(c.read(), want);
    c.press("cmdSendCfg");
    QCOMPARE(pty_->read(frame2004::kSize, 2000).toHex(' '), frameOf(want).toHex(' '));
    dialogs_.boxes.clear();
    dialogs_.answers << true;
    QVERIFY(window->close());
    QVERIFY(!window->port().isOpen());

    m.press("cmdConnect");
    QCOMPARE(m.get<QPushButton>("cmdConnect")->text(), QString("Disconnect"));
    QCOMPARE(dialogs_.texts(), QStringList{"Save Config. Data ?"});
    ModbusMaster master(pty_->masterFd());
    for (int k = 0; k < kFieldCount; ++k) {
      const Field2004& f = want.fields[k];
      const int address = f.cboSlaveID + 1;
      const int start = (f.cboSAH << 8) | f.cboSAL;
      const int count = f.cboDT < 3 ? 1 : 2;
      const quint32 value = (0x10203 * quint32(k + 1)) & 0xFFFFF;
      for (int e = 0; e < 3; ++e)
        m.list(QString("cboMReg%1_%2").arg(k + 1).arg(e))
            ->setCurrentIndex(int((value >> (8 * e)) & 0xFF));
      const auto regs = serve([&] {
        return f.opt03 ? master.readHolding(address, start, count)
                       : master.readInput(address, start, count);
      });
      QVERIFY2(regs.has_value(),
               qPrintable(QString("field %1: %2").arg(k + 1).arg(master.lastError())));
      if (count == 1) {
        QCOMPARE((*regs)[0], quint16(value));
      } else {
        QCOMPARE((*regs)[0], quint16(value >> 16));
        QCOMPARE((*regs)[1], quint16(value));
      }
    }

    // The same window object opens again, on what was saved.
    m.press("cmdCfgLcd");
    QCOMPARE(main.cfg2004(), window);
    QVERIFY(window->isVisible());
    QCOMPARE(c.read(), reopened(want));
    dialogs_.answers << false;
    window->close();
  }
};

QTEST_MAIN(tst_frmCfg2004)
#include "tst_frmCfg2004.moc"
