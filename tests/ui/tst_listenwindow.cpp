// The main window listening: Listen hears the line and writes nothing, the poll plan sums it
// up, naming the field of each poll, the display is drawn from what is heard, and Find line
// settings finds the master's rate on a line that garbles other rates.
#include "AppSession.h"
#include "PtyBus.h"
#include "core/config/Config2004.h"
#include "core/modbus/Crc16.h"
#include "core/monitor/TrafficLog.h"
#include "ui/BusMonitor.h"

#include <QDialog>
#include <QDoubleSpinBox>
#include <QProgressBar>
#include <QTableWidget>
#include <QTimer>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

using namespace vantor;
using namespace vantor::test;

namespace {

const QByteArray kRequest = QByteArray::fromHex("010300000001840A");  // slave 1, 03, register 0
const QByteArray kReply = QByteArray::fromHex("010302000A3843");      // 0x000A

}  // namespace

class tst_listenwindow : public QObject {
  Q_OBJECT

 private slots:
  void listenHearsAndWritesNothing() {
    AppSession s;
    s.choosePort(2, "9600,n,8,1", "1602");
    s.start();
    s.press("cmdListen");
    QVERIFY(s.main->isListening());
    QVERIFY(!s.main->isConnected());
    QCOMPARE(s.get<QPushButton>("cmdListen")->text(), "Stop listening");
    QVERIFY(!s.get<QPushButton>("cmdConnect")->isEnabled());
    for (int i = 0; i < 2; ++i) {
      s.pty.write(kRequest);
      QTest::qWait(30);
      s.pty.write(kReply);
      QTest::qWait(200);
    }
    auto* plan = s.get<QTableWidget>("tblPollPlan");
    QTRY_COMPARE_WITH_TIMEOUT(plan->rowCount() == 1 ? plan->item(0, 7)->text() : QString(), "2",
                              10000);
    QCOMPARE(plan->item(0, 1)->text(), "1");            // the saved configuration's field
    QCOMPARE(plan->item(0, 5)->text(), "2");            // polls
    QCOMPARE(plan->item(0, 8)->text(), "0x000A = 10");  // by the saved data type
    // The plots are fed what was heard as they are what was served.
    QTRY_COMPARE_WITH_TIMEOUT(s.get("plotTrend")->accessibleDescription(),
                              QString("slave 1 (field 1): 10"), 10000);
    TrafficLog& log = s.main->monitor().log();
    QCOMPARE(log.rowCount(), 4);
    QCOMPARE(log.event(1).kind, EventKind::Response);
    QCOMPARE(s.pty.read(0, 300), QByteArray());  // nothing was written to the line
    s.press("cmdListen");
    QVERIFY(!s.main->isListening());
    QVERIFY(s.get<QPushButton>("cmdConnect")->isEnabled());
  }

  // The module is configured while Vantor listens, then polls: the display is the heard
  // configuration's (the four-line module's, though the two-line one is chosen), each field
  // showing the reply to its own poll.
  void displayDrawnFromAHeardConfiguration() {
    AppSession s;
    s.choosePort(2, "9600,n,8,1", "1602");
    s.start();
    s.press("cmdListen");
    auto* lcd = s.get("lcdPreview");
    QCOMPARE(lcd->accessibleDescription(), QString());  // nothing stale

    Config2004 cfg;
    cfg.line = {9600, 0};
    cfg.activeFields = 2;
    cfg.rows = {"Boiler", "Pressure"};
    cfg.fields[0].startLocation = 15;
    cfg.fields[1].slaveAddress = 2;
    cfg.fields[1].functionCode = 4;
    cfg.fields[1].startRegister = 0x10;
    cfg.fields[1].dataType = DataType::LongInteger;
    cfg.fields[1].decimals = 1;
    cfg.fields[1].digits = 8;
    cfg.fields[1].startLocation = 12;
    s.pty.write(frameBytes(encodeConfig2004(cfg)).bytes);
    auto* notice = s.get<QLabel>("lblNotice");
    QTRY_VERIFY2_WITH_TIMEOUT(notice->text().contains(QRegularExpression(
                                  R"(^Drawing the configuration heard at \d\d:\d\d:\d\d\.\d{3}: )"
                                  "four-line module, 2 fields\nListening on ")),
                              qPrintable(notice->text()), 10000);
    const auto exchange = [&](const char* request, const char* reply) {
      s.pty.write(withCheckValue(QByteArray::fromHex(request)));
      QTest::qWait(30);
      s.pty.write(withCheckValue(QByteArray::fromHex(reply)));
      QTest::qWait(30);
    };
    exchange("010300000001", "010302000A");
    exchange("020400100002", "0204040001E240");  // 123456, the high register first
    exchange("020400110002", "02040400000001");  // another register: no field's
    const QString rows =
        "Boiler            10\nPressure     12345.6\n" + QString(20, ' ') + '\n' + QString(20, ' ');
    QTRY_COMPARE_WITH_TIMEOUT(lcd->accessibleDescription(), rows, 10000);
    auto* plan = s.get<QTableWidget>("tblPollPlan");
    QTRY_COMPARE_WITH_TIMEOUT(plan->rowCount(), 3, 10000);
    QStringList fields;
    for (int row = 0; row < plan->rowCount(); ++row) fields << plan->item(row, 1)->text();
    QCOMPARE(fields, (QStringList{"1", "2", ""}));
  }

  void findLineSettingsOffersTheMastersRate() {
    PtyBus bus(2);  // end 0 the master's, end 1 the window's port
    QVERIFY(bus.start());
    const int master = ::open(qPrintable(bus.path(0)), O_RDWR | O_NOCTTY);
    termios t{};
    QVERIFY(master >= 0 && ::tcgetattr(master, &t) == 0);
    ::cfmakeraw(&t);
    ::cfsetspeed(&t, B38400);
    QVERIFY(::tcsetattr(master, TCSANOW, &t) == 0);
    QTimer polls;  // the master polls every 100 ms, whoever listens
    QObject::connect(&polls, &QTimer::timeout,
                     [&] { QVERIFY(::write(master, kRequest.data(), 8) == 8); });
    polls.start(100);

    AppSession s;
    s.choosePort(2, "9600,n,8,1", "1602", bus.path(1));
    s.start();
    s.press("cmdFindSettings");
    auto* dialog = s.main->findChild<QDialog*>("frmFindSettings");
    QVERIFY(dialog && dialog->isVisible());
    // A long scan says how far it has got and how long it has to go, and can be stopped.
    control<QDoubleSpinBox>(dialog, "spnSeconds")->setValue(60);
    control<QPushButton>(dialog, "cmdStartScan")->click();
    auto* bar = control<QProgressBar>(dialog, "barScan");
    QTRY_VERIFY_WITH_TIMEOUT(bar->text().contains(" s left"), 10000);
    control<QPushButton>(dialog, "cmdStopScan")->click();
    QVERIFY(control<QPushButton>(dialog, "cmdStartScan")->isEnabled());
    QVERIFY2(bar->text().startsWith("Stopped after 1 of 9"), qPrintable(bar->text()));
    control<QDoubleSpinBox>(dialog, "spnSeconds")->setValue(0.5);
    control<QPushButton>(dialog, "cmdStartScan")->click();
    auto* use = control<QPushButton>(dialog, "cmdUseSettings");
    QTRY_VERIFY_WITH_TIMEOUT(use->isEnabled(), 60000);
    QVERIFY2(
        control<QLabel>(dialog, "lblFinding")->text().startsWith("The line runs at 38400,n,8,1"),
        qPrintable(control<QLabel>(dialog, "lblFinding")->text()));
    use->click();
    QVERIFY(s.get<QRadioButton>("opt38400")->isChecked());
    QCOMPARE(s.get<QComboBox>("cboDF")->currentText(), "8N1");
    polls.stop();
    ::close(master);
  }
};

QTEST_MAIN(tst_listenwindow)
#include "tst_listenwindow.moc"
