#include "ui/config/Config1602Window.h"

#include "core/display/DisplayPreview.h"
#include "core/settings/IniFile.h"
#include "ui/LcdView.h"
#include "ui/WindowParts.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>

namespace vantor {

namespace {

// Register bytes and trip points alike, without a prefix.
const ListEntries& bytes() {
  static const ListEntries entries = byteEntries(QString());
  return entries;
}

const FieldEntries& fieldEntries() {
  namespace keys = ini::cfg1602;
  static const FieldEntries entries{
      numberEntries(keys::kAddress), bytes(),
      numberEntries(keys::kDigits),  numberEntries(keys::kDecimals),
      numberEntries(keys::kStart),   dataTypeEntries(&DataTypeInfo::twoLineName)};
  return entries;
}

QString text(const char* caption) {
  return QString::fromLatin1(caption);
}

// Over the pair of trip-point lists; a list's own caption adds which byte it holds.
constexpr const char* kAlarmTrip = "Alarm Trip Point";

// Fills the Modbus Command frame's grid top to bottom. Columns 0 and 1 hold the lists (the
// register and alarm pairs side by side); captions beside a single list start at column 1, so
// that they line up with the second list of a pair.
class CommandGrid {
 public:
  explicit CommandGrid(QGroupBox* box) : box_(box), grid_(new QGridLayout(box)) {
    grid_->setVerticalSpacing(5);
    grid_->setHorizontalSpacing(10);
  }

  void single(QComboBox* list, const char* caption) {
    grid_->addWidget(list, row_, 0);
    grid_->addWidget(vantor::caption(text(caption), list, box_), row_++, 1, 1, 2);
  }
  // The data type names are the longest entries: their list spans both list columns.
  void wide(QWidget* control, const QString& caption) {
    grid_->addWidget(control, row_, 0, 1, 2);
    grid_->addWidget(vantor::caption(caption, control, box_), row_++, 2);
  }
  // Captions over a pair of lists, and `note` beside them.
  void pairCaptions(const WordLists& lists, const char* high, const char* low,
                    const QString& note) {
    grid_->addWidget(vantor::caption(text(high), lists.high, box_), row_, 0);
    grid_->addWidget(vantor::caption(text(low), lists.low, box_), row_, 1);
    grid_->addWidget(new QLabel(note, box_), row_++, 2);
  }
  void pair(const WordLists& lists, QWidget* beside = nullptr) {
    grid_->addWidget(lists.high, row_, 0);
    grid_->addWidget(lists.low, row_, 1);
    if (beside) grid_->addWidget(beside, row_, 2);
    ++row_;
  }
  void across(QWidget* widget) { grid_->addWidget(widget, row_++, 0, 1, 3); }
  void across(QLayout* layout) { grid_->addLayout(layout, row_++, 0, 1, 3); }
  void gap() { grid_->setRowMinimumHeight(row_++, 4); }

  // Below the last row, the rest of the height; both list columns as wide as `pairWidth`.
  void finish(int pairWidth) {
    grid_->setRowStretch(row_, 1);
    grid_->setColumnStretch(2, 1);
    grid_->setColumnMinimumWidth(0, pairWidth);
    grid_->setColumnMinimumWidth(1, pairWidth);
  }

 private:
  QGroupBox* box_;
  QGridLayout* grid_;
  int row_ = 0;
};

}  // namespace

Config1602Window::Config1602Window(IniFile& ini, Dialogs& dialogs)
    : ConfigWindow(ini, dialogs, QStringLiteral("frmCfg1602"),
                   QStringLiteral("Configure KV-216/KV-216L"), QStringLiteral("cmdConfig1602")) {
  addControls();
  buildLayout();
}

Config1602Window::~Config1602Window() = default;

// Made in the order the keyboard visits them.
void Config1602Window::addControls() {
  addCommunicationLists(this);
  field_ = addFieldLists(fieldEntries(), std::nullopt, this);
  alarmTrip_.high =
      addList(QStringLiteral("cboAlarmHi"), text(kAlarmTrip) + QLatin1String(" Hi"), bytes(), this);
  alarmTrip_.low =
      addList(QStringLiteral("cboAlarmLo"), text(kAlarmTrip) + QLatin1String(" Lo"), bytes(), this);
  for (int r = 0; r < frame1602::kRowCount; ++r) {
    rows_[r] = new QLineEdit(this);
    rows_[r]->setObjectName(QStringLiteral("txtLine%1").arg(r));
  }
  addFunctionCodes(field_, std::nullopt, this);
  sample_ = addSampleBox(std::nullopt, this);
  alarmValue_ = new QLabel(this);
  alarmValue_->setObjectName(QStringLiteral("lblAlarmValue"));
}

void Config1602Window::styleList(QComboBox* list, const ListEntries&) {
  list->setMaxVisibleItems(16);
}

QGroupBox* Config1602Window::buildCommunication() {
  auto* box = new QGroupBox(QStringLiteral("Communication"), this);
  box->setObjectName(QStringLiteral("fComm"));
  auto* grid = new QGridLayout(box);
  const std::pair<QComboBox*, const char*> lists[] = {{baud_, captions::kBaud},
                                                      {dataFormat_, captions::kDataFormat},
                                                      {pollInterval_, captions::kPollInterval}};
  int row = 0;
  for (const auto& [list, caption] : lists) {
    grid->addWidget(list, row, 0);
    grid->addWidget(vantor::caption(text(caption), list, box), row++, 1);
  }
  grid->setColumnStretch(1, 1);
  return box;
}

QGroupBox* Config1602Window::buildDisplayText() {
  auto* box = new QGroupBox(QStringLiteral("Display Text"), this);
  box->setObjectName(QStringLiteral("fText"));
  auto* grid = new QGridLayout(box);
  // Fixed-pitch rows line up character for character with the module's sixteen columns.
  QFont mono(QStringLiteral("Monospace"));
  mono.setStyleHint(QFont::TypeWriter);
  mono.setPointSizeF(9.0);
  auto* textHeading = heading(QStringLiteral("Text"), box);
  textHeading->setBuddy(rows_[0]);
  grid->addWidget(textHeading, 0, 0);
  for (int r = 0; r < frame1602::kRowCount; ++r) {
    QLineEdit* row = rows_[r];
    row->setMaxLength(frame1602::kRowWidth);
    row->setFont(mono);
    // A character more than the row holds, so the cursor never hides the last one.
    row->setFixedWidth(
        QFontMetrics(mono).horizontalAdvance(QString(frame1602::kRowWidth + 1, u'M')) + 8);
    connect(row, &QLineEdit::textEdited, this,
            [row](const QString& typed) { keepRowPrintable(row, typed); });
    previewRow(row);
    grid->addWidget(row, r + 1, 0);
    grid->addWidget(caption(QStringLiteral("row %1").arg(r), row, box), r + 1, 1);
  }
  // Below the rows, the display as they and the sample value make it.
  grid->addWidget(preview_, frame1602::kRowCount + 1, 0, 1, 2, Qt::AlignLeft);
  grid->addWidget(findings_, frame1602::kRowCount + 2, 0, 1, 2);
  grid->setColumnStretch(1, 1);
  return box;
}

// What the module polls and how it shows it.
QGroupBox* Config1602Window::buildModbusCommand() {
  auto* box = new QGroupBox(QStringLiteral("Modbus Command"), this);
  box->setObjectName(QStringLiteral("fModbus"));
  CommandGrid grid(box);
  grid.single(field_.slaveAddress, captions::kSlaveAddress);
  grid.gap();
  grid.pairCaptions(field_.startRegister, captions::kRegisterHi, captions::kRegisterLo,
                    QStringLiteral("(Start Register)"));
  grid.pair(field_.startRegister);

  auto* functionCodes = new QHBoxLayout;
  functionCodes->addWidget(field_.holdingRegisters);
  functionCodes->addSpacing(12);
  functionCodes->addWidget(field_.inputRegisters);
  functionCodes->addStretch(1);
  grid.across(functionCodes);

  grid.gap();
  grid.across(heading(QStringLiteral("Data"), box));
  grid.single(field_.digits, captions::kDigits);
  grid.single(field_.decimals, captions::kDecimals);
  grid.single(field_.startLocation, captions::kStartLocation);
  grid.wide(field_.dataType, text(captions::kDataType));
  grid.wide(sample_, QStringLiteral("Sample value (preview)"));
  grid.gap();
  grid.across(caption(text(kAlarmTrip), alarmTrip_.high, box));
  grid.pair(alarmTrip_, alarmValue_);
  // Both list columns as wide as the wider pair caption, so that the pairs look like pairs.
  const QFontMetrics fm(box->font());
  grid.finish(std::max(fm.horizontalAdvance(text(captions::kRegisterHi)),
                       fm.horizontalAdvance(text(captions::kRegisterLo))));
  return box;
}

void Config1602Window::buildLayout() {
  // Left half: the module's own line settings, the two rows, the send button; right half:
  // what the module polls.
  sendButton_->setMinimumWidth(150);
  auto* left = new QVBoxLayout;
  left->addWidget(buildCommunication());
  left->addWidget(buildDisplayText());
  left->addStretch(1);
  left->addWidget(sendButton_, 0, Qt::AlignHCenter);
  auto* halves = new QHBoxLayout;
  halves->addLayout(left, 0);
  halves->addWidget(buildModbusCommand(), 1);

  // What the window has to say about its port and its settings, in words rather than boxes.
  // A framed note in the palette's own colours, readable on light and dark palettes alike.
  notice_->setFrameShape(QFrame::StyledPanel);
  notice_->setMargin(4);
  notice_->setAutoFillBackground(true);
  notice_->setBackgroundRole(QPalette::AlternateBase);
  markText(notice_, Mark::Notice);
  notice_->hide();

  auto* root = new QVBoxLayout(content());
  root->addLayout(halves);
  root->addWidget(portStatus_);
  root->addWidget(notice_);

  orderTabs(QList<QWidget*>{baud_, dataFormat_, pollInterval_, rows_[0], rows_[1], sendButton_} +
            fieldTabOrder(field_) + QList<QWidget*>{sample_, alarmTrip_.high, alarmTrip_.low});

  // Measured with the lists filled, so that no entry is cut.
  fillLists();
  updatePreview();
  content()->setFixedWidth(content()->sizeHint().width());
  linesChanged();
}

void Config1602Window::linesChanged() {
  QLayout* l = content()->layout();
  if (!l) return;
  l->activate();
  content()->setFixedHeight(l->hasHeightForWidth() ? l->totalHeightForWidth(content()->width())
                                                   : l->totalSizeHint().height());
  fitWindow();
}

void Config1602Window::updatePreview() {
  if (!alarmValue_) return;  // still being built
  const Config1602 cfg = record();
  showTripValue(alarmValue_, cfg.alarmTrip, cfg.field);
  showPreview(previewDisplay(cfg, sampleReading(0, cfg.field)));
}

QString Config1602Window::restore() {
  fillLists();
  const Config1602Load load = loadConfig1602(ini_);
  showRecord(load.cfg);
  return load.notice;
}

void Config1602Window::showRecord(const Config1602& cfg) {
  showLine(cfg.line);
  lineText_ = cfg.lineText;
  chooseValue(pollInterval_, cfg.pollInterval);
  field_.show(cfg.field);
  alarmTrip_.show(cfg.alarmTrip);
  for (int r = 0; r < frame1602::kRowCount; ++r) rows_[r]->setText(cfg.rows[r]);
}

Config1602 Config1602Window::record() const {
  Config1602 cfg;
  cfg.line = chosenLine();
  cfg.lineText = lineText_;
  cfg.pollInterval = chosenValue(pollInterval_).value_or(0);
  cfg.field = field_.field();
  cfg.alarmTrip = alarmTrip_.value();
  for (int r = 0; r < frame1602::kRowCount; ++r) cfg.rows[r] = rows_[r]->text();
  return cfg;
}

FrameBytes Config1602Window::encode() const {
  return frameBytes(encodeConfig1602(record()));
}

bool Config1602Window::save(QString* error) {
  return saveConfig1602(ini_, record(), error);
}

}  // namespace vantor
