#include "ui/config/ConfigWindow.h"

#include "core/config/Config2004.h"
#include "core/display/DisplayPreview.h"
#include "core/modbus/HexText.h"
#include "core/settings/IniFile.h"
#include "core/simulator/TypedValue.h"
#include "serial/PortMap.h"
#include "serial/SerialPort.h"
#include "ui/Dialogs.h"
#include "ui/Help.h"
#include "ui/LcdView.h"
#include "ui/WindowParts.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QStandardItemModel>
#include <QStyle>
#include <QTime>
#include <QVBoxLayout>

namespace vantor {

namespace {

// Refilled without signals; the restore that follows chooses an entry and raises what the
// choice means. The items go in with one insertion, as addItems() puts them: the four-line
// window refills thousands of entries at each opening.
void fill(QComboBox* list, const ListEntries& entries) {
  const QSignalBlocker quiet(list);
  list->clear();
  QList<QStandardItem*> items;
  items.reserve(entries.size());
  for (const auto& [text, value] : entries) {
    auto* item = new QStandardItem(text);
    item->setData(value, Qt::UserRole);
    items << item;
  }
  qobject_cast<QStandardItemModel*>(list->model())->invisibleRootItem()->appendRows(items);
  list->setCurrentIndex(-1);
}

// Element k of a control array is called name_k, and messages name its setting by field.
QString controlName(const char* name, std::optional<int> k) {
  const QString control = QString::fromLatin1(name);
  return k ? QStringLiteral("%1_%2").arg(control).arg(*k) : control;
}
QString settingCaption(const char* caption, std::optional<int> k) {
  const QString text = QString::fromLatin1(caption);
  return k ? fieldCaption(text, *k) : text;
}

}  // namespace

ListEntries numberEntries(const NumberKey& key) {
  ListEntries entries;
  for (int value = key.first; value <= key.last; ++value)
    entries.append({QString::number(value), value});
  return entries;
}

ListEntries byteEntries(const QString& prefix) {
  ListEntries entries;
  for (int value = 0; value <= 0xFF; ++value)
    entries.append({prefix + hexDigits(unsigned(value)), value});
  return entries;
}

ListEntries baudEntries() {
  ListEntries entries;
  for (const int baud : kBaudRates) entries.append({QString::number(baud), baud});
  return entries;
}

ListEntries dataFormatEntries() {
  ListEntries entries;
  for (std::size_t i = 0; i < kDataFormats.size(); ++i)
    entries.append({QString::fromLatin1(kDataFormats[i].label), int(i)});
  return entries;
}

ListEntries dataTypeEntries(const char* DataTypeInfo::*name) {
  ListEntries entries;
  for (const DataTypeInfo& type : kDataTypes)
    entries.append({QString::fromLatin1(type.*name), int(type.type)});
  return entries;
}

std::optional<int> chosenValue(const QComboBox* list) {
  if (list->currentIndex() < 0) return std::nullopt;
  return list->currentData().toInt();
}

void chooseValue(QComboBox* list, std::optional<int> value) {
  list->setCurrentIndex(value ? list->findData(*value) : -1);
}

void WordLists::show(std::uint16_t value) const {
  chooseValue(high, highByte(value));
  chooseValue(low, lowByte(value));
}

std::uint16_t WordLists::value() const {
  return std::uint16_t(chosenValue(high).value_or(0) << 8 | chosenValue(low).value_or(0));
}

void FieldControls::show(const DataField& field) const {
  chooseValue(slaveAddress, field.slaveAddress);
  startRegister.show(field.startRegister);
  chooseValue(digits, field.digits);
  chooseValue(decimals, field.decimals);
  chooseValue(startLocation, field.startLocation);
  chooseValue(dataType, int(field.dataType));
  (field.functionCode == 3 ? holdingRegisters : inputRegisters)->setChecked(true);
}

DataField FieldControls::field() const {
  DataField field;
  field.slaveAddress = chosenValue(slaveAddress).value_or(0);
  field.functionCode = holdingRegisters->isChecked() ? 3 : 4;
  field.startRegister = startRegister.value();
  field.dataType = DataType(chosenValue(dataType).value_or(0));
  field.digits = chosenValue(digits).value_or(0);
  field.decimals = chosenValue(decimals).value_or(0);
  field.startLocation = chosenValue(startLocation).value_or(0);
  return field;
}

ConfigWindow::ConfigWindow(IniFile& ini, Dialogs& dialogs, const QString& objectName,
                           const QString& title, const QString& sendButtonName)
    : ini_(ini), dialogs_(dialogs) {
  setObjectName(objectName);
  setWindowTitle(title);
  setFont(windowFont());
  giveHelpKey(this, help::kConfigWindow);
  scroll_ = new QScrollArea(this);
  scroll_->setFrameShape(QFrame::NoFrame);
  scroll_->setWidgetResizable(true);
  content_ = new QWidget;
  scroll_->setWidget(content_);
  auto* root = new QVBoxLayout(this);
  root->setContentsMargins(0, 0, 0, 0);
  root->addWidget(scroll_);

  port_ = new SerialPort([&ini](int port) { return devicePathForPort(ini, port); }, this);
  port_->setObjectName(QStringLiteral("MSComm1"));
  connect(port_, &SerialPort::lost, this, [this](const QString& reason) {
    portError_ = reason;
    showStatus(reason, true);
  });

  portStatus_ = new QLabel(this);
  portStatus_->setObjectName(QStringLiteral("lblPortStatus"));
  notice_ = new QLabel(this);
  notice_->setObjectName(QStringLiteral("lblNotice"));
  for (QLabel* label : {portStatus_, notice_}) {
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  }
  noticeHolder_ = notice_;

  preview_ = new LcdView(this);
  findings_ = new QLabel(this);
  findings_->setObjectName(QStringLiteral("lblFindings"));
  findings_->setWordWrap(true);
  findings_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  // As wide as the preview above it, whatever it says.
  findings_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  markText(findings_, Mark::Notice);

  sendButton_ = new QPushButton(QStringLiteral("Send Config. Data"), this);
  sendButton_->setObjectName(sendButtonName);
  sendButton_->setAutoDefault(true);  // Enter on it presses it
  sendButton_->setMinimumHeight(32);
  giveAccessKey(sendButton_, Qt::Key_S);
  connect(sendButton_, &QPushButton::clicked, this, &ConfigWindow::sendClicked);
}

ConfigWindow::~ConfigWindow() = default;

void ConfigWindow::fitWindow() {
  QSize whole = content_->minimumSize().expandedTo(content_->sizeHint());
  setMaximumSize(whole);
  resize(whole);
  fitToScreen(this);
  if (height() < whole.height()) {
    // It scrolls up and down: room for the scroll bar, so that it need not scroll sideways.
    whole.rwidth() += style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, scroll_);
    setMaximumSize(whole);
    resize(whole.width(), height());
    fitToScreen(this);
  }
}

void ConfigWindow::orderTabs(const QList<QWidget*>& order) {
  for (qsizetype k = 1; k < order.size(); ++k) setTabOrder(order[k - 1], order[k]);
}

QList<QWidget*> ConfigWindow::fieldTabOrder(const FieldControls& field) {
  return {field.slaveAddress,     field.startRegister.high, field.startRegister.low,
          field.holdingRegisters, field.inputRegisters,     field.digits,
          field.decimals,         field.startLocation,      field.dataType};
}

// Escape closes the window the way its title bar does, with the same question.
void ConfigWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    close();
    return;
  }
  QWidget::keyPressEvent(event);
}

QComboBox* ConfigWindow::addList(const QString& control, const QString& caption,
                                 const ListEntries& entries, QWidget* parent) {
  auto* list = new QComboBox(parent);
  list->setObjectName(control);
  list->setAccessibleName(caption);
  styleList(list, entries);
  lists_.push_back({list, caption, entries});
  connect(list, &QComboBox::currentIndexChanged, this, &ConfigWindow::updatePreview);
  return list;
}

void ConfigWindow::addCommunicationLists(QWidget* parent) {
  const auto add = [&](const char* control, const char* caption, const ListEntries& entries) {
    return addList(QString::fromLatin1(control), QString::fromLatin1(caption), entries, parent);
  };
  baud_ = add("cboBaud", captions::kBaud, baudEntries());
  dataFormat_ = add("cboDF1", captions::kDataFormat, dataFormatEntries());
  pollInterval_ = add("cboSampling", captions::kPollInterval, numberEntries(ini::kInterval));
}

FieldControls ConfigWindow::addFieldLists(const FieldEntries& entries, std::optional<int> k,
                                          QWidget* parent) {
  const auto add = [&](const char* control, const char* caption, const ListEntries& offered) {
    return addList(controlName(control, k), settingCaption(caption, k), offered, parent);
  };
  FieldControls field;
  field.slaveAddress = add("cboSlaveID", captions::kSlaveAddress, entries.addresses);
  field.startRegister.high = add("cboSAH", captions::kRegisterHi, entries.registerBytes);
  field.startRegister.low = add("cboSAL", captions::kRegisterLo, entries.registerBytes);
  field.digits = add("cboDWidth", captions::kDigits, entries.digits);
  field.decimals = add("cboDP", captions::kDecimals, entries.decimals);
  field.startLocation = add("cboStart", captions::kStartLocation, entries.startLocations);
  field.dataType = add("cboDT", captions::kDataType, entries.dataTypes);
  return field;
}

void ConfigWindow::addFunctionCodes(FieldControls& field, std::optional<int> k, QWidget* parent) {
  field.holdingRegisters = new QRadioButton(QStringLiteral("Function Code 03"), parent);
  field.holdingRegisters->setObjectName(controlName("opt03", k));
  field.inputRegisters = new QRadioButton(QStringLiteral("Function Code 04"), parent);
  field.inputRegisters->setObjectName(controlName("opt04", k));
  auto* functionCode = new QButtonGroup(parent);
  functionCode->addButton(field.holdingRegisters);
  functionCode->addButton(field.inputRegisters);
  field.holdingRegisters->setChecked(true);
}

void ConfigWindow::fillLists() {
  for (const OfferedList& offered : lists_) fill(offered.list, offered.entries);
}

void ConfigWindow::previewRow(QLineEdit* row) {
  connect(row, &QLineEdit::textChanged, this, &ConfigWindow::updatePreview);
}

QLineEdit* ConfigWindow::addSampleBox(std::optional<int> k, QWidget* parent) {
  auto* box = new QLineEdit(parent);
  box->setObjectName(controlName("txtSample", k));
  box->setAccessibleName(QStringLiteral("Field %1 sample value").arg(k.value_or(0) + 1));
  box->setToolTip(QStringLiteral("The value the display preview shows in this field's cells"));
  const std::size_t index = samples_.size();
  samples_.push_back({box, false});
  // Emptied, it holds the field's widest value again.
  connect(box, &QLineEdit::textEdited, this, [this, index](const QString& text) {
    samples_[index].typed = !text.isEmpty();
    updatePreview();
  });
  return box;
}

FieldReading ConfigWindow::sampleReading(std::size_t index, const DataField& field) {
  SampleBox& sample = samples_.at(index);
  if (!sample.typed) {
    const QString widest = widestSample(field);
    if (sample.box->text() != widest) sample.box->setText(widest);
  }
  const TypedParse parsed = encodeTyped(sample.box->text(), {field.dataType, field.decimals});
  if (parsed.raw) return {parsed.raw, {}};
  return {std::nullopt, tr("the sample value cannot be shown. %1").arg(parsed.refusal)};
}

void ConfigWindow::showPreview(const DisplayPreview& preview) {
  preview_->setPreview(preview);
  const QString findings = preview.findings.join(u'\n');
  if (findings_->text() == findings) return;
  findings_->setText(findings);
  linesChanged();
}

void ConfigWindow::showTripValue(QLabel* label, std::uint16_t trip, const DataField& field) {
  label->setText(tr("shows %1").arg(decodeTyped(trip, {field.dataType, field.decimals})));
}

ModuleLine ConfigWindow::chosenLine() const {
  return {chosenValue(baud_), chosenValue(dataFormat_)};
}

void ConfigWindow::showLine(const ModuleLine& line) const {
  chooseValue(baud_, line.baud);
  chooseValue(dataFormat_, line.format);
}

QStringList ConfigWindow::listsWithoutChoice() const {
  QStringList unchosen;
  for (const OfferedList& offered : lists_)
    if (offered.list->currentIndex() < 0) unchosen << offered.caption;
  return unchosen;
}

void ConfigWindow::showWindow(int commPort) {
  if (isVisible()) {
    if (isMinimized()) showNormal();
    raise();
    activateWindow();
    return;
  }
  openPort(commPort);
  showNotice(restore());
  open_ = true;
  show();
  if (!port_->isOpen())
    dialogs_.message(this, tr("The configuration port could not be opened."), portError_);
}

void ConfigWindow::openPort(int commPort) {
  port_->close();
  port_->setLineSettings(kConfigLine);
  port_->setCommPort(commPort);
  portError_.clear();
  if (!port_->open(&portError_)) {
    showStatus(portError_, true);
    return;
  }
  const QString status = tr("Port %1 (%2) is open at %3.")
                             .arg(commPort)
                             .arg(port_->deviceName(), formatLineSettings(kConfigLine));
  const QString notice = port_->settingsNotice();
  showStatus(notice.isEmpty() ? status : status + u' ' + notice, !notice.isEmpty());
}

void ConfigWindow::sendClicked() {
  // A list without a choice stands for no value, so the record cannot say which one it is.
  const QStringList unchosen = listsWithoutChoice();
  const FrameBytes frame =
      unchosen.isEmpty() ? encode() : FrameBytes{{}, refusalMessage(unchosen), unchosen};
  if (frame.bytes.isEmpty()) {
    dialogs_.message(this, frame.refusal);
    return;
  }
  if (!port_->isOpen()) {
    dialogs_.message(this, tr("Nothing was sent: port %1 is not open.").arg(port_->commPort()),
                     tr("%1\nClose this window (answer Yes to keep your settings), check the port "
                        "on the main window and press Configure LCD again.")
                         .arg(portError_));
    return;
  }
  const WriteResult result = port_->writeAndDrain(frame.bytes);
  if (!result.ok()) {
    const QString what = tr("%1 (to %2)").arg(result.message(), port_->describe());
    showStatus(what, true);
    dialogs_.message(this, what);
    return;
  }
  // What the opening said of the restored values (first-use defaults, say) held until they
  // were sent; now the module has them.
  showNotice({});
  showStatus(
      tr("Sent %1 bytes to port %2 (%3) at %4.")
          .arg(frame.bytes.size())
          .arg(port_->commPort())
          .arg(port_->deviceName(), QTime::currentTime().toString(QStringLiteral("HH:mm:ss"))),
      false);
}

void ConfigWindow::showStatus(const QString& text, bool failed) {
  portStatus_->setText(text);
  if (failed)
    markText(portStatus_, Mark::Failure);
  else
    portStatus_->setPalette(QPalette());
  linesChanged();
}

void ConfigWindow::showNotice(const QString& text) {
  notice_->setText(text);
  noticeHolder_->setVisible(!text.isEmpty());
  linesChanged();
}

void ConfigWindow::closeEvent(QCloseEvent* event) {
  event->accept();
  if (!open_) return;
  // Cancel (and Escape on the question) keeps the window open with its edits: a second
  // Escape must not throw them away.
  const Dialogs::Answer answer =
      dialogs_.askYesNoCancel(this, QStringLiteral("Save Config. Data ?"));
  if (answer == Dialogs::Answer::Cancel) {
    event->ignore();
    return;
  }
  open_ = false;
  if (answer == Dialogs::Answer::Yes) {
    // A save that failed (another program kept the lock, a full disk) can be tried again
    // before the window goes.
    QString error;
    bool saved = false;
    while (!(saved = save(&error)) &&
           dialogs_.askRetry(
               this, tr("The configuration was not saved to %1.").arg(ini_.filePath()), error)) {
    }
    if (saved) showNotice({});
  }
  // Whatever was handed to the port leaves before the device is let go.
  port_->close();
}

void keepRowPrintable(QLineEdit* row, const QString& typed) {
  const QString shown = printableRow(typed);
  if (shown == typed) return;
  const int cursor = int(printableRow(QStringView(typed).left(row->cursorPosition())).size());
  row->setText(shown);
  row->setCursorPosition(cursor);
}

}  // namespace vantor
