// Makes the README's screenshots from the real windows: a pseudo-terminal as the serial line,
// complete configurations of both modules in a settings file of its own, and a libmodbus
// master polling every slave, so that the windows show real traffic. Run by
// scripts/screenshots on a virtual display.
//
//   vantor-screenshots OUTDIR [--dark] [--screen]
//
// --screen takes the whole screen, each window placed as it opens on it (the main window
// filling it), to show how they fit a small one: run it on a 1280x720 display, or on a
// 1366x768 one at a scale factor of 2.
#include "AppSession.h"
#include "core/modbus/Crc16.h"
#include "core/simulator/Faults.h"
#include "ui/BenchDialog.h"
#include "ui/BusMonitor.h"
#include "ui/PlotsPanel.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPalette>
#include <QPixmap>
#include <QScreen>
#include <QSplitter>
#include <QStyleFactory>
#include <QTabWidget>
#include <QTimer>

#include <cstdio>

using namespace vantor;
using namespace vantor::test;

namespace {

// A dark palette on the Fusion style, as many desktops set one.
void useDarkPalette() {
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  QPalette p;
  const QColor window(0x2B, 0x2B, 0x2B), base(0x1E, 0x1E, 0x1E), text(0xE8, 0xE8, 0xE8);
  p.setColor(QPalette::Window, window);
  p.setColor(QPalette::WindowText, text);
  p.setColor(QPalette::Base, base);
  p.setColor(QPalette::AlternateBase, QColor(0x35, 0x35, 0x35));
  p.setColor(QPalette::Text, text);
  p.setColor(QPalette::Button, QColor(0x3A, 0x3A, 0x3A));
  p.setColor(QPalette::ButtonText, text);
  p.setColor(QPalette::ToolTipBase, window);
  p.setColor(QPalette::ToolTipText, text);
  p.setColor(QPalette::Highlight, QColor(0x2A, 0x82, 0xDA));
  p.setColor(QPalette::HighlightedText, Qt::white);
  p.setColor(QPalette::Link, QColor(0x80, 0xB8, 0xFF));
  for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
    p.setColor(QPalette::Disabled, role, QColor(0x80, 0x80, 0x80));
  QApplication::setPalette(p);
}

void configure(AppSession& s) {
  const QList<std::pair<QString, QString>> cfg1602 = {{"CSet", "9600,n,8,1"},
                                                      {"Interval", "10"},
                                                      {"Saddr", "1"},
                                                      {"RHigh", "0"},
                                                      {"RLow", "0"},
                                                      {"Fcode", "3"},
                                                      {"Dwidth1", "5"},
                                                      {"DP1", "1"},
                                                      {"SP1", "10"},
                                                      {"DT", "1"},
                                                      {"UDT1", "Boiler T:      C"},
                                                      {"UDT2", "  Set point 60 C"}};
  for (const auto& [key, value] : cfg1602) s.set("Cfg1602", key, value);
  const QList<std::pair<QString, QString>> cfg2004 = {
      {"CSet", "19200,n,8,1"},          {"Interval", "5"},
      {"UDT1", "Boiler T:        C"},   {"UDT2", "Pressure:        bar"},
      {"UDT3", "Flow:           m3/h"}, {"UDT4", "Level:           %"}};
  for (const auto& [key, value] : cfg2004) s.set("Cfg2004", key, value);
  const Poll polls[] = {{1, 3, 0, 1}, {2, 3, 16, 0}, {3, 4, 32, 4}, {4, 3, 48, 0}};
  const int decimals[] = {1, 2, 1, 0};
  for (int k = 0; k < 4; ++k) {
    storePoll(s.ini, "Cfg2004", QString::number(k + 1), polls[k]);
    s.set("Cfg2004", QStringLiteral("DP%1").arg(k + 1), QString::number(decimals[k]));
    s.set("Cfg2004", QStringLiteral("DWidth%1").arg(k + 1), QStringLiteral("6"));
    s.set("Cfg2004", QStringLiteral("SP%1").arg(k + 1), QStringLiteral("10"));
  }
  s.set("Settings", "AF", "4");
}

bool wholeScreen = false;

// The main window as a technician has it: filling a small screen, or at a laptop's size.
void sizeMainWindow(QWidget& main) {
  if (wholeScreen)
    main.setGeometry(main.screen()->availableGeometry());
  else
    main.resize(1300, 700);  // a laptop's 1366x768 screen, less the title bar and the panel
}

bool save(QWidget& window, const QString& path) {
  QCoreApplication::processEvents();
  QPixmap shot;
  if (wholeScreen) {
    window.raise();
    window.activateWindow();
    QTest::qWait(300);
    shot = window.screen()->grabWindow(0);
  } else {
    shot = window.grab();
  }
  const bool ok = shot.save(path);
  std::printf("%s: %dx%d\n", qPrintable(path), window.width(), window.height());
  return ok;
}

// Listening to a module that polls four slaves, one of which answers with an exception and one
// not at all; then Find line settings on the same line.
bool listening(AppSession& s, const QString& out) {
  s.main->close();
  s.set("LCD", "Module", "2004");
  MainWindow& main = s.start();
  sizeMainWindow(main);
  s.press(QStringLiteral("cmdListen"));
  const auto hex = [](const char* body) { return withCheckValue(QByteArray::fromHex(body)); };
  const QByteArray exchanges[][2] = {
      {hex("010300000001"), hex("010302FF83")},
      {hex("020300100002"), hex("02030400000B1A")},
      {hex("030400200001"), hex("038402")},
      {hex("040300300001"), {}},
  };
  for (int round = 0; round < 5; ++round) {
    for (const auto& [request, reply] : exchanges) {
      s.pty.write(request);
      QTest::qWait(15);
      if (!reply.isEmpty()) s.pty.write(reply);
      QTest::qWait(110);
    }
  }
  QTest::qWait(300);
  bool ok = save(main, out + QStringLiteral("/listening.png"));
  s.press(QStringLiteral("cmdListen"));
  s.press(QStringLiteral("cmdFindSettings"));
  auto* dialog = main.findChild<QDialog*>(QStringLiteral("frmFindSettings"));
  control<QDoubleSpinBox>(dialog, QStringLiteral("spnSeconds"))->setValue(0.5);
  QTimer polls;
  QObject::connect(&polls, &QTimer::timeout, [&] { s.pty.write(exchanges[0][0]); });
  polls.start(100);
  control<QPushButton>(dialog, QStringLiteral("cmdStartScan"))->click();
  auto* start = control<QPushButton>(dialog, QStringLiteral("cmdStartScan"));
  ok = QTest::qWaitFor([&] { return start->isEnabled(); }, 30000) && ok;
  return save(*dialog, out + QStringLiteral("/find-line-settings.png")) && ok;
}

// The plots while the master goes on polling every 500 ms as configured: field 1 sweeps a
// ramp, field 2 keeps silent at every second poll, field 3's replies come 20 to 120 ms late;
// two rounds come late and the master pauses for 3.5 s half-way.
bool plots(AppSession& s, ModbusMaster& master, const Poll (&polls)[4], const QString& out) {
  MainWindow& main = *s.main;
  main.setSweep(1, Sweep::ramp(-50, 600, 25));
  main.setFault(2, Fault{FaultKind::Silent, 6, 0, 0, 2});
  main.setFault(3, Fault{FaultKind::None, 6, 20, 120, 1});
  QElapsedTimer clock;
  clock.start();
  qint64 next = 0;
  // Each slave at its own moment of the round, after the one before has had its time (a
  // silent slave's 200 ms, a delayed reply's 120 ms), so that its interval is the round's.
  const int offsets[] = {0, 100, 330, 460};
  for (int round = 0; round < 30; ++round) {
    for (int k = 0; k < 4; ++k) {
      while (clock.elapsed() < next + offsets[k]) QTest::qWait(5);
      readValue(master, polls[k]);
    }
    next += round == 14 ? 4000 : round % 9 == 4 ? 800 : 500;
  }
  main.setSweep(1, std::nullopt);
  main.setFault(2, {});
  main.setFault(3, {});
  // As a user reading the plots has it: the splitter dragged up to give them the room.
  auto* split = control<QSplitter>(&main, QStringLiteral("splitMain"));
  const QList<int> sizes = split->sizes();
  split->setSizes({sizes[0] / 3, sizes[1] + sizes[0] - sizes[0] / 3});
  control<QTabWidget>(&main, QStringLiteral("tabsTraffic"))
      ->setCurrentWidget(control<PlotsPanel>(&main, QStringLiteral("fPlots")));
  QTest::qWait(2 * PlotsPanel::kRedrawMs);
  const bool ok = save(main, out + QStringLiteral("/plots.png"));
  control<QTabWidget>(&main, QStringLiteral("tabsTraffic"))->setCurrentIndex(0);
  split->setSizes(sizes);
  return ok;
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs");
  if (app.arguments().contains(QStringLiteral("--dark"))) useDarkPalette();
  wholeScreen = app.arguments().contains(QStringLiteral("--screen"));
  QDir().mkpath(out);

  AppSession s;
  configure(s);
  s.choosePort(1, "9600,n,8,1", "2004");
  MainWindow& main = s.start();
  s.connect();
  const char* typed[] = {"-12.5", "4.11", "1234.5", "78"};
  for (int slave = 1; slave <= 4; ++slave) {
    auto* box = s.get<QLineEdit>(QStringLiteral("txtValue%1").arg(slave));
    box->setText(QString::fromLatin1(typed[slave - 1]));
    QMetaObject::invokeMethod(box, "editingFinished");
  }
  main.setFault(4, Fault{FaultKind::Exception, 6, 0, 0, 5});
  sizeMainWindow(main);

  // Real polls, every slave once in each of the configured 500 ms: as the module polls. Then
  // an address nobody simulates, and a broken check value.
  ModbusMaster master(s.pty.masterFd(), 200);
  const Poll polls[] = {{1, 3, 0, 1}, {2, 3, 16, 0}, {3, 4, 32, 4}, {4, 3, 48, 0}};
  int answered = 0;
  QElapsedTimer clock;
  clock.start();
  for (int round = 0; round < 6; ++round) {
    for (const Poll& p : polls) answered += readValue(master, p).has_value();
    while (clock.elapsed() < 500 * (round + 1)) QTest::qWait(5);
  }
  readValue(master, {9, 3, 0, 0});
  s.pty.write(QByteArray::fromHex("010300000001840B"));
  QTest::qWait(300);
  serve([&] { return readValue(master, polls[0]).has_value(); });
  QTest::qWait(300);  // the window takes what happened in batches
  if (answered < 22) {
    std::fprintf(stderr, "the simulator answered %d of 24 polls\n", answered);
    return 1;
  }
  bool ok = save(main, out + QStringLiteral("/main-window.png"));
  ok = plots(s, master, polls, out) && ok;

  // Slave 4's bench controls as its Faults... button opens them.
  BenchDialog bench(QStringLiteral("Slave 4 (field 4)"), {DataType::Unsigned, 0},
                    Fault{FaultKind::Exception, 6, 50, 150, 5}, Sweep::ramp(0, 100, 10));
  bench.show();
  ok = save(bench, out + QStringLiteral("/faults-dialog.png")) && ok;
  bench.close();

  s.dialogs.answers = {false, false};
  s.press(QStringLiteral("cmdCfgLcd"));
  ok = save(s.lcdWindow(), out + QStringLiteral("/config-2004.png")) && ok;
  s.closeLcd(false);

  s.main->close();
  s.set("LCD", "Module", "1602");
  s.start();
  s.connect();
  s.press(QStringLiteral("cmdCfgLcd"));
  ok = save(s.lcdWindow(), out + QStringLiteral("/config-1602.png")) && ok;
  s.closeLcd(false);
  ok = listening(s, out) && ok;
  return ok ? 0 : 1;
}
