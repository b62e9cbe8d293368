#include "ui/MainWindow.h"

#include "core/settings/IniFile.h"
#include "core/settings/Schema.h"
#include "ui/AnswerAllBox.h"
#include "ui/BusMonitor.h"
#include "ui/ByteDisplays.h"
#include "ui/Dialogs.h"
#include "ui/DisplayPanel.h"
#include "ui/Help.h"
#include "ui/LinePanel.h"
#include "ui/ListenViews.h"
#include "ui/PlotsPanel.h"
#include "ui/PollViews.h"
#include "ui/ReplayViews.h"
#include "ui/SimulatorPanel.h"
#include "ui/StatusLine.h"
#include "ui/WindowParts.h"
#include "ui/config/Config1602Window.h"
#include "ui/config/Config2004Window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollArea>
#include <QSplitter>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace vantor {

namespace {

// "420,280": whole positive numbers, as many as `count`; nothing otherwise.
std::optional<QList<int>> numbersOf(const QString& text, qsizetype count) {
  const QStringList parts = text.split(QRegularExpression(QStringLiteral("[,x]")));
  QList<int> numbers;
  for (const QString& part : parts) {
    const auto n = readNumber(part);  // as every number of the file is read
    if (!n || *n < 1 || *n > 100000) return std::nullopt;
    numbers << int(*n);
  }
  if (numbers.size() != count) return std::nullopt;
  return numbers;
}

QString numbersText(const QList<int>& numbers, const QString& separator) {
  QStringList parts;
  for (int n : numbers) parts << QString::number(n);
  return parts.join(separator);
}

QString stateName(PortSession::State state) {
  switch (state) {
    case PortSession::State::Serving:
      return QObject::tr("serving");
    case PortSession::State::Listening:
      return QObject::tr("listening");
    case PortSession::State::Polling:
      return QObject::tr("polling as the module");
    case PortSession::State::Replaying:
      return QObject::tr("replaying");
    case PortSession::State::Closed:
      break;
  }
  return QObject::tr("disconnected");
}

// What must be read: hidden while there is nothing to say.
QLabel* noticeLabel(QWidget* parent) {
  auto* notice = new QLabel(parent);
  notice->setObjectName(QStringLiteral("lblNotice"));
  notice->setWordWrap(true);
  notice->setTextInteractionFlags(Qt::TextSelectableByMouse);
  notice->hide();
  return notice;
}

// `controls` as wide as the window, scrolled up and down when it is shorter than they are.
QScrollArea* scrollingDown(QWidget* controls, QWidget* parent) {
  auto* area = new QScrollArea(parent);
  area->setObjectName(QStringLiteral("scrollControls"));
  area->setWidget(controls);
  area->setWidgetResizable(true);
  area->setFrameShape(QFrame::NoFrame);
  area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  return area;
}

}  // namespace

MainWindow::MainWindow(IniFile& ini, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), ini_(ini), dialogs_(dialogs) {
  setObjectName(QStringLiteral("frmMain"));
  setWindowTitle(QStringLiteral("Vantor"));
  setFont(windowFont());

  // Waiting for another program's lock on the settings file is said, with a way to give up,
  // and the windows stay drawn meanwhile.
  ini_.setLockWait({std::chrono::seconds(10), std::chrono::seconds(1), [this](qint64 waitedMs) {
                      QWidget* over = QApplication::activeWindow();
                      return dialogs_.waitingForLock(over ? over : this, ini_.lockPath(), waitedMs);
                    }});

  buildLayout();
  // One read of the file for all the window restores.
  const IniSnapshot file = ini_.snapshot();
  line_->restore(file);
  answerAll_->setSettings(readAnswerAll(file));
  restoreGeometry(file);
  showState(PortSession::State::Closed);
  showNotice(file.error());
}

MainWindow::~MainWindow() {
  ini_.setLockWait({});
}

void MainWindow::buildLayout() {
  line_ = new LinePanel(ini_, this);
  simulator_ = new SimulatorPanel(ini_, dialogs_, this);
  pollPlan_ = new PollPlanBox(this);
  pollFields_ = new PollFieldsBox(this);
  answerAll_ = new AnswerAllBox(this);
  bytes_ = new ByteDisplays(this);
  monitor_ = new BusMonitor(dialogs_, this);
  plots_ = new PlotsPanel(dialogs_, this);
  status_ = new StatusLine(this);

  // The controls scroll when the window is shorter than they are (a laptop's screen), and a
  // splitter shares the height between them and the bus monitor, which takes the rest.
  auto* controls = new QWidget;
  auto* column = new QVBoxLayout(controls);
  column->setContentsMargins(0, 0, 0, 0);
  auto* top = new QHBoxLayout;
  top->addWidget(line_, 3, Qt::AlignTop);  // as tall as its settings
  top->addLayout(buildButtons(), 2);
  column->addLayout(top);
  // What must be read stands right under the line and the buttons, above everything else the
  // controls hold, and is scrolled into sight when it comes (the status bar repeats it).
  notice_ = noticeLabel(this);
  column->addWidget(notice_);
  for (QWidget* part : {static_cast<QWidget*>(pollPlan_), static_cast<QWidget*>(pollFields_),
                        static_cast<QWidget*>(simulator_), static_cast<QWidget*>(answerAll_),
                        static_cast<QWidget*>(bytes_)})
    column->addWidget(part);
  column->addStretch(1);
  controlsArea_ = scrollingDown(controls, this);

  // The log and the plots of the same traffic share the room under the controls.
  auto* views = new QTabWidget(this);
  views->setObjectName(QStringLiteral("tabsTraffic"));
  views->addTab(monitor_, tr("Bus monitor"));
  views->addTab(plots_, tr("Plots"));
  split_ = stackedSplit(QStringLiteral("splitMain"), controlsArea_, views, false, this);
  auto* root = new QVBoxLayout(this);
  root->addWidget(split_, 1);
  root->addWidget(status_);
  status_->addPermanentWidget(helpButton(this, dialogs_, ini_));
  giveHelpKey(this, help::kMainWindow);
  acceptBenchDrops(this, [this](const QString& path) { openScenario(path); });

  session_ = new PortSession(
      ini_, dialogs_,
      {line_, simulator_, display_, pollPlan_, pollFields_, monitor_, answerAll_, bytes_, plots_},
      this);
  connectParts();
  orderTabs();

  const int controlsHeight = controls->sizeHint().height();
  controlsArea_->setMinimumWidth(controls->sizeHint().width());
  controlsArea_->setMinimumHeight(120);
  setMinimumSize(controlsArea_->minimumWidth() + 24, 0);
  // At first as tall as all of it, if the screen has room (less its title bar and panels).
  QSize room(1600, 1000);
  if (const QScreen* shown = screen()) room = shown->availableSize() - QSize(40, 80);
  const QSize size = QSize(980, controlsHeight + 380).boundedTo(room);
  resize(size);
  split_->setSizes({std::min(controlsHeight, size.height() / 2), 380});
}

// What each part says reaches the others: the session hears of every change to what the
// slaves answer with, the status bar of what was done.
void MainWindow::connectParts() {
  connect(session_, &PortSession::stateChanged, this, &MainWindow::showState);
  connect(session_, &PortSession::notice, this, &MainWindow::showNotice);
  connect(session_, &PortSession::opened, this,
          [this](const QString& device, const LineSettings& settings) {
            status_->showPort(tr("Port %1: %2").arg(line_->chosenPort()).arg(device));
            status_->showLine(formatLineSettings(settings));
          });
  connect(simulator_, &SimulatorPanel::planChanged, session_, &PortSession::updatePlan);
  connect(simulator_, &SimulatorPanel::said, status_, &StatusLine::say);
  connect(simulator_, &SimulatorPanel::scenarioChanged, status_, &StatusLine::showScenario);
  connect(answerAll_, &AnswerAllBox::changed, session_, &PortSession::updatePlan);
  connect(monitor_, &BusMonitor::echoFilterToggled, session_, &PortSession::updatePlan);
  connect(monitor_, &BusMonitor::said, status_, &StatusLine::say);
  connect(plots_, &PlotsPanel::said, status_, &StatusLine::say);
  // Paused with the log: the plots say so at once, not at the next poll.
  connect(monitor_->findChild<QPushButton*>(QStringLiteral("cmdPause")), &QPushButton::toggled,
          plots_, &PlotsPanel::setPaused);
  connect(line_, &LinePanel::enterPressed, this, [this] {
    if (connectButton_->isEnabled()) connectButton_->click();
  });
  connect(line_, &LinePanel::moduleChanged, this, &MainWindow::showChosenModule);
  connect(line_, &LinePanel::devicesChanged, this,
          [this](const QString& said) { showNotice(said, false); });
}

// Connect and Listen, Configure LCD and Find line settings, two by two; under them, in sight
// at the top of the window, what the module shows of the slaves' answers.
QLayout* MainWindow::buildButtons() {
  connectButton_ = namedButton(QStringLiteral("cmdConnect"), QStringLiteral("Connect"), this);
  configureButton_ =
      namedButton(QStringLiteral("cmdCfgLcd"), QStringLiteral("Configure LCD"), this);
  listenButton_ = namedButton(QStringLiteral("cmdListen"), tr("Listen"), this);
  listenButton_->setToolTip(tr("Hear the line without answering: nothing is written to it"));
  findButton_ = namedButton(QStringLiteral("cmdFindSettings"), tr("Find line settings"), this);
  pollButton_ = namedButton(QStringLiteral("cmdPoll"), tr("Poll as module"), this);
  pollButton_->setToolTip(
      tr("Poll the field devices as the chosen module would, from its saved "
         "configuration"));
  for (auto* button : {connectButton_, configureButton_, listenButton_, findButton_, pollButton_})
    button->setMinimumSize(120, 32);
  giveAccessKey(pollButton_, Qt::Key_M);
  replayButton_ = namedButton(QStringLiteral("cmdReplay"), tr("Replay..."), this);
  replayButton_->setToolTip(
      tr("Play a recorded line back: answer the module as its slaves did, "
         "or poll the field devices as its master did"));
  replayButton_->setMinimumSize(120, 32);
  giveAccessKey(replayButton_, Qt::Key_A);
  connect(replayButton_, &QPushButton::clicked, this, [this] {
    if (session_->state() == PortSession::State::Replaying) {
      session_->close();
      return;
    }
    auto* dialog = new ReplayDialog(dialogs_, {}, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &ReplayDialog::chosen, session_, &PortSession::replay);
    dialog->open();
  });
  connect(pollButton_, &QPushButton::clicked, this, [this] {
    if (session_->state() == PortSession::State::Polling)
      session_->close();
    else
      session_->poll();
  });
  giveAccessKey(connectButton_, Qt::Key_C);
  giveAccessKey(configureButton_, Qt::Key_L);
  giveAccessKey(listenButton_, Qt::Key_I);
  giveAccessKey(findButton_, Qt::Key_F);
  connect(connectButton_, &QPushButton::clicked, this, &MainWindow::connectClicked);
  connect(configureButton_, &QPushButton::clicked, this, &MainWindow::configureLcdClicked);
  connect(listenButton_, &QPushButton::clicked, this, &MainWindow::listenClicked);
  connect(findButton_, &QPushButton::clicked, this, &MainWindow::findSettingsClicked);

  auto* grid = new QGridLayout;
  grid->addWidget(connectButton_, 0, 0);
  grid->addWidget(listenButton_, 0, 1);
  grid->addWidget(pollButton_, 0, 2);
  grid->addWidget(configureButton_, 1, 0);
  grid->addWidget(findButton_, 1, 1);
  grid->addWidget(replayButton_, 1, 2);
  display_ = new DisplayPanel(this);
  auto* buttons = new QVBoxLayout;
  buttons->addLayout(grid);
  buttons->addWidget(display_);
  buttons->addStretch();
  return buttons;
}

// Tab goes the way one reads: the settings, the buttons, each slave's controls as they stand
// in its quadrant, then the bus monitor.
void MainWindow::orderTabs() {
  QList<QWidget*> order = line_->tabOrder();
  order << connectButton_ << listenButton_ << pollButton_ << configureButton_ << findButton_
        << replayButton_;
  order << simulator_->tabOrder() << answerAll_->tabOrder();
  for (qsizetype k = 1; k < order.size(); ++k) setTabOrder(order[k - 1], order[k]);
  setTabOrder(order.back(), monitor_->firstInTabOrder());
}

// The size and splits the window was left with, never larger than the screen it opens on
// (a size kept on a larger screen, or at another scale, would cut off its buttons); what the
// file does not hold keeps the first layout.
void MainWindow::restoreGeometry(const IniSnapshot& file) {
  using namespace ini::window;
  const auto value = [&file](const char* key) {
    return file.value(QLatin1String(kSection), QLatin1String(key));
  };
  if (const auto size = numbersOf(value(kSize), 2)) resize((*size)[0], (*size)[1]);
  if (const auto split = numbersOf(value(kMainSplit), 2)) split_->setSizes(*split);
  if (const auto split = numbersOf(value(kMonitorSplit), 2)) monitor_->setSplitSizes(*split);
  fitToScreen(this);
}

void MainWindow::setDeviceFolder(const QString& folder) {
  line_->setDeviceFolder(folder);
}

bool MainWindow::isConnected() const {
  return session_->state() == PortSession::State::Serving;
}

bool MainWindow::isListening() const {
  return session_->state() == PortSession::State::Listening;
}

void MainWindow::setFault(int slave, const Fault& fault) {
  simulator_->setFault(slave, fault);
}

void MainWindow::setSweep(int slave, const std::optional<Sweep>& sweep) {
  simulator_->setSweep(slave, sweep);
}

void MainWindow::openScenario(const QString& path) {
  if (isConnected()) {
    simulator_->openScenario(path);
    return;
  }
  // Read now for the saved configuration of the module chosen, so that a file that cannot be
  // set is said at once; set at Connect over what it loads.
  const SlaveTableLoad saved =
      line_->twoLine() ? loadSlaveTable1602(ini_) : loadSlaveTable2004(ini_);
  if (simulator_->openAtNextConnect(path, line_->module(), saved.table))
    showNotice(tr("The bench %1 will be set at the next Connect.").arg(path), false);
}

void MainWindow::connectClicked() {
  if (session_->state() != PortSession::State::Closed)
    session_->close();
  else
    session_->serve();
}

void MainWindow::listenClicked() {
  if (session_->state() == PortSession::State::Listening)
    session_->close();
  else
    session_->listen();
}

void MainWindow::configureLcdClicked() {
  const int port = line_->chosenPort();
  session_->close();
  if (line_->twoLine()) {
    if (!config1602Window_) config1602Window_ = std::make_unique<Config1602Window>(ini_, dialogs_);
    config1602Window_->showWindow(port);
  } else {
    if (!config2004Window_) config2004Window_ = std::make_unique<Config2004Window>(ini_, dialogs_);
    config2004Window_->showWindow(port);
  }
}

void MainWindow::findSettingsClicked() {
  const int port = line_->chosenPort();
  auto* dialog = new LineScanDialog(
      [this, port](const LineSettings& settings) { return session_->lineAt(port, settings); },
      this);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  connect(dialog, &LineScanDialog::settingsChosen, line_, &LinePanel::choose);
  // The port is the dialog's while it listens.
  scanning_ = true;
  showState(session_->state());
  connect(dialog, &QDialog::finished, this, [this] {
    scanning_ = false;
    showState(session_->state());
  });
  dialog->open();
}

// Buttons and frames as the port's state has them: the line cannot change while the port is
// open, the simulator takes input only while it serves, and the poll plan takes its place
// while listening (and stays to be read after, above it).
void MainWindow::showState(PortSession::State state) {
  const bool serving = state == PortSession::State::Serving;
  const bool listening = state == PortSession::State::Listening;
  const bool polling = state == PortSession::State::Polling;
  const bool closed = state == PortSession::State::Closed;
  connectButton_->setText(serving ? QStringLiteral("Disconnect") : QStringLiteral("Connect"));
  listenButton_->setText(listening ? tr("Stop listening") : tr("Listen"));
  pollButton_->setText(polling ? tr("Stop polling") : tr("Poll as module"));
  const bool replaying = state == PortSession::State::Replaying;
  replayButton_->setText(replaying ? tr("Stop replay") : tr("Replay..."));
  replayButton_->setEnabled((closed || replaying) && !scanning_);
  connectButton_->setEnabled((closed || serving) && !scanning_);
  listenButton_->setEnabled((closed || listening) && !scanning_);
  pollButton_->setEnabled((closed || polling) && !scanning_);
  findButton_->setEnabled(closed && !scanning_);
  configureButton_->setEnabled(serving);
  line_->setEnabled(closed && !scanning_);
  simulator_->setEnabled(serving);
  simulator_->setVisible(!listening && !polling && !replaying);
  answerAll_->setVisible(!listening && !polling && !replaying);
  // Nothing is served while listening, polling or replaying as the master: the serving
  // counters stand aside.
  monitor_->setListening(listening || polling || session_->replaysAsMaster());
  // What listening or polling found stays to be read once it stops, until the next.
  if (listening) pollPlan_->show();
  if (polling) pollFields_->show();
  if (serving || polling || replaying) pollPlan_->hide();
  if (serving || listening || replaying) pollFields_->hide();
  if (closed) {
    showNotice({});
    showChosenModule();
  }
  status_->showState(scanning_ ? tr("scanning") : stateName(state));
  if (closed && !scanning_) {
    const int port = line_->chosenPort();
    const QString device = line_->devicePath(port);
    status_->showPort(port < 1           ? tr("no port chosen")
                      : device.isEmpty() ? tr("Port %1").arg(port)
                                         : tr("Port %1: %2").arg(port).arg(device));
    status_->showLine(formatLineChoice(line_->lineChoice()));
  }
  status_->showModule(line_->twoLine() ? QStringLiteral("KV-216") : QStringLiteral("KV-420"));
}

void MainWindow::showChosenModule() {
  status_->showModule(line_->twoLine() ? QStringLiteral("KV-216") : QStringLiteral("KV-420"));
  if (session_->state() != PortSession::State::Closed) return;
  // The saved configuration of the module chosen, its fields not polled yet.
  const SlaveTableLoad load =
      line_->twoLine() ? loadSlaveTable1602(ini_) : loadSlaveTable2004(ini_);
  display_->showConfiguration(load, false);
}

void MainWindow::showNotice(const QString& text, bool warns, const QString& details) {
  notice_->setText(text);
  notice_->setToolTip(details);
  if (warns)
    markText(notice_, Mark::Failure);
  else
    notice_->setPalette(QPalette());
  notice_->setVisible(!text.isEmpty());
  // The status bar never repeats a notice that no longer holds.
  status_->say(text);
  if (text.isEmpty()) return;
  QTimer::singleShot(0, this, [this] { controlsArea_->ensureWidgetVisible(notice_); });
}

void MainWindow::closeEvent(QCloseEvent* event) {
  using namespace ini;
  std::vector<IniEntry> entries = line_->entries();
  entries.push_back(textEntry(window::kSection, QLatin1String(window::kSize),
                              numbersText({width(), height()}, QStringLiteral("x"))));
  entries.push_back(textEntry(window::kSection, QLatin1String(window::kMainSplit),
                              numbersText(split_->sizes(), QStringLiteral(","))));
  entries.push_back(textEntry(window::kSection, QLatin1String(window::kMonitorSplit),
                              numbersText(monitor_->splitSizes(), QStringLiteral(","))));
  simulator_->appendKeptValues(entries);
  answerAll_->appendChanges(entries);
  QString error;
  while (!ini_.save(entries, &error) &&
         dialogs_.askRetry(this, tr("The settings were not saved to %1.").arg(ini_.filePath()),
                           error)) {
  }
  session_->close();
  event->accept();
}

}  // namespace vantor
