#include "ui/config/Config2004Window.h"

#include "core/display/DisplayPreview.h"
#include "core/settings/IniFile.h"
#include "ui/LcdView.h"
#include "ui/WindowParts.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QVBoxLayout>

#include <algorithm>

namespace vantor {

namespace {

constexpr int kClientWidth = 851;
constexpr int kClientHeight = 699;

// Register bytes and trip points alike.
const ListEntries& bytes() {
  static const ListEntries entries = byteEntries(QStringLiteral("0x"));
  return entries;
}

const FieldEntries& fieldEntries() {
  namespace keys = ini::cfg2004;
  static const FieldEntries entries{
      numberEntries(keys::kAddress), bytes(),
      numberEntries(keys::kDigits),  numberEntries(keys::kDecimals),
      numberEntries(keys::kStart),   dataTypeEntries(&DataTypeInfo::fourLineName)};
  return entries;
}

QString text(const char* caption) {
  return QString::fromLatin1(caption);
}

// Over each pair of trip-point lists; a list's own caption adds which byte it holds.
constexpr const char* kHighTrip = "Alarm Trip Point (High)";
constexpr const char* kLowTrip = "Alarm Trip Point (Low)";

}  // namespace

Config2004Window::Config2004Window(IniFile& ini, Dialogs& dialogs)
    : ConfigWindow(ini, dialogs, QStringLiteral("frmCfg2004"), QStringLiteral("Configure KV-420"),
                   QStringLiteral("cmdSendCfg")) {
  buildLayout();
  // As designed: no data field taking input, nothing to report.
  updateActiveFields();
  noticeArea_->hide();
}

Config2004Window::~Config2004Window() = default;

// A pick list as wide as its widest entry. The width comes from the entries once, here, rather
// than from the items at every filling: the lists are refilled with thousands of entries at
// each opening, and the layout must not move.
void Config2004Window::styleList(QComboBox* list, const ListEntries& entries) {
  list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  const QFontMetrics metrics(list->font());
  int widest = 0;
  for (const auto& entry : entries)
    widest = std::max(widest, metrics.horizontalAdvance(entry.first));
  QStyleOptionComboBox option;
  option.initFrom(list);
  const QSize content(widest, metrics.height());
  list->setMinimumWidth(
      list->style()->sizeFromContents(QStyle::CT_ComboBox, &option, content, list).width());
}

void Config2004Window::buildLayout() {
  auto* left = new QVBoxLayout;
  left->addWidget(buildCommunication());
  left->addWidget(buildDisplayText());
  left->addWidget(sendButton_);
  // What the window has to say about itself: the port, and first-use defaults. Both wrap
  // within the left column; the notice can name dozens of settings, so it scrolls in the space
  // left below.
  left->addWidget(portStatus_);
  left->addWidget(buildNoticeArea(), 1);
  left->addStretch();

  auto* fields = new QGridLayout;
  for (int k = 0; k < kFieldCount; ++k) fields->addWidget(buildField(k), k / 2, k % 2);

  auto* root = new QHBoxLayout(content());
  root->addLayout(left);
  root->addLayout(fields, 1);

  QList<QWidget*> order{baud_, dataFormat_, pollInterval_, activeFields_};
  for (QLineEdit* row : rows_) order << row;
  order << sendButton_ << noticeArea_;
  for (int k = 0; k < kFieldCount; ++k)
    order << fieldTabOrder(fields_[k]) << samples_[k] << highTrips_[k].high << highTrips_[k].low
          << lowTrips_[k].high << lowTrips_[k].low;
  orderTabs(order);

  // Measured on the four rows it will show.
  updatePreview();

  const int leftWidth = left->sizeHint().width();
  portStatus_->setFixedWidth(leftWidth);
  noticeArea_->setFixedWidth(leftWidth);
  content()->setFixedSize(content()->sizeHint().expandedTo(QSize(kClientWidth, kClientHeight)));
  fitWindow();
}

QScrollArea* Config2004Window::buildNoticeArea() {
  noticeArea_ = new QScrollArea(this);
  noticeHolder_ = noticeArea_;
  markText(notice_, Mark::Notice);
  for (QLabel* label : {portStatus_, notice_}) label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  noticeArea_->setWidget(notice_);
  noticeArea_->setWidgetResizable(true);
  noticeArea_->setFrameShape(QFrame::NoFrame);
  noticeArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  noticeArea_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Ignored);
  noticeArea_->viewport()->setAutoFillBackground(false);
  notice_->setAutoFillBackground(false);
  return noticeArea_;
}

QGroupBox* Config2004Window::buildCommunication() {
  auto* box = new QGroupBox(QStringLiteral("Communication"), this);
  box->setObjectName(QStringLiteral("fComm"));
  addCommunicationLists(box);
  activeFields_ = addList(QStringLiteral("cboAF"), text(captions::kActiveFields),
                          numberEntries(ini::settings::kActiveFields), box);
  const std::pair<QComboBox*, const char*> lists[] = {{baud_, captions::kBaud},
                                                      {dataFormat_, captions::kDataFormat},
                                                      {pollInterval_, captions::kPollInterval},
                                                      {activeFields_, captions::kActiveFields}};
  auto* grid = new QGridLayout(box);
  int row = 0;
  for (const auto& [list, caption] : lists) {
    grid->addWidget(list, row, 0);
    grid->addWidget(vantor::caption(text(caption), list, box), row++, 1);
  }
  grid->setColumnStretch(1, 1);
  connect(activeFields_, &QComboBox::currentIndexChanged, this,
          &Config2004Window::updateActiveFields);
  return box;
}

QGroupBox* Config2004Window::buildDisplayText() {
  auto* box = new QGroupBox(QStringLiteral("Display Text"), this);
  box->setObjectName(QStringLiteral("fText"));
  auto* grid = new QGridLayout(box);
  grid->addWidget(heading(QStringLiteral("Text"), box), 0, 0);

  // Fixed pitch, so that the rows line up as on the module's display.
  QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  fixed.setPointSizeF(9);
  for (int r = 0; r < frame2004::kRowCount; ++r) {
    auto* row = new QLineEdit(box);
    row->setObjectName(QStringLiteral("txtLine%1").arg(r));
    row->setFont(fixed);
    row->setMaxLength(frame2004::kRowWidth);
    row->setAccessibleName(QStringLiteral("row %1").arg(r));
    row->setMinimumWidth(
        QFontMetrics(fixed).horizontalAdvance(QString(frame2004::kRowWidth + 2, u'W')));
    connect(row, &QLineEdit::textEdited, this,
            [row](const QString& text) { keepRowPrintable(row, text); });
    previewRow(row);
    grid->addWidget(row, r + 1, 0);
    grid->addWidget(caption(QStringLiteral("row %1").arg(r), row, box), r + 1, 1);
    rows_[r] = row;
  }
  // Below the rows, the display as they and the sample values make it.
  grid->addWidget(preview_, frame2004::kRowCount + 1, 0, 1, 2, Qt::AlignLeft);
  grid->addWidget(findings_, frame2004::kRowCount + 2, 0, 1, 2);
  grid->setColumnStretch(1, 1);
  return box;
}

// Made in the order the keyboard visits them: the field's lists, then its function codes.
void Config2004Window::addFieldControls(int k, QWidget* parent) {
  fields_[k] = addFieldLists(fieldEntries(), k, parent);
  const auto trip = [&](const char* high, const char* low, const char* caption) {
    const auto add = [&](const char* control, const char* byte) {
      return addList(QStringLiteral("%1_%2").arg(QLatin1String(control)).arg(k),
                     fieldCaption(text(caption) + QLatin1String(byte), k), bytes(), parent);
    };
    return WordLists{add(high, " Hi"), add(low, " Lo")};
  };
  highTrips_[k] = trip("cboAlarmHi", "cboAlarmLo", kHighTrip);
  lowTrips_[k] = trip("cboALH", "cboALL", kLowTrip);
  addFunctionCodes(fields_[k], k, parent);
  samples_[k] = addSampleBox(k, parent);
  const auto valueLabel = [&](const char* control) {
    auto* label = new QLabel(parent);
    label->setObjectName(QStringLiteral("%1_%2").arg(QLatin1String(control)).arg(k));
    return label;
  };
  highTripValues_[k] = valueLabel("lblHighTripValue");
  lowTripValues_[k] = valueLabel("lblLowTripValue");
}

// Four columns: the register pair and each alarm pair take one list per column; a single list
// takes the first and its caption the rest.
QGroupBox* Config2004Window::buildField(int k) {
  auto* box = new QGroupBox(QStringLiteral("Modbus Command Data Field %1").arg(k + 1), this);
  box->setObjectName(QStringLiteral("faf_%1").arg(k));
  fieldBoxes_[k] = box;
  addFieldControls(k, box);
  const FieldControls& field = fields_[k];

  auto* grid = new QGridLayout(box);
  int row = 0;
  const auto single = [&](QComboBox* list, const char* caption, int span = 1) {
    grid->addWidget(list, row, 0, 1, span);
    grid->addWidget(vantor::caption(text(caption), list, box), row++, span, 1, 4 - span);
  };
  const auto captionAt = [&](const char* caption, QWidget* buddy, int column, int span) {
    grid->addWidget(vantor::caption(text(caption), buddy, box), row, column, 1, span);
  };
  const auto side = [&](std::initializer_list<QWidget*> widgets, int span) {
    int column = 0;
    for (QWidget* widget : widgets) {
      grid->addWidget(widget, row, column, 1, span);
      column += span;
    }
    ++row;
  };
  single(field.slaveAddress, captions::kSlaveAddress);
  captionAt(captions::kRegisterHi, field.startRegister.high, 0, 1);
  captionAt(captions::kRegisterLo, field.startRegister.low, 1, 1);
  captionAt("(Start Register)", field.startRegister.high, 2, 2);
  ++row;
  side({field.startRegister.high, field.startRegister.low}, 1);
  side({field.holdingRegisters, field.inputRegisters}, 2);
  // The sample value the preview shows shares the heading's row: the window fits a laptop's
  // screen.
  grid->addWidget(heading(QStringLiteral("Data"), box), row, 0);
  grid->addWidget(vantor::caption(QStringLiteral("Sample value"), samples_[k], box), row, 1,
                  Qt::AlignRight);
  grid->addWidget(samples_[k], row++, 2, 1, 2);
  single(field.digits, captions::kDigits);
  single(field.decimals, captions::kDecimals);
  single(field.startLocation, captions::kStartLocation);
  single(field.dataType, captions::kDataType, 2);
  captionAt(kHighTrip, highTrips_[k].high, 0, 2);
  captionAt(kLowTrip, lowTrips_[k].high, 2, 2);
  ++row;
  side({highTrips_[k].high, highTrips_[k].low, lowTrips_[k].high, lowTrips_[k].low}, 1);
  side({highTripValues_[k], lowTripValues_[k]}, 2);

  grid->setRowStretch(row, 1);
  for (int c = 0; c < 4; ++c) grid->setColumnStretch(c, 1);
  return box;
}

QString Config2004Window::restore() {
  fillLists();
  const Config2004Load load = loadConfig2004(ini_);
  showRecord(load.cfg);
  updateActiveFields();
  return load.notice;
}

void Config2004Window::showRecord(const Config2004& cfg) {
  showLine(cfg.line);
  for (int k = 0; k < kFieldCount; ++k) {
    fields_[k].show(cfg.fields[k]);
    highTrips_[k].show(cfg.fields[k].highTrip);
    lowTrips_[k].show(cfg.fields[k].lowTrip);
  }
  for (int r = 0; r < frame2004::kRowCount; ++r) rows_[r]->setText(cfg.rows[r]);
  // The polling interval, then the number of active fields, whose choice sets the frames.
  chooseValue(pollInterval_, cfg.pollInterval);
  chooseValue(activeFields_, cfg.activeFields);
}

Config2004 Config2004Window::record() const {
  Config2004 cfg;
  cfg.line = chosenLine();
  cfg.pollInterval = chosenValue(pollInterval_).value_or(0);
  cfg.activeFields = chosenValue(activeFields_).value_or(0);
  for (int r = 0; r < frame2004::kRowCount; ++r) cfg.rows[r] = rows_[r]->text();
  for (int k = 0; k < kFieldCount; ++k)
    cfg.fields[k] = {fields_[k].field(), highTrips_[k].value(), lowTrips_[k].value()};
  return cfg;
}

void Config2004Window::updatePreview() {
  if (!lowTripValues_.back()) return;  // still being built
  const Config2004 cfg = record();
  std::array<FieldReading, kFieldCount> readings;
  for (int k = 0; k < kFieldCount; ++k) {
    const Field2004& field = cfg.fields[k];
    showTripValue(highTripValues_[k], field.highTrip, field);
    showTripValue(lowTripValues_[k], field.lowTrip, field);
    readings[k] = sampleReading(std::size_t(k), field);
  }
  showPreview(previewDisplay(cfg, readings));
}

void Config2004Window::updateActiveFields() {
  const std::array<bool, kFieldCount> enabled =
      enabledFields(chosenValue(activeFields_).value_or(0));
  for (int k = 0; k < kFieldCount; ++k) fieldBoxes_[k]->setEnabled(enabled[k]);
}

FrameBytes Config2004Window::encode() const {
  return frameBytes(encodeConfig2004(record()));
}

bool Config2004Window::save(QString* error) {
  return saveConfig2004(ini_, record(), error);
}

}  // namespace vantor
