// The bus monitor's log as a user reads it: searched from the box, rows copied to the clipboard
// as the export writes them, and the menu of a row.
#include "RecordingDialogs.h"
#include "SettingsFiles.h"
#include "core/monitor/LogExport.h"
#include "ui/BusMonitor.h"
#include "ui/LogSearchBar.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

using namespace vantor;
using namespace vantor::test;

namespace {

TrafficEvent event(EventKind kind, const char* hex, int field, const QString& detail = {}) {
  TrafficEvent e;
  e.time = QDateTime(QDate(2026, 12, 6), QTime(23, 14, 11, 123), Qt::UTC);
  e.direction = kind == EventKind::Reply ? Direction::Tx : Direction::Rx;
  e.bytes = QByteArray::fromHex(hex);
  e.kind = kind;
  e.slave = kind == EventKind::Unanswered ? 0 : field;
  e.about = field;
  e.address = field == 2 ? 7 : field;
  e.detail = detail;
  return e;
}

// Polls of fields 1 and 2 (slave 7), their replies, one nobody answered with a detail that CSV
// must quote, and one with a wrong check value.
const std::vector<TrafficEvent> kTraffic{
    event(EventKind::Answered, "010300000001840A", 1),
    event(EventKind::Reply, "010302000A3843", 1),
    event(EventKind::Answered, "070300000001844C", 2),
    event(EventKind::Reply, "070302000B", 2, "value \"11\", as typed"),
    event(EventKind::Unanswered, "070400000001", 2,
          "slave 7 (field 2) is polled with function 04 but configured for 03"),
    event(EventKind::CrcError, "010300000001840B", 0, "expected check value 84 0A"),
};

struct Monitor {
  RecordingDialogs dialogs;
  BusMonitor monitor{dialogs};
  QTableView* view = monitor.findChild<QTableView*>("tblLog");

  Monitor() {
    monitor.record(kTraffic);
    monitor.resize(900, 500);
    monitor.show();
    monitor.activateWindow();  // Ctrl+C is the log's while it has the focus
    QVERIFY2(QTest::qWaitForWindowActive(&monitor), "the monitor's window is not active");
  }
  int selectedRow() const {
    const QModelIndexList rows = view->selectionModel()->selectedRows();
    return rows.size() == 1 ? rows[0].row() : -1;
  }
};

}  // namespace

class tst_logtools : public QObject {
  Q_OBJECT

 private slots:
  // Enter in the box finds the next row whose bytes hold the hex sequence, Shift+Enter the one
  // before; Next error stops at the faults only.
  void searchBoxSelectsMatchingRows() {
    Monitor m;
    QLineEdit* box = m.monitor.search().searchBox();
    QCOMPARE(box->accessibleName(), QString("Search the log"));
    QSignalSpy said(&m.monitor, &BusMonitor::said);
    box->setText("03 00 00 00 01");
    QList<int> found;
    for (const auto modifier :
         {Qt::NoModifier, Qt::NoModifier, Qt::NoModifier, Qt::ShiftModifier}) {
      QTest::keyClick(box, Qt::Key_Return, modifier);
      found << m.selectedRow();
    }
    QCOMPARE(found, (QList<int>{0, 2, 5, 2}));
    box->setText("01 03 02 00 0B");  // field 2's reply is 07 03 02 00 0B
    QVERIFY(!m.monitor.search().findText(true));
    QCOMPARE(said.last().at(0).toString(),
             QString("No row of the log matches \"01 03 02 00 0B\"."));
    QCOMPARE(m.selectedRow(), 2);

    QList<int> errors;
    for (int i = 0; i < 3; ++i) {
      m.monitor.findChild<QPushButton*>("cmdNextError")->click();
      errors << m.selectedRow();
    }
    QCOMPARE(errors, (QList<int>{4, 5, 4}));
  }

  // Ctrl+C puts the rows selected on the clipboard as the CSV export of the same rows: its
  // header, its quoting, its line ends.
  void copiedRowsAreTheExportsCsv() {
    Monitor m;
    QTemporaryDir dir;
    m.dialogs.saveAs = dir.filePath("log.csv");
    QSignalSpy exported(&m.monitor, &BusMonitor::exportFinished);
    m.monitor.findChild<QPushButton*>("cmdExport")->click();
    QVERIFY(exported.wait(5000));
    const QList<QByteArray> lines = fileBytes(m.dialogs.saveAs).split('\n');

    auto* selection = m.view->selectionModel();
    for (const int row : {4, 3})  // selected out of order: copied in the log's
      selection->select(m.view->model()->index(row, 0),
                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    m.view->setFocus();
    QTest::keyClick(m.view, Qt::Key_C, Qt::ControlModifier);
    const QMimeData* copied = QApplication::clipboard()->mimeData();
    QVERIFY(copied);
    const QByteArray expected = lines[0] + '\n' + lines[4] + '\n' + lines[5] + '\n';
    QCOMPARE(copied->data("text/csv"), expected);
    QCOMPARE(copied->text(), QString::fromUtf8(expected));
    QVERIFY(expected.contains("\"value \"\"11\"\", as typed\""));

    QTest::keyClick(m.view, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(m.view, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->mimeData()->data("text/csv"), fileBytes(m.dialogs.saveAs));
  }

  // The menu of a row shows only the slave of that row; a row of no slave has none to show.
  void rowMenuShowsOnlyItsSlave() {
    Monitor m;
    auto* only = m.view->findChild<QAction*>("actShowSlave");
    QVERIFY(m.view->actions().contains(only));
    m.view->setCurrentIndex(m.view->model()->index(5, 0));  // the CRC error: no slave
    QVERIFY(!only->isEnabled());
    m.view->setCurrentIndex(m.view->model()->index(4, 0));  // field 2, unanswered
    QCOMPARE(only->text(), QString("Show only field 2"));
    only->trigger();
    QCOMPARE(m.monitor.findChild<QComboBox*>("cboLogSlave")->currentData().toInt(), 2);
    QCOMPARE(m.view->model()->rowCount(), 3);
  }
};

QTEST_MAIN(tst_logtools)
#include "tst_logtools.moc"
