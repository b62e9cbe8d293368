#include "ui/config/Config2004Window.h"

#include "core/config/ConfigFrame.h"
#include "core/settings/IniFile.h"
#include "ui/WindowParts.h"

#include <QButtonGroup>
#include <QCloseEvent>
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

// A pick list as wide as its widest entry. The width comes from the entries once, here, rather
// than from the items at every filling: the lists are refilled with thousands of entries at
// each opening, and the layout must not move.
QComboBox* pickList(const QString& name, const ChoiceList& list, const QString& accessibleName,
                    QWidget* parent) {
  auto* combo = new QComboBox(parent);
  combo->setObjectName(name);
  combo->setAccessibleName(accessibleName);
  combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  const QFontMetrics metrics(combo->font());
  int widest = 0;
  for (const QString& entry : list.entries)
    widest = std::max(widest, metrics.horizontalAdvance(entry));
  QStyleOptionComboBox option;
  option.initFrom(combo);
  const QSize content(widest, metrics.height());
  combo->setMinimumWidth(
      combo->style()->sizeFromContents(QStyle::CT_ComboBox, &option, content, combo).width());
  return combo;
}

template <typename Record, typename Position>
int indexOf(const std::vector<Record>& lists, Position position) {
  const auto it = std::find_if(lists.begin(), lists.end(),
                               [&](const Record& l) { return l.position == position; });
  Q_ASSERT(it != lists.end());
  return int(it - lists.begin());
}

void fill(QComboBox* combo, const QStringList& entries) {
  // Refilled while hidden and without signals; the restore that follows selects an entry and
  // raises what the selection means.
  const QSignalBlocker quiet(combo);
  combo->clear();
  combo->addItems(entries);
  combo->setCurrentIndex(-1);
}

void select(QComboBox* combo, int position) {
  combo->setCurrentIndex(selects(position, combo->count()) ? position : -1);
}

}  // namespace

Config2004Window::Config2004Window(IniFile& ini, Dialogs& dialogs)
    : ConfigWindow(ini, dialogs, QStringLiteral("frmCfg2004"), QStringLiteral("Configure KV-420"),
                   QStringLiteral("cmdSendCfg")) {
  buildLayout();
  resetControls();
}

Config2004Window::~Config2004Window() = default;

QComboBox* Config2004Window::list(int Config2004::*position) const {
  return lists_[std::size_t(indexOf(config2004Lists(), position))];
}

QComboBox* Config2004Window::list(int k, int Field2004::*position) const {
  return fieldLists_[std::size_t(k)][std::size_t(indexOf(field2004Lists(), position))];
}

void Config2004Window::buildLayout() {
  auto* left = new QVBoxLayout;
  left->addWidget(buildCommunication());
  left->addWidget(buildDisplayText());

  left->addWidget(cmdSend_);

  // What the window has to say about itself: the port, and first-use defaults. Both wrap
  // within the left column; the notice can name dozens of settings, so it scrolls in the space
  // left below.
  noticeArea_ = new QScrollArea(this);
  noticeHolder_ = noticeArea_;
  markText(lblNotice_, Mark::Notice);
  for (QLabel* label : {lblPortStatus_, lblNotice_})
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  noticeArea_->setWidget(lblNotice_);
  noticeArea_->setWidgetResizable(true);
  noticeArea_->setFrameShape(QFrame::NoFrame);
  noticeArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  noticeArea_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Ignored);
  noticeArea_->viewport()->setAutoFillBackground(false);
  lblNotice_->setAutoFillBackground(false);
  left->addWidget(lblPortStatus_);
  left->addWidget(noticeArea_, 1);
  left->addStretch();

  auto* fields = new QGridLayout;
  for (int k = 0; k < kFieldCount; ++k) fields->addWidget(buildField(k), k / 2, k % 2);

  auto* root = new QHBoxLayout(this);
  root->addLayout(left);
  root->addLayout(fields, 1);

  const int leftWidth = left->sizeHint().width();
  lblPortStatus_->setFixedWidth(leftWidth);
  noticeArea_->setFixedWidth(leftWidth);
  setFixedSize(sizeHint().expandedTo(QSize(kClientWidth, kClientHeight)));
}

QGroupBox* Config2004Window::buildCommunication() {
  auto* box = new QGroupBox(QStringLiteral("Communication"), this);
  box->setObjectName(QStringLiteral("fComm"));
  auto* grid = new QGridLayout(box);
  for (const Config2004List& l : config2004Lists()) {
    QComboBox* combo = pickList(l.list.control, l.list, l.list.caption, box);
    const int row = int(lists_.size());
    grid->addWidget(combo, row, 0);
    grid->addWidget(caption(l.list.caption, combo, box), row, 1);
    lists_.push_back(combo);
  }
  grid->setColumnStretch(1, 1);
  connect(list(&Config2004::cboAF), &QComboBox::currentIndexChanged, this,
          &Config2004Window::UpdateActiveFields);
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
    const QFontMetrics metrics(fixed);
    row->setMinimumWidth(metrics.horizontalAdvance(QString(frame2004::kRowWidth + 2, u'W')));
    connect(row, &QLineEdit::textEdited, this,
            [row](const QString& text) { keepRowPrintable(row, text); });
    grid->addWidget(row, r + 1, 0);
    grid->addWidget(caption(QStringLiteral("row %1").arg(r), row, box), r + 1, 1);
    txtLine_[std::size_t(r)] = row;
  }
  grid->setColumnStretch(1, 1);
  return box;
}

QGroupBox* Config2004Window::buildField(int k) {
  auto* box = new QGroupBox(QStringLiteral("Modbus Command Data Field %1").arg(k + 1), this);
  box->setObjectName(QStringLiteral("faf_%1").arg(k));
  faf_[std::size_t(k)] = box;

  auto& lists = fieldLists_[std::size_t(k)];
  for (const Field2004List& l : field2004Lists())
    lists.push_back(pickList(QStringLiteral("%1_%2").arg(l.list.control).arg(k), l.list,
                             fieldCaption(l.list.caption, k), box));
  const auto at = [&](int Field2004::*position) { return list(k, position); };

  // Four columns: the register pair and each alarm pair take one list per column; a single
  // list takes the first and its caption the rest.
  auto* grid = new QGridLayout(box);
  int row = 0;
  const auto single = [&](int Field2004::*position, const QString& text, int span = 1) {
    grid->addWidget(at(position), row, 0, 1, span);
    grid->addWidget(caption(text, at(position), box), row, span, 1, 4 - span);
    ++row;
  };

  single(&Field2004::cboSlaveID, QStringLiteral("Modbus Slave Address"));

  grid->addWidget(caption(QStringLiteral("Reg Address Hi"), at(&Field2004::cboSAH), box), row, 0);
  grid->addWidget(caption(QStringLiteral("Reg Address Lo"), at(&Field2004::cboSAL), box), row, 1);
  grid->addWidget(caption(QStringLiteral("(Start Register)"), at(&Field2004::cboSAH), box), row, 2,
                  1, 2);
  ++row;
  grid->addWidget(at(&Field2004::cboSAH), row, 0);
  grid->addWidget(at(&Field2004::cboSAL), row, 1);
  ++row;

  auto*& opt03 = opt03_[std::size_t(k)];
  auto*& opt04 = opt04_[std::size_t(k)];
  opt03 = new QRadioButton(QStringLiteral("Function Code 03"), box);
  opt03->setObjectName(QStringLiteral("opt03_%1").arg(k));
  opt04 = new QRadioButton(QStringLiteral("Function Code 04"), box);
  opt04->setObjectName(QStringLiteral("opt04_%1").arg(k));
  auto* functionCode = new QButtonGroup(box);
  functionCode->addButton(opt03);
  functionCode->addButton(opt04);
  grid->addWidget(opt03, row, 0, 1, 2);
  grid->addWidget(opt04, row, 2, 1, 2);
  ++row;

  grid->addWidget(heading(QStringLiteral("Data"), box), row++, 0, 1, 4);
  single(&Field2004::cboDWidth, QStringLiteral("Number of digits including decimal point"));
  single(&Field2004::cboDP, QStringLiteral("Number of decimal place"));
  single(&Field2004::cboStart, QStringLiteral("Data Display Start Location"));
  single(&Field2004::cboDT, QStringLiteral("Data Type"), 2);

  grid->addWidget(
      caption(QStringLiteral("Alarm Trip Point (High)"), at(&Field2004::cboAlarmHi), box), row, 0,
      1, 2);
  grid->addWidget(caption(QStringLiteral("Alarm Trip Point (Low)"), at(&Field2004::cboALH), box),
                  row, 2, 1, 2);
  ++row;
  grid->addWidget(at(&Field2004::cboAlarmHi), row, 0);
  grid->addWidget(at(&Field2004::cboAlarmLo), row, 1);
  grid->addWidget(at(&Field2004::cboALH), row, 2);
  grid->addWidget(at(&Field2004::cboALL), row, 3);
  ++row;

  grid->setRowStretch(row, 1);
  for (int c = 0; c < 4; ++c) grid->setColumnStretch(c, 1);
  return box;
}

// The state the window is designed with: empty lists and rows, "Function Code 03" chosen, no
// data field taking input, nothing to report.
void Config2004Window::resetControls() {
  for (QComboBox* combo : lists_) fill(combo, {});
  for (const auto& lists : fieldLists_)
    for (QComboBox* combo : lists) fill(combo, {});
  for (QRadioButton* opt : opt03_) opt->setChecked(true);
  for (QLineEdit* row : txtLine_) row->clear();
  for (QGroupBox* box : faf_) box->setEnabled(false);
  lblNotice_->clear();
  noticeArea_->hide();
}

void Config2004Window::fillLists() {
  for (std::size_t i = 0; i < lists_.size(); ++i)
    fill(lists_[i], config2004Lists()[i].list.entries);
  for (const auto& lists : fieldLists_)
    for (std::size_t i = 0; i < lists.size(); ++i) fill(lists[i], field2004Lists()[i].list.entries);
}

QString Config2004Window::restore() {
  // Each opening starts from the design: nothing of the last one's edits carries over.
  resetControls();
  fillLists();
  const Config2004Load load = loadConfig2004(ini_);
  apply(load.cfg);
  UpdateActiveFields();
  return load.notice;
}

void Config2004Window::apply(const Config2004& cfg) {
  select(list(&Config2004::cboBaud), cfg.cboBaud);
  select(list(&Config2004::cboDF1), cfg.cboDF1);
  for (int k = 0; k < kFieldCount; ++k) {
    const Field2004& field = cfg.fields[std::size_t(k)];
    for (const Field2004List& l : field2004Lists()) select(list(k, l.position), field.*l.position);
    (field.opt03 ? opt03_ : opt04_)[std::size_t(k)]->setChecked(true);
  }
  for (int r = 0; r < frame2004::kRowCount; ++r)
    txtLine_[std::size_t(r)]->setText(cfg.txtLine[std::size_t(r)]);
  // Interval, then the number of active fields, whose selection sets the frames.
  select(list(&Config2004::cboSampling), cfg.cboSampling);
  select(list(&Config2004::cboAF), cfg.cboAF);
}

Config2004 Config2004Window::shown() const {
  Config2004 cfg;
  for (std::size_t i = 0; i < lists_.size(); ++i)
    cfg.*config2004Lists()[i].position = lists_[i]->currentIndex();
  for (int k = 0; k < kFieldCount; ++k) {
    Field2004& field = cfg.fields[std::size_t(k)];
    const auto& lists = fieldLists_[std::size_t(k)];
    for (std::size_t i = 0; i < lists.size(); ++i)
      field.*field2004Lists()[i].position = lists[i]->currentIndex();
    field.opt03 = opt03_[std::size_t(k)]->isChecked();
  }
  for (int r = 0; r < frame2004::kRowCount; ++r)
    cfg.txtLine[std::size_t(r)] = txtLine_[std::size_t(r)]->text();
  return cfg;
}

void Config2004Window::UpdateActiveFields() {
  const int n = list(&Config2004::cboAF)->currentIndex();
  const std::array<bool, kFieldCount> enabled = enabledFields(n);
  for (int k = 0; k < kFieldCount; ++k) faf_[std::size_t(k)]->setEnabled(enabled[std::size_t(k)]);
}

FrameBytes Config2004Window::encode() const {
  return frameBytes(encodeConfig2004(shown()));
}

bool Config2004Window::save(QString* error) {
  return saveConfig2004(ini_, shown(), error);
}

}  // namespace vantor
