// Help inside the program: F1 on each window, the keys, About.
#include "AppSession.h"
#include "ui/BenchDialog.h"
#include "ui/Help.h"
#include "ui/ListenViews.h"

#include "VantorVersion.h"

#include <QAction>
#include <QShortcut>
#include <QTextBlock>

using namespace vantor;
using namespace vantor::test;

namespace {

// The heading at the top of the manual's page as it is scrolled now.
QString headingInSight(const ManualWindow* manual) {
  const QTextBlock block = manual->browser()->cursorForPosition(QPoint(20, 4)).block();
  return block.blockFormat().headingLevel() > 0 ? block.text() : "(not a heading) " + block.text();
}

}  // namespace

class tst_documents : public QObject {
  Q_OBJECT

 private slots:
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
