#include "ui/LinePanel.h"

#include "core/settings/IniFile.h"
#include "core/settings/Schema.h"
#include "serial/PortMap.h"
#include "ui/WindowParts.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QRadioButton>
#include <QTimer>

namespace vantor {

namespace {

constexpr int kPortCount = 20;

// A stored port number, read as every number of the file is: 0..20 (0: none chosen); anything
// else gives nothing.
std::optional<int> storedPortNumber(const QString& text) {
  const auto value = readNumber(text);
  if (!value || *value < 0 || *value > kPortCount) return std::nullopt;
  return int(*value);
}

QComboBox* namedCombo(const QString& name, QWidget* parent) {
  auto* combo = new QComboBox(parent);
  combo->setObjectName(name);
  return combo;
}

}  // namespace

LinePanel::LinePanel(const IniFile& ini, QWidget* parent)
    : QGroupBox(QStringLiteral("Comm Port Settings"), parent), ini_(ini) {
  setObjectName(QStringLiteral("fComm"));
  auto* baud = new QButtonGroup(this);
  for (std::size_t i = 0; i < baudButtons_.size(); ++i) {
    baudButtons_[i] = new QRadioButton(QStringLiteral("%1 bps").arg(kBaudRates[i]), this);
    baudButtons_[i]->setObjectName(QStringLiteral("opt%1").arg(kBaudRates[i]));
    baud->addButton(baudButtons_[i]);
    // Alt and the rate's first digit: 9, 1, 3.
    giveAccessKey(baudButtons_[i],
                  Qt::Key(Qt::Key_0 + QString::number(kBaudRates[i]).front().digitValue()));
  }
  dataFormatList_ = namedCombo(QStringLiteral("cboDF"), this);
  portList_ = namedCombo(QStringLiteral("cboComm"), this);
  moduleList_ = namedCombo(QStringLiteral("cboModule"), this);
  deviceLabel_ = new QLabel(this);
  deviceLabel_->setObjectName(QStringLiteral("lblDevice"));
  deviceLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* grid = new QGridLayout(this);
  auto* baudRow = new QHBoxLayout;
  for (auto* opt : baudButtons_) baudRow->addWidget(opt);
  baudRow->addStretch();
  grid->addLayout(baudRow, 0, 0, 1, 4);
  grid->addWidget(dataFormatList_, 1, 0);
  grid->addWidget(caption(QStringLiteral("Data Format"), dataFormatList_, this), 1, 1);
  grid->addWidget(portList_, 1, 2);
  grid->addWidget(caption(QStringLiteral("Select Port Number"), portList_, this), 1, 3);
  grid->addWidget(moduleList_, 2, 0);
  grid->addWidget(caption(QStringLiteral("Select Module"), moduleList_, this), 2, 1);
  grid->addWidget(deviceLabel_, 2, 2, 1, 2);
  grid->setColumnStretch(3, 1);

  // Enter on a control of the line is Connect: the line is what Connect opens. Elsewhere
  // (a value list, a filter) Enter does only what that control does.
  for (QWidget* w : tabOrder()) w->installEventFilter(this);
}

void LinePanel::restore(const IniSnapshot& file) {
  for (std::size_t i = 0; i < kDataFormats.size(); ++i)
    dataFormatList_->addItem(QString::fromLatin1(kDataFormats[i].label), int(i));
  for (int n = 1; n <= kPortCount; ++n) portList_->addItem(QString::number(n), n);
  moduleList_->addItem(QStringLiteral("KV-216"), QLatin1String(ini::lcd::kTwoLine));
  moduleList_->addItem(QStringLiteral("KV-420"), QLatin1String(ini::lcd::kFourLine));

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

  connect(portList_, &QComboBox::currentIndexChanged, this, &LinePanel::showDevice);
  connect(moduleList_, &QComboBox::currentIndexChanged, this, &LinePanel::moduleChanged);
  showDevice();
  watchDevices();
}

LineChoice LinePanel::lineChoice() const {
  LineChoice choice;
  for (std::size_t i = 0; i < baudButtons_.size(); ++i)
    if (baudButtons_[i]->isChecked()) choice.baud = int(i);
  if (dataFormatList_->currentIndex() >= 0) choice.format = dataFormatList_->currentData().toInt();
  return choice;
}

int LinePanel::chosenPort() const {
  return portList_->currentIndex() < 0 ? 0 : portList_->currentData().toInt();
}

QString LinePanel::module() const {
  return moduleList_->currentData().toString();
}

void LinePanel::choose(const LineSettings& settings) {
  for (std::size_t i = 0; i < kBaudRates.size(); ++i)
    if (kBaudRates[i] == settings.baud) baudButtons_[i]->setChecked(true);
  for (std::size_t i = 0; i < kDataFormats.size(); ++i)
    if (kDataFormats[i].parity == settings.parity && kDataFormats[i].stopBits == settings.stopBits)
      dataFormatList_->setCurrentIndex(dataFormatList_->findData(int(i)));
}

void LinePanel::remember() {
  storedPort_ = QString::number(chosenPort());
  storedSetting_ = formatLineChoice(lineChoice());
}

std::vector<IniEntry> LinePanel::entries() const {
  using namespace ini;
  return {textEntry(settings::kSection, QLatin1String(settings::kCommPort), storedPort_),
          textEntry(settings::kSection, QLatin1String(settings::kLineSettings), storedSetting_),
          textEntry(lcd::kSection, QLatin1String(lcd::kModule), module())};
}

QString LinePanel::devicePath(int port) const {
  return devicePathForPort(ini_, port, devFolder_);
}

void LinePanel::setDeviceFolder(const QString& folder) {
  devFolder_ = folder;
  devicesPresent_ = serialDevicesPresent(devFolder_);
  showDevice();
}

QList<QWidget*> LinePanel::tabOrder() const {
  return {baudButtons_[0], baudButtons_[1], baudButtons_[2],
          dataFormatList_, portList_,       moduleList_};
}

bool LinePanel::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    if (enter && key->modifiers() == Qt::NoModifier) {
      emit enterPressed();
      return true;
    }
  }
  return QGroupBox::eventFilter(watched, event);
}

void LinePanel::showDevice() {
  const int port = chosenPort();
  const QString device = devicePath(port);
  const QString adapter = device.isEmpty() ? QString() : adapterDescription(device);
  deviceLabel_->setText(port < 1            ? QString()
                        : device.isEmpty()  ? tr("Device: none found")
                        : adapter.isEmpty() ? tr("Device: %1").arg(device)
                                            : tr("Device: %1, %2").arg(device, adapter));
}

// Adapters plugged in or pulled while the window is open: the device label follows, and the
// window is told which came or went.
void LinePanel::watchDevices() {
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
    emit devicesChanged(said.join(u' '));
  });
  watch->start();
}

}  // namespace vantor
