// Bench scenarios opened as documents (named on the command line, dropped on the window, from
// the recent list) and help inside the program (F1 on each window, the keys, About).
#include "AppSession.h"
#include "ui/BenchDialog.h"
#include "ui/Help.h"
#include "ui/ListenViews.h"

#include "VantorVersion.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMimeData>
#include <QShortcut>
#include <QTextBlock>

#include <functional>

using namespace vantor;
using namespace vantor::test;

namespace {

const Poll kPoll{1, 3, 0, 0};

QString scenario(const QString& folder, const QString& name, const QString& value) {
  const QString path = folder + '/' + name;
  const QString json = R"({"vantor-bench": 1, "module": "1602", "slaves": {"1": {"value": "%1"}}})";
  if (!writeFileBytes(path, json.arg(value).toUtf8())) qFatal("cannot write %s", qPrintable(path));
  return path;
}

// A file manager's drop of `path` on `window`; whether the window took it.
bool drop(QWidget* window, const QString& path) {
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(path)});
  const QPoint at = window->rect().center();
  QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window, &enter);
  if (!enter.isAccepted()) return false;
  QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window, &dropped);
  return dropped.isAccepted();
}

// The heading at the top of the manual's page as it is scrolled now.
QString headingInSight(const ManualWindow* manual) {
  const QTextBlock block = manual->browser()->cursorForPosition(QPoint(20, 4)).block();
  return block.blockFormat().headingLevel() > 0 ? block.text() : "(not a heading) " + block.text();
}

}  // namespace

class tst_documents : public QObject {
  Q_OBJECT

 private slots:
  // A scenario named before Connect (on the command line, or dropped on the window) is read at
  // once, said, and set at Connect; dropped while connected, it is set at once.
  void scenarioOpenedBeforeConnect_data() {
    QTest::addColumn<bool>("dropped");
    QTest::newRow("named on the command line") << false;
    QTest::newRow("dropped on the window") << true;
  }
  void scenarioOpenedBeforeConnect() {
    QFETCH(bool, dropped);
    AppSession s;
    storePoll(s.ini, "Cfg1602", "", kPoll);
    s.choosePort(2, "9600,n,8,1", "1602");
    s.start();
    const QString first = scenario(s.folder(), "first.vbench", "0x1234");
    const std::function<void(const QString&)> open = [&](const QString& path) {
      if (dropped)
        QVERIFY(drop(s.main.get(), path));
      else
        s.main->openScenario(path);
    };
    open(first);
    QCOMPARE(s.get<QLabel>("lblNotice")->text(),
             "The bench " + first + " will be set at the next Connect.");
    s.connect();
    QCOMPARE(s.get<QLabel>("lblScenario")->toolTip(), first);
    ModbusMaster master(s.pty.masterFd(), 500);
    QCOMPARE(readValue(master, kPoll), std::optional<quint32>(0x1234));

    const QString second = scenario(s.folder(), "second.vbench", "0x0042");
    open(second);
    QCOMPARE(readValue(master, kPoll), std::optional<quint32>(0x0042));
    QVERIFY(!drop(s.main.get(), s.folder() + "/modlcd.ini"));
    QVERIFY2(s.dialogs.boxes.isEmpty(), qPrintable(s.dialogs.texts().join('|')));
  }

  // Open bench keeps the last eight scenarios, newest first and each once, and the folder of
  // the last; a file it refuses is not one of them.
  void recentBenchesNewestFirst() {
    AppSession s;
    storePoll(s.ini, "Cfg1602", "", kPoll);
    s.choosePort(2, "9600,n,8,1", "1602");
    s.start();
    s.connect();
    QTemporaryDir benches;
    QStringList files;
    for (int n = 0; n < 9; ++n)
      files << scenario(benches.path(), QString("b%1.vbench").arg(n), QString::number(n));
    for (const QString& file : files + QStringList{files[3]}) {
      s.dialogs.openPath = file;
      s.press("openBench");
    }
    s.dialogs.openPath = s.folder() + "/other.vbench";
    writeFileBytes(s.dialogs.openPath, R"({"vantor-bench": 1, "module": "2004", "slaves": {}})");
    s.press("openBench");
    QCOMPARE(s.dialogs.texts(), QStringList{"The bench was not opened."});

    const QStringList expected{files[3], files[8], files[7], files[6],
                               files[5], files[4], files[2], files[1]};
    QStringList kept;
    for (int n = 1; n <= 9; ++n) kept << s.ini.read("Bench", QString("Recent%1").arg(n));
    QCOMPARE(kept, expected + QStringList{""});
    QCOMPARE(s.ini.read("Bench", "Folder"), benches.path());
    auto* menu = s.main->findChild<QMenu*>("mnuRecentBench");
    emit menu->aboutToShow();
    QStringList offered;
    for (const QAction* entry : menu->actions()) offered << entry->data().toString();
    QCOMPARE(offered, expected);
    menu->actions()[1]->trigger();
    QCOMPARE(s.ini.read("Bench", "Recent1"), files[8]);
  }

  // F1 on each window opens the manual at that window's own section.
  void f1OpensTheWindowsSection_data() {
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("heading");
    QTest::newRow("main window") << "main"
                                 << "Using the simulator";
    QTest::newRow("two-line configuration") << "1602"
                                            << "Configuring a module";
    QTest::newRow("four-line configuration") << "2004"
                                             << "Configuring a module";
    QTest::newRow("Find line settings") << "scan"
                                        << "Find line settings";
    QTest::newRow("a slave's faults") << "faults"
                                      << "Bench controls: faults, delays, typed values, sweeps";
  }
  void f1OpensTheWindowsSection() {
    QFETCH(QString, window);
    AppSession s;
    std::unique_ptr<QWidget> own;
    if (window == "1602")
      own = std::make_unique<Config1602Window>(s.ini, s.dialogs);
    else if (window == "2004")
      own = std::make_unique<Config2004Window>(s.ini, s.dialogs);
    else if (window == "scan")
      own = std::make_unique<LineScanDialog>([](const LineSettings&) { return ServeLine{}; },
                                             nullptr);
    else if (window == "faults")
      own =
          std::make_unique<BenchDialog>("Slave 1 (field 1)", TypedFormat{}, Fault{}, std::nullopt);
    QWidget* shown = own ? own.get() : &s.start();
    shown->show();
    shown->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(shown));
    QTest::keyClick(shown, Qt::Key_F1);
    auto* manual = shown->findChild<ManualWindow*>();
    QVERIFY(manual && manual->isVisible());
    QVERIFY(manual->browser()->source().toLocalFile().endsWith("docs/manual.md"));
    QFETCH(QString, heading);
    QTRY_COMPARE(headingInSight(manual), heading);
  }

  // Every key the main window answers to is in the list of keys; About names the version and
  // the settings file in use.
  void keysAndAbout() {
    AppSession s;
    s.start();
    QList<QKeySequence> listed;
    for (const KeyRow& row : keyRows()) listed << row.keys;
    QStringList unlisted;
    const auto check = [&](const QKeySequence& key) {
      if (!key.isEmpty() && !listed.contains(key)) unlisted << key.toString();
    };
    for (const QShortcut* shortcut : s.main->findChildren<QShortcut*>()) check(shortcut->key());
    for (const QAction* action : s.main->findChildren<QAction*>()) check(action->shortcut());
    for (const QAbstractButton* button : s.main->findChildren<QAbstractButton*>())
      check(button->shortcut());  // a caption's &-key
    QVERIFY2(unlisted.isEmpty(), qPrintable(unlisted.join(", ")));

    s.main->findChild<QAction*>("actAbout")->trigger();
    QCOMPARE(s.dialogs.texts(), QStringList{QString("Vantor ") + kVersion});
    QVERIFY(s.dialogs.boxes[0].detail.contains(QDir::toNativeSeparators(s.ini.filePath())));
  }
};

QTEST_MAIN(tst_documents)
#include "tst_documents.moc"
