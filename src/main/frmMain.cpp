#include "main/frmMain.h"

#include "config1602/frmCfg1602.h"
#include "config2004/frmCfg2004.h"
#include "main/PollResponder.h"
#include "main/SlaveTable.h"

#include "platform/Dialogs.h"
#include "platform/PortMap.h"
#include "platform/SerialPort.h"
#include "platform/WindowParts.h"
#include "settings/modINI.h"
#include "shared/modVar.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace vantor {

namespace {

constexpr const char* kSettings = "Settings";
constexpr const char* kCommPortKey = "CommPort";
constexpr const char* kSettingKey = "Setting";
constexpr const char* kLcd = "LCD";
constexpr const char* kModuleKey = "Module";
constexpr int kPortCount = 20;
constexpr int kRequestLength = 8;

constexpr const char* kBlueText = "color: #0000C0;";

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

QFrame* line(const QString& name, QFrame::Shape shape, QWidget* parent) {
  auto* frame = new QFrame(parent);
  frame->setObjectName(name);
  frame->setFrameShape(shape);
  frame->setFrameShadow(QFrame::Sunken);
  return frame;
}

// A stored port number: a whole number 0..20 (0: none chosen); anything else gives nothing.
std::optional<int> storedPortNumber(const QString& text) {
  bool ok = false;
  const int value = text.trimmed().toInt(&ok);
  if (!ok || value < 0 || value > kPortCount) return std::nullopt;
  return value;
}

}  // namespace

frmMain::frmMain(modVar& vars, modINI& ini, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), vars_(vars), ini_(ini), dialogs_(dialogs) {
  setObjectName(QStringLiteral("frmMain"));
  setWindowTitle(QStringLiteral("Vantor"));
  setFont(windowFont());

  MSComm1_ = new SerialPort([this](int port) { return devicePathForPort(ini_, port); }, this);
  MSComm1_->setObjectName(QStringLiteral("MSComm1"));
  connect(MSComm1_, &SerialPort::lost, this, &frmMain::onPortLost);
  connect(MSComm1_, &SerialPort::received, this, &frmMain::HandleCommEvent);
  responder_ = std::make_unique<PollResponder>(
      vars_, [this](int slave, int element) -> std::optional<std::uint8_t> {
        const int position =
            cboMReg_[std::size_t(slave - 1)][std::size_t(element)]->currentIndex();
        if (position < 0) return std::nullopt;
        return std::uint8_t(position);
      });

  buildLayout();
  load();
}

frmMain::~frmMain() = default;

void frmMain::buildLayout() {
  auto* root = new QVBoxLayout(this);

  // Port and line settings, with the two buttons to their right.
  fComm_ = new QGroupBox(QStringLiteral("Comm Port Settings"), this);
  fComm_->setObjectName(QStringLiteral("fComm"));
  opt9600_ = new QRadioButton(QStringLiteral("9600 bps"), fComm_);
  opt9600_->setObjectName(QStringLiteral("opt9600"));
  opt19200_ = new QRadioButton(QStringLiteral("19200 bps"), fComm_);
  opt19200_->setObjectName(QStringLiteral("opt19200"));
  opt38400_ = new QRadioButton(QStringLiteral("38400 bps"), fComm_);
  opt38400_->setObjectName(QStringLiteral("opt38400"));
  auto* baud = new QButtonGroup(fComm_);
  for (auto* opt : {opt9600_, opt19200_, opt38400_}) baud->addButton(opt);

  cboDF_ = namedCombo(QStringLiteral("cboDF"), fComm_);
  cboComm_ = namedCombo(QStringLiteral("cboComm"), fComm_);
  cboModule_ = namedCombo(QStringLiteral("cboModule"), fComm_);
  auto* dfCaption = caption(QStringLiteral("Data Format"), cboDF_, fComm_);
  auto* commCaption = caption(QStringLiteral("Select Port Number"), cboComm_, fComm_);
  auto* moduleCaption = caption(QStringLiteral("Select Module"), cboModule_, fComm_);
  lblDevice_ = namedLabel(QStringLiteral("lblDevice"), {}, fComm_);
  lblDevice_->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* commGrid = new QGridLayout(fComm_);
  auto* baudRow = new QHBoxLayout;
  baudRow->addWidget(opt9600_);
  baudRow->addWidget(opt19200_);
  baudRow->addWidget(opt38400_);
  baudRow->addStretch();
  commGrid->addLayout(baudRow, 0, 0, 1, 4);
  commGrid->addWidget(cboDF_, 1, 0);
  commGrid->addWidget(dfCaption, 1, 1);
  commGrid->addWidget(cboComm_, 1, 2);
  commGrid->addWidget(commCaption, 1, 3);
  commGrid->addWidget(cboModule_, 2, 0);
  commGrid->addWidget(moduleCaption, 2, 1);
  commGrid->addWidget(lblDevice_, 2, 2, 1, 2);
  commGrid->setColumnStretch(3, 1);

  cmdConnect_ = new QPushButton(QStringLiteral("Connect"), this);
  cmdConnect_->setObjectName(QStringLiteral("cmdConnect"));
  cmdCfgLcd_ = new QPushButton(QStringLiteral("Configure LCD"), this);
  cmdCfgLcd_->setObjectName(QStringLiteral("cmdCfgLcd"));
  cmdCfgLcd_->setEnabled(false);
  for (auto* button : {cmdConnect_, cmdCfgLcd_}) button->setMinimumSize(120, 32);
  connect(cmdConnect_, &QPushButton::clicked, this, &frmMain::cmdConnect_Click);
  connect(cmdCfgLcd_, &QPushButton::clicked, this, &frmMain::cmdCfgLcd_Click);

  auto* buttons = new QVBoxLayout;
  buttons->addWidget(cmdConnect_);
  buttons->addWidget(cmdCfgLcd_);
  buttons->addStretch();
  auto* top = new QHBoxLayout;
  top->addWidget(fComm_, 3);
  top->addLayout(buttons, 2);
  root->addLayout(top);

  // The simulator: one quadrant per slave, 1 and 2 on the left, 3 and 4 on the right.
  fModSim_ = new QGroupBox(QStringLiteral("Modbus Slave Simulator"), this);
  fModSim_->setObjectName(QStringLiteral("fModSim"));
  fModSim_->setEnabled(false);
  auto* sim = new QGridLayout(fModSim_);
  sim->addWidget(buildSlaveQuadrant(1), 0, 0);
  sim->addWidget(buildSlaveQuadrant(2), 2, 0);
  sim->addWidget(buildSlaveQuadrant(3), 0, 2);
  sim->addWidget(buildSlaveQuadrant(4), 2, 2);
  sim->addWidget(line(QStringLiteral("Line1"), QFrame::HLine, fModSim_), 1, 0, 1, 3);
  sim->addWidget(line(QStringLiteral("Line2"), QFrame::VLine, fModSim_), 0, 1, 3, 1);
  root->addWidget(fModSim_);

  // What the responder saw and sent.
  lblRxData_ = namedLabel(QStringLiteral("lblRxData"), {}, this);
  lblTxData_ = namedLabel(QStringLiteral("lblTxData"), {}, this);
  lblStatus_ = namedLabel(QStringLiteral("lblStatus"), {}, this);
  lblRxData_->setStyleSheet(
      QStringLiteral("background-color: #66DD66; color: #B00000; padding: 2px;"));
  lblTxData_->setStyleSheet(
      QStringLiteral("background-color: #CC0000; color: #A0FFA0; padding: 2px;"));
  lblStatus_->setStyleSheet(QStringLiteral("color: #008000; font-weight: bold;"));
  QFont mono(QStringLiteral("Monospace"));
  mono.setStyleHint(QFont::TypeWriter);
  mono.setPointSizeF(9.75);
  for (auto* display : {lblRxData_, lblTxData_}) {
    display->setFont(mono);
    display->setMinimumWidth(300);
    display->setMinimumHeight(22);
    display->setTextInteractionFlags(Qt::TextSelectableByMouse);
  }
  auto* rxCaption = caption(QStringLiteral("Received Bytes"), lblRxData_, this);
  auto* txCaption = caption(QStringLiteral("Transmitted Bytes"), lblTxData_, this);
  auto* bytes = new QGridLayout;
  bytes->addWidget(rxCaption, 0, 0);
  bytes->addWidget(lblRxData_, 0, 1);
  bytes->addWidget(lblStatus_, 0, 2);
  bytes->addWidget(txCaption, 1, 0);
  bytes->addWidget(lblTxData_, 1, 1);
  bytes->setColumnStretch(1, 1);
  bytes->setColumnMinimumWidth(2, 110);
  root->addLayout(bytes);

  setFixedSize(sizeHint().expandedTo(QSize(620, 0)));
}

QWidget* frmMain::buildSlaveQuadrant(int slave) {
  const int i = slave - 1;
  auto* quadrant = new QWidget(fModSim_);
  auto* grid = new QGridLayout(quadrant);

  lblSid_[i] = namedLabel(QStringLiteral("lblSid%1").arg(i), QStringLiteral("Disabled"), quadrant);
  grid->addWidget(caption(QStringLiteral("Address:"), lblSid_[i], quadrant), 0, 0);
  grid->addWidget(lblSid_[i], 0, 1, 1, 2);

  for (int r = 0; r < 2; ++r) {
    auto*& reg = lblReg_[std::size_t(2 * i + r)];
    reg = namedLabel(QStringLiteral("lblReg%1").arg(2 * i + r), QStringLiteral("Modbus Reg"),
                     quadrant);
    reg->setMinimumWidth(80);
    grid->addWidget(reg, r + 1, 0);
  }
  for (int e = 0; e < 3; ++e) {
    auto*& combo = cboMReg_[std::size_t(i)][std::size_t(e)];
    combo = namedCombo(QStringLiteral("cboMReg%1_%2").arg(slave).arg(e), quadrant);
    combo->setMinimumWidth(64);
  }
  for (auto* label : {lblSid_[i], lblReg_[2 * i], lblReg_[2 * i + 1]})
    label->setStyleSheet(QString::fromLatin1(kBlueText));

  // The top byte of a two-register value is always zero.
  auto* zero = new QLabel(QStringLiteral("0x00"), quadrant);
  QFont zeroFont(QStringLiteral("Tahoma"));
  zeroFont.setPointSizeF(9.75);
  zero->setFont(zeroFont);
  zero->setAlignment(Qt::AlignCenter);
  grid->addWidget(zero, 1, 1);
  grid->addWidget(cboMReg_[i][2], 1, 2);
  grid->addWidget(cboMReg_[i][1], 2, 1);
  grid->addWidget(cboMReg_[i][0], 2, 2);
  return quadrant;
}

void frmMain::load() {
  cboDF_->addItems({QStringLiteral("8N1"), QStringLiteral("8N2"), QStringLiteral("8E1")});
  for (int n = 1; n <= kPortCount; ++n) cboComm_->addItem(QString::number(n));
  cboModule_->addItems({QStringLiteral("KV-216"), QStringLiteral("KV-420")});

  vars_.gCommPort = ini_.ReadINI(QLatin1String(kSettings), QLatin1String(kCommPortKey));
  vars_.gCommSetting = ini_.ReadINI(QLatin1String(kSettings), QLatin1String(kSettingKey));

  const QString& setting = vars_.gCommSetting;
  const QString format = setting.right(5);
  cboDF_->setCurrentIndex(format == u"n,8,1"   ? 0
                          : format == u"n,8,2" ? 1
                          : format == u"e,8,1" ? 2
                                               : -1);

  // A stored number that names no entry leaves the list without a selection.
  const auto port = storedPortNumber(vars_.gCommPort);
  cboComm_->setCurrentIndex(port ? *port - 1 : -1);

  const bool twoLine =
      ini_.ReadINI(QLatin1String(kLcd), QLatin1String(kModuleKey)) == u"1602";
  cboModule_->setCurrentIndex(twoLine ? 0 : 1);

  const QString baud = setting.left(5);
  if (baud == u"9600,") opt9600_->setChecked(true);
  if (baud == u"19200") opt19200_->setChecked(true);
  if (baud == u"38400") opt38400_->setChecked(true);

  MSComm1_->setRThreshold(kRequestLength);

  connect(cboComm_, &QComboBox::currentIndexChanged, this, &frmMain::showDevice);
  showDevice();
}

void frmMain::showDevice() {
  const int port = cboComm_->currentIndex() + 1;
  const QString device = devicePathForPort(ini_, port);
  lblDevice_->setText(port < 1             ? QString()
                      : device.isEmpty() ? tr("Device: none found")
                                         : tr("Device: %1").arg(device));
}

void frmMain::setConnected(bool connected) {
  cmdConnect_->setText(connected ? QStringLiteral("Disconnect") : QStringLiteral("Connect"));
  fComm_->setEnabled(!connected);
  cmdCfgLcd_->setEnabled(connected);
  fModSim_->setEnabled(connected);
}

void frmMain::cmdConnect_Click() {
  QString setting;
  if (opt9600_->isChecked()) setting = QStringLiteral("9600");
  if (opt19200_->isChecked()) setting = QStringLiteral("19200");
  if (opt38400_->isChecked()) setting = QStringLiteral("38400");
  static const char* const kFormats[] = {",n,8,1", ",n,8,2", ",e,8,1"};
  if (cboDF_->currentIndex() >= 0) setting += QLatin1String(kFormats[cboDF_->currentIndex()]);

  // Recorded on every press, so that even a failed Connect is remembered at exit.
  vars_.gCommPort = QString::number(cboComm_->currentIndex() + 1);
  vars_.gCommSetting = setting;

  if (cmdConnect_->text() == u"Connect") {
    MSComm1_->setCommPort(vars_.gCommPort.toInt());
    MSComm1_->setSettings(vars_.gCommSetting);
    QString error;
    if (!MSComm1_->open(&error)) {
      dialogs_.message(this, QStringLiteral("COMM PORT ERROR!"), error);
      return;
    }
    setConnected(true);

    const bool twoLine = cboModule_->currentIndex() == 0;
    const SlaveTableLoad table =
        twoLine ? LoadSlaveTable1602(ini_, vars_) : LoadSlaveTable2004(ini_, vars_);
    showLoad(table);
    if (table.error) {
      // The port is fine and stays open; what is missing is the module's configuration.
      dialogs_.message(this, tr("The simulator could not load the module's configuration."),
                       *table.error);
    }
  } else {
    MSComm1_->close();
    setConnected(false);
  }
}

void frmMain::showLoad(const SlaveTableLoad& load) {
  for (std::size_t i = 0; i < load.views.size(); ++i) {
    const SlaveView& view = load.views[i];
    if (view.address) lblSid_[i]->setText(*view.address);
    if (view.listsReset) {
      for (int e = 0; e < kValueListsPerSlave; ++e) {
        QComboBox* list = cboMReg_[i][std::size_t(e)];
        list->clear();
        list->addItems(valueListEntries(e));
        list->setCurrentIndex(0);
      }
    }
    if (view.firstReg) lblReg_[2 * i]->setText(*view.firstReg);
    if (view.secondReg) lblReg_[2 * i + 1]->setText(*view.secondReg);
  }
  if (load.disableOthers) {
    for (std::size_t i = 1; i < lblSid_.size(); ++i) lblSid_[i]->setText(QStringLiteral("Disabled"));
  }
}

void frmMain::HandleCommEvent() {
  const QByteArray reply = responder_->HandleCommEvent(MSComm1_->input());
  // The answer goes out before anything is drawn: the module is waiting for it.
  MSComm1_->output(reply);
  const PollResponder::Display& shown = responder_->display();
  lblRxData_->setText(shown.rxData);
  lblTxData_->setText(shown.txData);
  lblStatus_->setText(shown.status);
}

void frmMain::cmdCfgLcd_Click() {
  MSComm1_->close();
  setConnected(false);
  if (cboModule_->currentIndex() == 0) {
    if (!frmCfg1602_) frmCfg1602_ = std::make_unique<frmCfg1602>(vars_, ini_, dialogs_);
    frmCfg1602_->showWindow();
  } else {
    if (!frmCfg2004_) frmCfg2004_ = std::make_unique<frmCfg2004>(vars_, ini_, dialogs_);
    frmCfg2004_->showWindow();
  }
}

void frmMain::onPortLost(const QString& reason) {
  setConnected(false);
  dialogs_.message(this, tr("The serial port was lost."),
                   tr("%1. The simulator is disconnected; press Connect once the device is "
                      "back.")
                       .arg(reason));
}

void frmMain::closeEvent(QCloseEvent* event) {
  const QString module = cboModule_->currentIndex() == 0 ? QStringLiteral("1602")
                                                         : QStringLiteral("2004");
  const std::pair<const char*, const char*> keys[] = {{kSettings, kCommPortKey},
                                                      {kSettings, kSettingKey},
                                                      {kLcd, kModuleKey}};
  const QString values[] = {vars_.gCommPort, vars_.gCommSetting, module};
  QString firstError;
  for (int i = 0; i < 3; ++i) {
    QString error;
    if (!ini_.WriteINI(QLatin1String(keys[i].first), QLatin1String(keys[i].second), values[i],
                       &error) &&
        firstError.isEmpty())
      firstError = error;
  }
  if (!firstError.isEmpty())
    dialogs_.message(this, tr("The settings were not saved to %1.").arg(ini_.INIFilePath()),
                     firstError);
  MSComm1_->close();
  event->accept();
}

}  // namespace vantor
