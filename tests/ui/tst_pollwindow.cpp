#include "AppSession.h"
#include "ModbusSlave.h"
#include "core/modbus/Crc16.h"
#include "core/modbus/HexText.h"
#include "core/monitor/LogExport.h"
#include "ui/BusMonitor.h"
#include "ui/LcdView.h"

#include <QDialog>
#include <QLineEdit>
#include <QRadioButton>
#include <QTableWidget>

using namespace vantor;
using namespace vantor::test;

namespace {

// The columns of the table of polls per field that these tests read.
enum Column {
  PollsColumn = 5,
  RepliesColumn,
  TimeoutsColumn,
  LastValueColumn = 12,
  ResponseColumn
};

QString cellText(const QTableWidget* table, int row, int column) {
  const QTableWidgetItem* item = table->item(row, column);
  return item ? item->text() : QString();
}

// A frame with its check value.
QByteArray framed(const char* hex) {
  QByteArray f = QByteArray::fromHex(hex);
  const CheckValue c = checkValue(f);
  return f.append(char(c.lo)).append(char(c.hi));
}

// A recording of one poll of slave 1's holding register 0, answered 0x007B 20 ms later.
QString writeRecording(const QString& folder) {
  const QString path = folder + "/site.jsonl";
  QByteArray lines;
  const auto line = [&lines](const char* time, const char* direction, const QByteArray& bytes,
                             const char* kind) {
    lines += QString(R"({"time":"2026-12-07T10:00:%1+01:00","direction":"%2","bytes":"%3",)"
                     R"("kind":"%4","slave":1,"detail":""})")
                 .arg(time, direction, hexText(bytes), kind)
                 .toUtf8() +
             '\n';
  };
  line("00.000", "rx", framed("010300000001"), "answered");
  line("00.020", "tx", framed("010302007B"), "reply");
  if (!writeFileBytes(path, lines)) qFatal("cannot write %s", qPrintable(path));
  return path;
}

// Replay... with `path`, as the slaves or the master.
void startReplay(AppSession& s, const QString& path, bool asSlaves) {
  s.press("cmdReplay");
  auto* dialog = s.main->findChild<QDialog*>("dlgReplay");
  QVERIFY(dialog);
  control<QLineEdit>(dialog, "txtReplayFile")->setText(path);
  control<QRadioButton>(dialog, asSlaves ? "optReplaySlaves" : "optReplayMaster")->setChecked(true);
  control<QPushButton>(dialog, "cmdReplayStart")->click();
  QVERIFY2(s.dialogs.boxes.isEmpty(), qPrintable(s.dialogs.texts().join('|')));
  QCOMPARE(s.get<QPushButton>("cmdReplay")->text(), QString("Stop replay"));
}

}  // namespace

class tst_pollwindow : public QObject {
  Q_OBJECT

 private slots:
  // Poll as module against a field device that is not Vantor: the requests of the saved
  // configuration, each field's counts and last value, the display drawn from the replies (a
  // field nobody answers shown as failed with why), the log's rows, and Stop polling.
  void pollsTheFieldDevicesAsTheModule() {
    AppSession s;
    storePoll(s.ini, "Cfg2004", "1", {7, 3, 0x10, 0});
    storePoll(s.ini, "Cfg2004", "2", {9, 4, 0x20, 0});  // nobody answers as 9
    s.set("Settings", "AF", "2");
    s.set("Cfg2004", "DP1", "1");
    s.set("Cfg2004", "Interval", "1");
    s.choosePort(2, "9600,n,8,1", "2004");
    ModbusSlave slave(s.pty.masterFd(), 7);
    slave.setRegister(3, 0x10, 1234);
    QVERIFY(slave.start());
    s.start();

    s.press("cmdPoll");
    QVERIFY2(s.dialogs.boxes.isEmpty(), qPrintable(s.dialogs.texts().join('|')));
    QCOMPARE(s.get<QPushButton>("cmdPoll")->text(), QString("Stop polling"));
    QVERIFY(!s.get<QPushButton>("cmdConnect")->isEnabled());
    QVERIFY(!s.get<QPushButton>("cmdListen")->isEnabled());
    const QString notice = s.get<QLabel>("lblNotice")->text();
    QVERIFY2(notice.contains("Polling 2 fields as the module on " + s.pty.devicePath() +
                             ": a cycle every 100 ms"),
             qPrintable(notice));
    auto* table = s.get<QTableWidget>("tblPollFields");
    QTRY_VERIFY_WITH_TIMEOUT(cellText(table, 1, TimeoutsColumn).toInt() >= 2, 20000);
    // On a busy machine a poll of field 1 may time out too: its next one answers.
    QTRY_COMPARE_WITH_TIMEOUT(cellText(table, 0, LastValueColumn), QString("123.4"), 20000);
    QCOMPARE(cellText(table, 1, LastValueColumn), QString("- (last poll: no reply within 500 ms)"));
    QVERIFY(cellText(table, 0, RepliesColumn).toInt() >= 2);
    QVERIFY2(QRegularExpression(R"(^\d+\.\d / \d+\.\d / \d+\.\d$)")
                 .match(cellText(table, 0, ResponseColumn))
                 .hasMatch(),
             qPrintable(cellText(table, 0, ResponseColumn)));

    const auto* lcd = s.get<LcdView>("lcdPreview");
    QVERIFY2(lcd->preview().rows.join('|').contains("123.4"),
             qPrintable(lcd->preview().rows.join('|')));
    QVERIFY2(
        s.get<QLabel>("lblFindings")->text().contains("field 2: no value: no reply within 500 ms"),
        qPrintable(s.get<QLabel>("lblFindings")->text()));
    const QByteArray first = QByteArray::fromHex("070300100001");
    for (const ModbusSlave::Request& r : slave.requests())
      QCOMPARE(hexText(r.bytes.left(6)), hexText(first));

    s.press("cmdPoll");
    QCOMPARE(s.get<QPushButton>("cmdPoll")->text(), QString("Poll as module"));
    QVERIFY(s.get<QPushButton>("cmdConnect")->isEnabled());
    QVERIFY(table->isVisible());  // what it found stays to be read
    QStringList kinds;
    TrafficLog& log = s.main->monitor().log();
    for (int row = 0; row < log.rowCount(); ++row) kinds << kindName(log.event(row).kind);
    kinds.removeDuplicates();
    kinds.sort();
    QCOMPARE(kinds, (QStringList{"poll", "poll-reply", "poll-timeout"}));
  }

  // Replay... as the slaves: a real master's poll gets the recorded reply, and the display
  // draws it as the module would; a damaged recording is refused in the dialog, naming the
  // line, before the port opens.
  void replaysARecordingAsTheSlaves() {
    AppSession s;
    storePoll(s.ini, "Cfg1602", "", {1, 3, 0, 0});
    s.choosePort(2, "9600,n,8,1", "1602");
    s.start();
    const QString broken = s.folder() + "/broken.jsonl";
    QVERIFY(writeFileBytes(broken, "{\"time\":\"2026-12-07T10:00:00.000+01:00\",\"direction\""));
    s.press("cmdReplay");
    auto* dialog = s.main->findChild<QDialog*>("dlgReplay");
    control<QLineEdit>(dialog, "txtReplayFile")->setText(broken);
    control<QPushButton>(dialog, "cmdReplayStart")->click();
    QVERIFY2(control<QLabel>(dialog, "lblReplayRefusal")->text().startsWith(broken + ", line 1"),
             qPrintable(control<QLabel>(dialog, "lblReplayRefusal")->text()));
    QVERIFY(holdDevice(s.pty.devicePath()) != nullptr);
    dialog->close();

    startReplay(s, writeRecording(s.folder()), true);
    ModbusMaster master(s.pty.masterFd(), 2000);
    QCOMPARE(readValue(master, {1, 3, 0, 0}), std::optional<quint32>(0x7B));
    QTRY_VERIFY(s.get<LcdView>("lcdPreview")->preview().rows.join('|').contains("123"));
    const BusCounters& counters = s.main->monitor().counters();
    QCOMPARE(counters.counts(1).replies, 1);  // put down to field 1, as the total is
    QCOMPARE(counters.counts(1).requests, counters.counts(0).requests);
    QVERIFY(counters.latency(1).has_value());  // the recorded delay, as serving counts it
    s.press("cmdReplay");
    QCOMPARE(s.get<QPushButton>("cmdReplay")->text(), QString("Replay..."));
  }

  // Replay... as the master: the recorded poll goes to a field device that answers another
  // value, and the window says so when the recording has been played.
  void replaysARecordingAsTheMaster() {
    AppSession s;
    s.choosePort(2, "9600,n,8,1", "1602");
    ModbusSlave slave(s.pty.masterFd(), 1);
    slave.setRegister(3, 0, 124);
    QVERIFY(slave.start());
    s.start();
    startReplay(s, writeRecording(s.folder()), false);
    QTRY_VERIFY_WITH_TIMEOUT(
        s.get<QLabel>("lblNotice")->text().startsWith("The recording was played to its end."),
        20000);
    QVERIFY2(s.get<QLabel>("lblNotice")->text().contains("1 with other bytes"),
             qPrintable(s.get<QLabel>("lblNotice")->text()));
    QCOMPARE(slave.requests().size(), 1u);
  }

  // With no configuration saved for the chosen module there is nothing to poll: said, and the
  // port stays closed.
  void nothingToPollIsSaid() {
    AppSession s;
    s.choosePort(2, "9600,n,8,1", "1602");
    s.start();
    s.press("cmdPoll");
    QCOMPARE(s.dialogs.texts().value(0), QString("Nothing to poll."));
    QCOMPARE(s.get<QPushButton>("cmdPoll")->text(), QString("Poll as module"));
    QVERIFY(holdDevice(s.pty.devicePath()) != nullptr);
  }
};

QTEST_MAIN(tst_pollwindow)
#include "tst_pollwindow.moc"
