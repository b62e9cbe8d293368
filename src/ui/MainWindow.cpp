#include "ui/MainWindow.h"

#include "core/modbus/HexText.h"
#include "core/modbus/LineSettings.h"
#include "core/settings/IniFile.h"
#include "core/settings/Schema.h"
#include "serial/PollServer.h"
#include "serial/PortMap.h"
#include "ui/AnswerAllBox.h"
#include "ui/BenchDialog.h"
#include "ui/BusMonitor.h"
#include "ui/Dialogs.h"
#include "ui/LcdView.h"
#include "ui/WindowParts.h"
#include "ui/config/Config1602Window.h"
#include "ui/config/Config2004Window.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QScreen>
#include <QRegularExpression>
#include <QScrollArea>
#include <QSplitter>
#include <QKeyEvent>
#include <QVBoxLayout>

namespace vantor {

namespace {

constexpr int kPortCount = 20;

// What the module made of its last poll of a field: the value, when the reply carried it
// as it should; else nothing, and why.
FieldReading readingOf(const Exchange& x) {
  if (!x.note.isEmpty()) return {std::nullopt, x.note};  // a fault changed or kept the reply
  if (!x.sendError.isEmpty()) return {std::nullopt, QStringLiteral("reply not sent")};
  if (x.verdict == Verdict::Answered && x.value && !x.sent.isEmpty()) return {x.value, {}};
  if (x.verdict == Verdict::NoValueChosen)
    return {std::nullopt, QStringLiteral("no reply: no value chosen")};
  return {std::nullopt, QStringLiteral("no reply: the poll differs from the saved configuration")};
}

QLabel* namedLabel(const QString& name, const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  return label;
}

QComboBox* namedCombo(const QString& name, QWidget* parent) {
  auto* combo = new QComboBox(parent);
  combo->setObjectName(name);
  return combo;
}

QFrame* separator(const QString& name, QFrame::Shape shape, QWidget* parent) {
  auto* frame = new QFrame(parent);
  frame->setObjectName(name);
  frame->setFrameShape(shape);
  frame->setFrameShadow(QFrame::Sunken);
  return frame;
}

// A stored port number, read as every number of the file is: 0..20 (0: none chosen); anything
// else gives nothing.
std::optional<int> storedPortNumber(const QString& text) {
  const auto value = readNumber(text);
  if (!value || *value < 0 || *value > kPortCount) return std::nullopt;
  return int(*value);
}

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

}  // namespace

MainWindow::MainWindow(IniFile& ini, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), ini_(ini), dialogs_(dialogs) {
  setObjectName(QStringLiteral("frmMain"));
  setWindowTitle(QStringLiteral("Vantor"));
  setFont(windowFont());

  server_ = new PollServer(this);
  server_->setObjectName(QStringLiteral("MSComm1"));
  connect(server_, &PollServer::events, this, &MainWindow::onServed);

  // Waiting for another program's lock on the settings file is said, with a way to give up,
  // and the windows stay drawn meanwhile.
  ini_.setLockWait({std::chrono::seconds(10), std::chrono::seconds(1), [this](qint64 waitedMs) {
                      QWidget* over = QApplication::activeWindow();
                      return dialogs_.waitingForLock(over ? over : this, ini_.lockPath(), waitedMs);
                    }});

  buildLayout();
  load();
}

MainWindow::~MainWindow() {
  ini_.setLockWait({});
}

void MainWindow::buildLayout() {
  // The controls scroll when the window is shorter than they are (a laptop's screen), and a
  // splitter shares the height between them and the bus monitor, which takes the rest.
  auto* controls = new QWidget;
  auto* column = new QVBoxLayout(controls);
  column->setContentsMargins(0, 0, 0, 0);
  column->addLayout(buildCommSettings());
  column->addWidget(buildPollPlan());
  column->addWidget(buildSimulator());
  answerAll_ = new AnswerAllBox(controls);
  connect(answerAll_, &AnswerAllBox::changed, this, &MainWindow::updatePlan);
  column->addWidget(answerAll_);
  column->addLayout(buildByteDisplays());
  column->addWidget(buildNotice());
  column->addStretch(1);
  controlsArea_ = new QScrollArea(this);
  controlsArea_->setObjectName(QStringLiteral("scrollControls"));
  controlsArea_->setWidget(controls);
  controlsArea_->setWidgetResizable(true);
  controlsArea_->setFrameShape(QFrame::NoFrame);
  controlsArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

  monitor_ = new BusMonitor(dialogs_, this);
  connect(monitor_, &BusMonitor::echoFilterToggled, this, &MainWindow::updatePlan);

  split_ = stackedSplit(QStringLiteral("splitMain"), controlsArea_, monitor_, false, this);
  auto* root = new QVBoxLayout(this);
  root->addWidget(split_);
  orderTabs();
  makeConnectTheDefault();

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

// Tab goes the way one reads: the settings, the two buttons, each slave's controls as they
// stand in its quadrant, then the bus monitor.
void MainWindow::orderTabs() {
  QList<QWidget*> order{baudButtons_[0], dataFormatList_,  portList_,  moduleList_,
                        connectButton_,  listenButton_,    configureButton_, findButton_};
  for (std::size_t i = 0; i < kSlaveCount; ++i) {
    auto& lists = valueLists_[i];
    order << lists[2] << lists[1] << lists[0] << typedValues_[i] << benchButtons_[i];
  }
  for (const char* name : {"saveBench", "openBench"})
    order << findChild<QPushButton*>(QLatin1String(name));
  order << answerAll_->tabOrder();
  for (qsizetype k = 1; k < order.size(); ++k) setTabOrder(order[k - 1], order[k]);
  setTabOrder(order.back(), monitor_->firstInTabOrder());
}

// Enter on a list, a radio button or a check box is Connect (or Disconnect): the window's
// default. A box that takes text keeps Enter for itself, and a button presses itself.
void MainWindow::makeConnectTheDefault() {
  for (QWidget* child : findChildren<QWidget*>())
    if (qobject_cast<QComboBox*>(child) || qobject_cast<QRadioButton*>(child) ||
        qobject_cast<QCheckBox*>(child))
      child->installEventFilter(this);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    if (enter && key->modifiers() == Qt::NoModifier && connectButton_->isEnabled()) {
      connectButton_->click();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

// Port and line settings, with the buttons to their right.
QLayout* MainWindow::buildCommSettings() {
  commSettings_ = new QGroupBox(QStringLiteral("Comm Port Settings"), this);
  commSettings_->setObjectName(QStringLiteral("fComm"));
  auto* baud = new QButtonGroup(commSettings_);
  for (std::size_t i = 0; i < baudButtons_.size(); ++i) {
    baudButtons_[i] = new QRadioButton(QStringLiteral("%1 bps").arg(kBaudRates[i]), commSettings_);
    baudButtons_[i]->setObjectName(QStringLiteral("opt%1").arg(kBaudRates[i]));
    baud->addButton(baudButtons_[i]);
    // Alt and the rate's first digit: 9, 1, 3.
    giveAccessKey(baudButtons_[i], Qt::Key(Qt::Key_0 + QString::number(kBaudRates[i]).front().digitValue()));
  }

  dataFormatList_ = namedCombo(QStringLiteral("cboDF"), commSettings_);
  portList_ = namedCombo(QStringLiteral("cboComm"), commSettings_);
  moduleList_ = namedCombo(QStringLiteral("cboModule"), commSettings_);
  auto* dfCaption = caption(QStringLiteral("Data Format"), dataFormatList_, commSettings_);
  auto* commCaption = caption(QStringLiteral("Select Port Number"), portList_, commSettings_);
  auto* moduleCaption = caption(QStringLiteral("Select Module"), moduleList_, commSettings_);
  deviceLabel_ = namedLabel(QStringLiteral("lblDevice"), {}, commSettings_);
  deviceLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* commGrid = new QGridLayout(commSettings_);
  auto* baudRow = new QHBoxLayout;
  for (auto* opt : baudButtons_) baudRow->addWidget(opt);
  baudRow->addStretch();
  commGrid->addLayout(baudRow, 0, 0, 1, 4);
  commGrid->addWidget(dataFormatList_, 1, 0);
  commGrid->addWidget(dfCaption, 1, 1);
  commGrid->addWidget(portList_, 1, 2);
  commGrid->addWidget(commCaption, 1, 3);
  commGrid->addWidget(moduleList_, 2, 0);
  commGrid->addWidget(moduleCaption, 2, 1);
  commGrid->addWidget(deviceLabel_, 2, 2, 1, 2);
  commGrid->setColumnStretch(3, 1);

  auto* top = new QHBoxLayout;
  top->addWidget(commSettings_, 3, Qt::AlignTop);  // as tall as its settings
  top->addLayout(buildButtons(), 2);
  return top;
}

// Connect and Listen, Configure LCD and Find line settings, two by two.
QLayout* MainWindow::buildButtons() {
  connectButton_ = new QPushButton(QStringLiteral("Connect"), this);
  connectButton_->setObjectName(QStringLiteral("cmdConnect"));
  configureButton_ = new QPushButton(QStringLiteral("Configure LCD"), this);
  configureButton_->setObjectName(QStringLiteral("cmdCfgLcd"));
  configureButton_->setEnabled(false);
  listenButton_ = new QPushButton(tr("Listen"), this);
  listenButton_->setObjectName(QStringLiteral("cmdListen"));
  listenButton_->setToolTip(tr("Hear the line without answering: nothing is written to it"));
  findButton_ = new QPushButton(tr("Find line settings"), this);
  findButton_->setObjectName(QStringLiteral("cmdFindSettings"));
  for (auto* button : {connectButton_, configureButton_, listenButton_, findButton_}) {
    button->setMinimumSize(120, 32);
    button->setAutoDefault(true);  // Enter on it presses it
  }
  giveAccessKey(connectButton_, Qt::Key_C);
  giveAccessKey(configureButton_, Qt::Key_L);
  giveAccessKey(listenButton_, Qt::Key_I);
  giveAccessKey(findButton_, Qt::Key_F);
  connect(connectButton_, &QPushButton::clicked, this, &MainWindow::connectClicked);
  connect(configureButton_, &QPushButton::clicked, this, &MainWindow::configureLcdClicked);
  connect(listenButton_, &QPushButton::clicked, this, &MainWindow::listenClicked);
  connect(findButton_, &QPushButton::clicked, this, &MainWindow::findSettingsClicked);

  auto* buttons = new QVBoxLayout;
  auto* grid = new QGridLayout;
  grid->addWidget(connectButton_, 0, 0);
  grid->addWidget(listenButton_, 0, 1);
  grid->addWidget(configureButton_, 1, 0);
  grid->addWidget(findButton_, 1, 1);
  buttons->addLayout(grid);
  // Under them, in sight at the top of the window: what the module shows of the slaves'
  // answers, and why a field is faded.
  lcd_ = new LcdView(this);
  lcdFindings_ = namedLabel(QStringLiteral("lblFindings"), {}, this);
  lcdFindings_->setWordWrap(true);
  lcdFindings_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  lcdFindings_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  markText(lcdFindings_, Mark::Notice);
  buttons->addWidget(lcd_, 0, Qt::AlignHCenter);
  buttons->addWidget(lcdFindings_);
  buttons->addStretch();
  return buttons;
}

// The simulator: one quadrant per slave, 1 and 2 on the left, 3 and 4 on the right.
QGroupBox* MainWindow::buildSimulator() {
  simulator_ = new QGroupBox(QStringLiteral("Modbus Slave Simulator"), this);
  simulator_->setObjectName(QStringLiteral("fModSim"));
  simulator_->setEnabled(false);
  auto* sim = new QGridLayout(simulator_);
  sim->addWidget(buildSlaveQuadrant(1), 0, 0);
  sim->addWidget(buildSlaveQuadrant(2), 2, 0);
  sim->addWidget(buildSlaveQuadrant(3), 0, 2);
  sim->addWidget(buildSlaveQuadrant(4), 2, 2);
  sim->addWidget(separator(QStringLiteral("Line1"), QFrame::HLine, simulator_), 1, 0, 1, 3);
  sim->addWidget(separator(QStringLiteral("Line2"), QFrame::VLine, simulator_), 0, 1, 3, 1);
  sim->addLayout(buildBenchFiles(), 3, 0, 1, 3);
  return simulator_;
}

QWidget* MainWindow::buildSlaveQuadrant(int slave) {
  auto* quadrant = new QWidget(simulator_);
  quadrants_[std::size_t(slave - 1)] = quadrant;
  auto* grid = new QGridLayout(quadrant);
  buildRegisterRows(slave, grid);
  buildTypedValueRow(slave, grid);
  buildBenchRow(slave, grid);
  return quadrant;
}

// Rows 0 to 2 of a quadrant: the slave's address, its registers and the lists of the value
// it answers with.
void MainWindow::buildRegisterRows(int slave, QGridLayout* grid) {
  const int i = slave - 1;
  QWidget* quadrant = grid->parentWidget();
  addressLabels_[i] =
      namedLabel(QStringLiteral("lblSid%1").arg(i), QStringLiteral("Disabled"), quadrant);
  grid->addWidget(caption(QStringLiteral("Address:"), addressLabels_[i], quadrant), 0, 0);
  grid->addWidget(addressLabels_[i], 0, 1, 1, 2);

  for (int r = 0; r < 2; ++r) {
    auto*& reg = registerLabels_[std::size_t(2 * i + r)];
    reg = namedLabel(QStringLiteral("lblReg%1").arg(2 * i + r), QStringLiteral("Modbus Reg"),
                     quadrant);
    reg->setMinimumWidth(80);
    grid->addWidget(reg, r + 1, 0);
  }
  auto& lists = valueLists_[std::size_t(i)];
  for (int e = 0; e < 3; ++e) {
    auto*& combo = lists[std::size_t(e)];
    combo = namedCombo(QStringLiteral("cboMReg%1_%2").arg(slave).arg(e), quadrant);
    combo->setMinimumWidth(64);
    static const char* const kByteNames[] = {"low byte", "second byte", "third byte"};
    combo->setAccessibleName(QStringLiteral("Slave %1 value, %2").arg(slave).arg(kByteNames[e]));
  }
  for (auto* label : {addressLabels_[i], registerLabels_[2 * i], registerLabels_[2 * i + 1]})
    markText(label, Mark::Value);

  // The top byte of a two-register value is always zero.
  auto* zero = new QLabel(QStringLiteral("0x00"), quadrant);
  QFont zeroFont(QStringLiteral("Tahoma"));
  zeroFont.setPointSizeF(9.75);
  zero->setFont(zeroFont);
  zero->setAlignment(Qt::AlignCenter);
  grid->addWidget(zero, 1, 1);
  grid->addWidget(lists[2], 1, 2);
  grid->addWidget(lists[1], 2, 1);
  grid->addWidget(lists[0], 2, 2);
  for (QComboBox* list : lists)
    connect(list, &QComboBox::currentIndexChanged, this, [this, slave] {
      // Read once here rather than from the lists at every poll: the reply is due at once.
      chosen_ = chosenValues();
      updatePlan();
      showDecoded(slave);
    });
}

// Row 3: the value as the module will show it, by the slave's data type and decimal places.
void MainWindow::buildTypedValueRow(int slave, QGridLayout* grid) {
  const std::size_t i = std::size_t(slave - 1);
  QWidget* quadrant = grid->parentWidget();
  auto*& typed = typedValues_[i];
  typed = new QLineEdit(quadrant);
  typed->setObjectName(QStringLiteral("txtValue%1").arg(slave));
  typed->setPlaceholderText(QStringLiteral("as shown"));
  typed->setAccessibleName(QStringLiteral("Slave %1 value as shown").arg(slave));
  typed->setToolTip(
      QStringLiteral("Type the value as the module shows it (e.g. -12.5) and "
                     "press Enter: the lists follow."));
  // Enter, or leaving the box, applies what was typed.
  connect(typed, &QLineEdit::editingFinished, this, [this, slave] { applyTyped(slave); });
  auto*& decoded = decodedValues_[i];
  decoded = namedLabel(QStringLiteral("lblDecoded%1").arg(slave), {}, quadrant);
  decoded->setWordWrap(true);
  grid->addWidget(caption(QStringLiteral("Value:"), typed, quadrant), 3, 0);
  grid->addWidget(typed, 3, 1);
  grid->addWidget(decoded, 3, 2);
}

// Row 4: the button to the slave's bench controls, and which of them are on.
void MainWindow::buildBenchRow(int slave, QGridLayout* grid) {
  QWidget* quadrant = grid->parentWidget();
  auto* bench = new QPushButton(QStringLiteral("Faults..."), quadrant);
  bench->setObjectName(QStringLiteral("cmdBench%1").arg(slave));
  bench->setAutoDefault(true);
  bench->setToolTip(QStringLiteral("Faults, response delay and value sweeps of this slave"));
  giveAccessKey(bench, Qt::Key(Qt::Key_0 + slave), Qt::CTRL);
  bench->setAccessibleName(QStringLiteral("Slave %1 faults").arg(slave));
  benchButtons_[std::size_t(slave - 1)] = bench;
  connect(bench, &QPushButton::clicked, this, [this, slave] { openBench(slave); });
  auto*& active = benchNotes_[std::size_t(slave - 1)];
  active = namedLabel(QStringLiteral("lblFault%1").arg(slave), {}, quadrant);
  active->setWordWrap(true);
  markText(active, Mark::Failure);
  grid->addWidget(bench, 4, 0);
  grid->addWidget(active, 4, 1, 1, 2);
}

// What the responder saw and sent.
QLayout* MainWindow::buildByteDisplays() {
  receivedBytes_ = namedLabel(QStringLiteral("lblRxData"), {}, this);
  transmittedBytes_ = namedLabel(QStringLiteral("lblTxData"), {}, this);
  verdict_ = namedLabel(QStringLiteral("lblStatus"), {}, this);
  receivedBytes_->setStyleSheet(
      QStringLiteral("background-color: #66DD66; color: #B00000; padding: 2px;"));
  transmittedBytes_->setStyleSheet(
      QStringLiteral("background-color: #CC0000; color: #A0FFA0; padding: 2px;"));
  QFont bold = verdict_->font();
  bold.setBold(true);
  verdict_->setFont(bold);
  markText(verdict_, Mark::Good);
  QFont mono(QStringLiteral("Monospace"));
  mono.setStyleHint(QFont::TypeWriter);
  mono.setPointSizeF(9.75);
  for (auto* display : {receivedBytes_, transmittedBytes_}) {
    display->setFont(mono);
    display->setMinimumWidth(300);
    display->setMinimumHeight(22);
    display->setTextInteractionFlags(Qt::TextSelectableByMouse);
  }
  auto* rxCaption = caption(QStringLiteral("Received Bytes"), receivedBytes_, this);
  auto* txCaption = caption(QStringLiteral("Transmitted Bytes"), transmittedBytes_, this);
  auto* bytes = new QGridLayout;
  bytes->addWidget(rxCaption, 0, 0);
  bytes->addWidget(receivedBytes_, 0, 1);
  bytes->addWidget(verdict_, 0, 2);
  bytes->addWidget(txCaption, 1, 0);
  bytes->addWidget(transmittedBytes_, 1, 1);
  bytes->setColumnStretch(1, 1);
  bytes->setColumnMinimumWidth(2, 110);
  return bytes;
}

// What the window has to say about the connection or the configuration it serves.
QLabel* MainWindow::buildNotice() {
  notice_ = namedLabel(QStringLiteral("lblNotice"), {}, this);
  notice_->setWordWrap(true);
  notice_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  notice_->hide();
  return notice_;
}

void MainWindow::load() {
  for (std::size_t i = 0; i < kDataFormats.size(); ++i)
    dataFormatList_->addItem(QString::fromLatin1(kDataFormats[i].label), int(i));
  for (int n = 1; n <= kPortCount; ++n) portList_->addItem(QString::number(n), n);
  moduleList_->addItem(QStringLiteral("KV-216"), QLatin1String(ini::lcd::kTwoLine));
  moduleList_->addItem(QStringLiteral("KV-420"), QLatin1String(ini::lcd::kFourLine));

  // One read of the file for all the window restores.
  const IniSnapshot file = ini_.snapshot();
  const QString settings = QLatin1String(ini::settings::kSection);
  storedPort_ = file.value(settings, QLatin1String(ini::settings::kCommPort));
  storedSetting_ = file.value(settings, QLatin1String(ini::settings::kLineSettings));

  const LineChoice line = parseLineChoice(storedSetting_);
  dataFormatList_->setCurrentIndex(dataFormatList_->findData(line.format.value_or(-1)));
  if (line.baud) baudButtons_[std::size_t(*line.baud)]->setChecked(true);

  // A stored number that names no entry leaves the list without a selection.
  const auto port = storedPortNumber(storedPort_);
  portList_->setCurrentIndex(port ? portList_->findData(*port) : -1);

  const bool twoLine =
      file.value(QLatin1String(ini::lcd::kSection), QLatin1String(ini::lcd::kModule)) ==
      QLatin1String(ini::lcd::kTwoLine);
  moduleList_->setCurrentIndex(twoLine ? 0 : 1);
  showNotice(file.error());
  restoreGeometry(file);
  readKeptValues(file);
  storedAnswerAll_ = readAnswerAll(file);
  answerAll_->setSettings(storedAnswerAll_);

  connect(portList_, &QComboBox::currentIndexChanged, this, &MainWindow::showDevice);
  showDevice();
  watchDevices();
}

// The size and splits the window was left with; what the file does not hold keeps the first
// layout.
void MainWindow::restoreGeometry(const IniSnapshot& file) {
  using namespace ini::window;
  const auto value = [&file](const char* key) {
    return file.value(QLatin1String(kSection), QLatin1String(key));
  };
  if (const auto size = numbersOf(value(kSize), 2)) resize((*size)[0], (*size)[1]);
  if (const auto split = numbersOf(value(kMainSplit), 2)) split_->setSizes(*split);
  if (const auto split = numbersOf(value(kMonitorSplit), 2)) monitor_->setSplitSizes(*split);
}

void MainWindow::showDevice() {
  const int port = portList_->currentData().toInt();
  const QString device = devicePathForPort(ini_, port, devFolder_);
  const QString adapter = device.isEmpty() ? QString() : adapterDescription(device);
  deviceLabel_->setText(port < 1           ? QString()
                        : device.isEmpty() ? tr("Device: none found")
                        : adapter.isEmpty() ? tr("Device: %1").arg(device)
                                            : tr("Device: %1, %2").arg(device, adapter));
}

void MainWindow::setDeviceFolder(const QString& folder) {
  devFolder_ = folder;
  devicesPresent_ = serialDevicesPresent(devFolder_);
  showDevice();
}

// Adapters plugged in or pulled while the window is open: the device label follows, and the
// notice line says which came or went.
void MainWindow::watchDevices() {
  devicesPresent_ = serialDevicesPresent(devFolder_);
  auto* watch = new QTimer(this);
  watch->setInterval(1000);
  connect(watch, &QTimer::timeout, this, [this] {
    const QStringList now = serialDevicesPresent(devFolder_);
    if (now == devicesPresent_) return;
    QStringList said;
    for (const QString& device : now)
      if (!devicesPresent_.contains(device)) {
        const QString adapter = adapterDescription(device);
        said << (adapter.isEmpty() ? tr("Serial port %1 appeared.").arg(device)
                                   : tr("Serial port %1 appeared (%2).").arg(device, adapter));
      }
    for (const QString& device : devicesPresent_)
      if (!now.contains(device)) said << tr("Serial port %1 disappeared.").arg(device);
    devicesPresent_ = now;
    showDevice();
    showNotice(said.join(u' '), false);
  });
  watch->start();
}

void MainWindow::showNotice(const QString& text, bool warns, const QString& details) {
  notice_->setText(text);
  notice_->setToolTip(details);
  if (warns)
    markText(notice_, Mark::Failure);
  else
    notice_->setPalette(QPalette());
  notice_->setVisible(!text.isEmpty());
}

void MainWindow::setConnected(bool connected) {
  connectButton_->setText(connected ? QStringLiteral("Disconnect") : QStringLiteral("Connect"));
  commSettings_->setEnabled(!connected);
  listenButton_->setEnabled(!connected);
  findButton_->setEnabled(!connected);
  configureButton_->setEnabled(connected);
  simulator_->setEnabled(connected);
  // Serving shows the simulator; what the last listening heard goes.
  if (connected) pollPlanBox_->hide();
  if (!connected) showNotice({});
}

LineChoice MainWindow::lineChoice() const {
  LineChoice choice;
  for (std::size_t i = 0; i < baudButtons_.size(); ++i)
    if (baudButtons_[i]->isChecked()) choice.baud = int(i);
  if (dataFormatList_->currentIndex() >= 0) choice.format = dataFormatList_->currentData().toInt();
  return choice;
}

bool MainWindow::isConnected() const {
  return server_->isOpen() && !listening_;
}

int MainWindow::chosenPort() const {
  return portList_->currentIndex() < 0 ? 0 : portList_->currentData().toInt();
}

SlaveTableLoad MainWindow::rememberChoiceAndLoad() {
  // Recorded on every press, so that even a failed Connect is remembered at exit.
  storedPort_ = QString::number(chosenPort());
  storedSetting_ = formatLineChoice(lineChoice());
  const bool twoLine = moduleList_->currentIndex() == 0;
  return twoLine ? loadSlaveTable1602(ini_) : loadSlaveTable2004(ini_);
}

void MainWindow::connectClicked() {
  if (server_->isOpen()) {
    disconnectPort();
    return;
  }
  const SlaveTableLoad loaded = rememberChoiceAndLoad();
  const OpenResult opened = server_->open(lineAt(chosenPort(), lineSettingsOf(lineChoice())),
                                          std::make_shared<const ServePlan>(planAfter(loaded)));
  if (!opened.ok) {
    dialogs_.message(this, QStringLiteral("COMM PORT ERROR!"), opened.error);
    return;
  }
  showConnected(loaded, opened.notice);
}

// Served from the first byte as the window will stand once the load is shown: slaves the
// load enables start at 0x00.
ServePlan MainWindow::planAfter(const SlaveTableLoad& loaded) const {
  ServePlan first = plan();
  first.table = loaded.table;
  for (std::size_t i = 0; i < loaded.views.size(); ++i)
    if (loaded.views[i].listsReset) first.values[i] = valueListsOf(0);
  return first;
}

void MainWindow::showConnected(const SlaveTableLoad& loaded, const QString& openNotice) {
  setConnected(true);
  table_ = loaded.table;
  monitor_->setTable(loaded.table);
  showLoad(loaded);
  restoreKeptValues();
  // The display as the module will show it, from the configuration the slaves stand for.
  served1602_ = loaded.config1602;
  served2004_ = loaded.config2004;
  readings_.fill({std::nullopt, QStringLiteral("not polled yet")});
  showDisplay();
  for (int slave = 1; slave <= kSlaveCount; ++slave) {
    // A slave the configuration does not poll has nothing to set.
    quadrants_[std::size_t(slave - 1)]->setEnabled(table_[std::size_t(slave - 1)].enabled);
    // A sweep runs on in the numbers the module shows, now by the data type just loaded.
    if (sweeps_[std::size_t(slave - 1)]) setSweep(slave, sweeps_[std::size_t(slave - 1)]);
    showDecoded(slave);
  }
  updatePlan();
  // The port stays open and the slaves answer; what the user should know is said in the
  // notice line: a setting the device did not take, keys the file did not give. A
  // configuration never saved is no fault: that alone is said in the ordinary colour.
  QStringList notices{openNotice, loaded.notice};
  notices.removeAll(QString());
  showNotice(notices.join(u'\n'), !openNotice.isEmpty() || loaded.noticeWarns,
             loaded.noticeDetails);
}

void MainWindow::disconnectPort() {
  server_->close();
  if (listening_) setListening(false);
  setConnected(false);
}

ServePlan MainWindow::plan() const {
  ServePlan p;
  p.table = table_;
  p.values = chosen_;
  p.faults = faults_;
  p.sweeps = sweeps_;
  p.dropEcho = monitor_->echoFilterOn();
  p.answerAll = answerAll_->answersAll();
  p.registerMap = answerAll_->registers();
  return p;
}

void MainWindow::updatePlan() {
  if (server_->isOpen()) server_->setPlan(std::make_shared<const ServePlan>(plan()));
}

void MainWindow::onServed(const std::vector<ServeEvent>& batch) {
  std::vector<TrafficEvent> traffic;
  traffic.reserve(batch.size());
  const Exchange* last = nullptr;
  std::array<std::optional<std::uint32_t>, kSlaveCount> swept;
  std::optional<QString> lost;
  bool polled = false;
  for (const ServeEvent& event : batch) {
    switch (event.type) {
      case ServeEvent::Type::Traffic:
        traffic.push_back(event.traffic);
        break;
      case ServeEvent::Type::Exchange: {
        const Exchange& x = event.exchange;
        last = &x;
        if (x.latencyUs >= 0) monitor_->recordLatency(x.slave, x.latencyUs);
        if (x.slave > 0 && x.value && !x.sent.isEmpty()) swept[std::size_t(x.slave - 1)] = x.value;
        if (!x.sendError.isEmpty()) showNotice(tr("The reply was not sent. %1").arg(x.sendError));
        if (x.slave > 0 && x.slave <= kSlaveCount) {
          readings_[std::size_t(x.slave - 1)] = readingOf(x);
          polled = true;
        }
        break;
      }
      case ServeEvent::Type::Closed:
        lost = event.reason;
        break;
    }
  }
  if (listening_) showHeard(traffic);
  monitor_->record(std::move(traffic));
  // The byte displays show the latest exchange of the batch; a person reads no faster.
  if (last) showExchange(*last);
  if (polled) showDisplay();
  // A sweep's lists follow the value its slave last sent.
  for (std::size_t i = 0; i < swept.size(); ++i)
    if (sweeps_[i] && swept[i]) setListValue(int(i + 1), *swept[i]);
  if (lost) onPortLost(*lost);
}

void MainWindow::showLoad(const SlaveTableLoad& load) {
  for (std::size_t i = 0; i < load.views.size(); ++i) {
    const SlaveView& view = load.views[i];
    addressLabels_[i]->setText(view.address);
    if (view.listsReset) {
      for (int e = 0; e < kValueListsPerSlave; ++e) {
        QComboBox* list = valueLists_[i][std::size_t(e)];
        list->clear();
        const QStringList entries = valueListEntries(e);
        for (int value = 0; value < entries.size(); ++value) list->addItem(entries[value], value);
        list->setCurrentIndex(0);
      }
    }
    if (view.firstReg) registerLabels_[2 * i]->setText(*view.firstReg);
    if (view.secondReg) registerLabels_[2 * i + 1]->setText(*view.secondReg);
  }
}

ChosenValues MainWindow::chosenValues() const {
  ChosenValues values;
  for (std::size_t s = 0; s < values.size(); ++s)
    for (std::size_t e = 0; e < values[s].size(); ++e) {
      const QComboBox* list = valueLists_[s][e];
      if (list->currentIndex() >= 0) values[s][e] = std::uint8_t(list->currentData().toInt());
    }
  return values;
}

void MainWindow::showExchange(const Exchange& exchange) {
  receivedBytes_->setText(byteDisplay(exchange.request));
  transmittedBytes_->setText(byteDisplay(exchange.sent));
  verdict_->setText(statusText(exchange.verdict));
}

void MainWindow::showDisplay() {
  // The four-line module's field k is polled as slave k + 1.
  static_assert(kSlaveCount == kFieldCount);
  DisplayPreview shown;
  if (served1602_)
    shown = previewDisplay(*served1602_, readings_[0]);
  else if (served2004_)
    shown = previewDisplay(*served2004_, readings_);
  lcd_->setPreview(shown);
  lcdFindings_->setText(shown.findings.join(u'\n'));
}

TypedFormat MainWindow::formatOf(int slave) const {
  const Slave& s = table_[std::size_t(slave - 1)];
  return {s.dataType, s.decimals};
}

std::optional<std::uint32_t> MainWindow::listValue(int slave) const {
  const ValueLists lists = chosenValues()[std::size_t(slave - 1)];
  return rawOfLists(lists, table_[std::size_t(slave - 1)].registerCount);
}

void MainWindow::setListValue(int slave, std::uint32_t raw) {
  const ValueLists bytes = valueListsOf(raw);
  for (std::size_t e = 0; e < bytes.size(); ++e) {
    QComboBox* list = valueLists_[std::size_t(slave - 1)][e];
    list->setCurrentIndex(list->findData(int(*bytes[e])));
  }
}

void MainWindow::showDecoded(int slave) {
  QLabel* label = decodedValues_[std::size_t(slave - 1)];
  label->setPalette(QPalette());
  const auto raw = listValue(slave);
  label->setText(raw && table_[std::size_t(slave - 1)].enabled
                     ? QStringLiteral("shows %1").arg(decodeTyped(*raw, formatOf(slave)))
                     : QString());
}

void MainWindow::applyTyped(int slave) {
  QLineEdit* box = typedValues_[std::size_t(slave - 1)];
  const TypedParse parsed = encodeTyped(box->text(), formatOf(slave));
  if (!parsed.raw) {
    // Refused: nothing changes but the word why.
    QLabel* label = decodedValues_[std::size_t(slave - 1)];
    label->setText(parsed.refusal);
    markText(label, Mark::Failure);
    return;
  }
  setListValue(slave, *parsed.raw);
  showDecoded(slave);
}

void MainWindow::setFault(int slave, const Fault& fault) {
  faults_[std::size_t(slave - 1)] = fault;
  updatePlan();
  showBench(slave);
}

void MainWindow::setSweep(int slave, const std::optional<Sweep>& sweep) {
  sweeps_[std::size_t(slave - 1)] = sweep;
  if (sweep) {
    if (const auto raw = rawOf(sweep->value(), formatOf(slave))) setListValue(slave, *raw);
  }
  updatePlan();
  showBench(slave);
}

void MainWindow::showBench(int slave) {
  QStringList on;
  if (const QString fault = describeFault(faults_[std::size_t(slave - 1)]); !fault.isEmpty())
    on << fault;
  if (const auto& sweep = sweeps_[std::size_t(slave - 1)])
    on << (sweep->isRamp() ? QStringLiteral("Ramp on") : QStringLiteral("Random values on"));
  benchNotes_[std::size_t(slave - 1)]->setText(on.join(u'\n'));
}

void MainWindow::openBench(int slave) {
  BenchDialog dialog(slave, formatOf(slave), faults_[std::size_t(slave - 1)],
                     sweeps_[std::size_t(slave - 1)], this);
  if (dialog.exec() != QDialog::Accepted) return;
  setFault(slave, dialog.fault());
  setSweep(slave, dialog.sweep());
}

void MainWindow::configureLcdClicked() {
  const int port = chosenPort();
  disconnectPort();
  if (moduleList_->currentIndex() == 0) {
    if (!config1602Window_) config1602Window_ = std::make_unique<Config1602Window>(ini_, dialogs_);
    config1602Window_->showWindow(port);
  } else {
    if (!config2004Window_) config2004Window_ = std::make_unique<Config2004Window>(ini_, dialogs_);
    config2004Window_->showWindow(port);
  }
}

void MainWindow::onPortLost(const QString& reason) {
  disconnectPort();
  dialogs_.message(this, tr("The serial port was lost."),
                   tr("%1. The simulator is disconnected; press Connect once the device is "
                      "back.")
                       .arg(reason));
}

void MainWindow::closeEvent(QCloseEvent* event) {
  using namespace ini;
  std::vector<IniEntry> entries = {
      textEntry(settings::kSection, QLatin1String(settings::kCommPort), storedPort_),
      textEntry(settings::kSection, QLatin1String(settings::kLineSettings), storedSetting_),
      textEntry(lcd::kSection, QLatin1String(lcd::kModule), moduleList_->currentData().toString()),
      textEntry(window::kSection, QLatin1String(window::kSize),
                numbersText({width(), height()}, QStringLiteral("x"))),
      textEntry(window::kSection, QLatin1String(window::kMainSplit),
                numbersText(split_->sizes(), QStringLiteral(","))),
      textEntry(window::kSection, QLatin1String(window::kMonitorSplit),
                numbersText(monitor_->splitSizes(), QStringLiteral(","))),
  };
  appendKeptValues(entries);
  // [AnswerAll] only once it was changed: a file that never had it stays without.
  if (const AnswerAllSettings now = answerAll_->settings();
      now.enabled != storedAnswerAll_.enabled || now.entries != storedAnswerAll_.entries) {
    for (IniEntry& entry : answerAllEntries(now, storedAnswerAll_.keys))
      entries.push_back(std::move(entry));
  }
  QString error;
  while (!ini_.save(entries, &error) &&
         dialogs_.askRetry(this, tr("The settings were not saved to %1.").arg(ini_.filePath()),
                           error)) {
  }
  server_->close();
  event->accept();
}

}  // namespace vantor
