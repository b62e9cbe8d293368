#include "ui/config/Config1602Window.h"

#include "core/config/Config1602.h"
#include "core/settings/IniFile.h"
#include "ui/WindowParts.h"

#include <QButtonGroup>
#include <QCloseEvent>
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

Config1602Window::Config1602Window(IniFile& ini, Dialogs& dialogs)
    : ConfigWindow(ini, dialogs, QStringLiteral("frmCfg1602"),
                   QStringLiteral("Configure KV-216/KV-216L"), QStringLiteral("cmdConfig1602")) {
  buildLayout();
}

Config1602Window::~Config1602Window() = default;

QComboBox* Config1602Window::list(const QString& control) const {
  for (QComboBox* combo : lists_)
    if (combo->objectName() == control) return combo;
  Q_UNREACHABLE();
}

void Config1602Window::buildLayout() {
  for (const Config1602List& l : config1602Lists()) {
    auto* combo = new QComboBox(this);
    combo->setObjectName(l.list.control);
    combo->setAccessibleName(l.list.caption);
    combo->setMaxVisibleItems(16);
    lists_.push_back(combo);
  }
  const auto captionOf = [](const QString& control) {
    for (const Config1602List& l : config1602Lists())
      if (l.list.control == control) return l.list.caption;
    Q_UNREACHABLE();
  };

  // Left half: the module's own line settings, the two rows, the send button.
  auto* fComm = new QGroupBox(QStringLiteral("Communication"), this);
  fComm->setObjectName(QStringLiteral("fComm"));
  auto* commGrid = new QGridLayout(fComm);
  int row = 0;
  for (const char* name : {"cboBaud", "cboDF1", "cboSampling"}) {
    QComboBox* combo = list(QString::fromLatin1(name));
    combo->setParent(fComm);
    commGrid->addWidget(combo, row, 0);
    commGrid->addWidget(caption(captionOf(combo->objectName()), combo, fComm), row, 1);
    ++row;
  }
  commGrid->setColumnStretch(1, 1);

  auto* fText = new QGroupBox(QStringLiteral("Display Text"), this);
  fText->setObjectName(QStringLiteral("fText"));
  auto* textGrid = new QGridLayout(fText);
  // Fixed-pitch rows line up character for character with the module's sixteen columns.
  QFont mono(QStringLiteral("Monospace"));
  mono.setStyleHint(QFont::TypeWriter);
  mono.setPointSizeF(9.0);
  txtLine0_ = new QLineEdit(fText);
  txtLine0_->setObjectName(QStringLiteral("txtLine0"));
  txtLine1_ = new QLineEdit(fText);
  txtLine1_->setObjectName(QStringLiteral("txtLine1"));
  auto* textHeading = heading(QStringLiteral("Text"), fText);
  textHeading->setBuddy(txtLine0_);
  textGrid->addWidget(textHeading, 0, 0);
  row = 1;
  for (QLineEdit* box : {txtLine0_, txtLine1_}) {
    box->setMaxLength(frame1602::kRowWidth);
    box->setFont(mono);
    const QFontMetrics fm(mono);
    // A character more than the row holds, so the cursor never hides the last one.
    box->setFixedWidth(fm.horizontalAdvance(QString(frame1602::kRowWidth + 1, u'M')) + 8);
    connect(box, &QLineEdit::textEdited, this,
            [box](const QString& typed) { keepRowPrintable(box, typed); });
    textGrid->addWidget(box, row, 0);
    const QString name = QStringLiteral("row %1").arg(row - 1);
    textGrid->addWidget(caption(name, box, fText), row, 1);
    ++row;
  }
  textGrid->setColumnStretch(1, 1);

  cmdSend_->setMinimumWidth(150);

  auto* left = new QVBoxLayout;
  left->addWidget(fComm);
  left->addWidget(fText);
  left->addStretch(1);
  left->addWidget(cmdSend_, 0, Qt::AlignHCenter);

  // Right half: what the module polls and how it shows it. Column 0 and 1 hold the lists
  // (the register and alarm pairs side by side); captions beside a single list start at
  // column 1, so they line up with the second list of a pair.
  auto* fModbus = new QGroupBox(QStringLiteral("Modbus Command"), this);
  fModbus->setObjectName(QStringLiteral("fModbus"));
  auto* grid = new QGridLayout(fModbus);
  grid->setVerticalSpacing(5);
  grid->setHorizontalSpacing(10);
  row = 0;
  const auto single = [&](const char* name) {
    QComboBox* combo = list(QString::fromLatin1(name));
    combo->setParent(fModbus);
    grid->addWidget(combo, row, 0);
    grid->addWidget(caption(captionOf(combo->objectName()), combo, fModbus), row, 1, 1, 2);
    ++row;
  };
  const auto pair = [&](const char* hi, const char* lo) {
    for (int c = 0; c < 2; ++c) {
      QComboBox* combo = list(QString::fromLatin1(c == 0 ? hi : lo));
      combo->setParent(fModbus);
      grid->addWidget(combo, row, c);
    }
    ++row;
  };
  const auto gap = [&] { grid->setRowMinimumHeight(row++, 4); };

  single("cboSlaveID");
  gap();
  QComboBox* cboSAH = list(QStringLiteral("cboSAH"));
  QComboBox* cboSAL = list(QStringLiteral("cboSAL"));
  grid->addWidget(caption(captionOf(QStringLiteral("cboSAH")), cboSAH, fModbus), row, 0);
  grid->addWidget(caption(captionOf(QStringLiteral("cboSAL")), cboSAL, fModbus), row, 1);
  grid->addWidget(new QLabel(QStringLiteral("(Start Register)"), fModbus), row, 2);
  ++row;
  pair("cboSAH", "cboSAL");

  opt03_ = new QRadioButton(QStringLiteral("Function Code 03"), fModbus);
  opt03_->setObjectName(QStringLiteral("opt03"));
  opt04_ = new QRadioButton(QStringLiteral("Function Code 04"), fModbus);
  opt04_->setObjectName(QStringLiteral("opt04"));
  auto* functionCode = new QButtonGroup(fModbus);
  functionCode->addButton(opt03_);
  functionCode->addButton(opt04_);
  auto* options = new QHBoxLayout;
  options->addWidget(opt03_);
  options->addSpacing(12);
  options->addWidget(opt04_);
  options->addStretch(1);
  grid->addLayout(options, row++, 0, 1, 3);

  gap();
  grid->addWidget(heading(QStringLiteral("Data"), fModbus), row++, 0, 1, 3);
  single("cboDWidth");
  single("cboDP");
  single("cboStart");
  {
    // The data type names are the longest entries: the list spans both list columns.
    QComboBox* cboDT = list(QStringLiteral("cboDT"));
    cboDT->setParent(fModbus);
    grid->addWidget(cboDT, row, 0, 1, 2);
    grid->addWidget(caption(captionOf(QStringLiteral("cboDT")), cboDT, fModbus), row, 2);
    ++row;
  }
  gap();
  QComboBox* cboAlarmHi = list(QStringLiteral("cboAlarmHi"));
  grid->addWidget(caption(QStringLiteral("Alarm Trip Point"), cboAlarmHi, fModbus), row++, 0, 1, 3);
  pair("cboAlarmHi", "cboAlarmLo");
  grid->setRowStretch(row, 1);
  grid->setColumnStretch(2, 1);
  // Both list columns as wide as the wider pair caption, so that the pairs look like pairs.
  const QFontMetrics fm(fModbus->font());
  const int pairWidth = std::max(fm.horizontalAdvance(captionOf(QStringLiteral("cboSAH"))),
                                 fm.horizontalAdvance(captionOf(QStringLiteral("cboSAL"))));
  grid->setColumnMinimumWidth(0, pairWidth);
  grid->setColumnMinimumWidth(1, pairWidth);

  auto* halves = new QHBoxLayout;
  halves->addLayout(left, 0);
  halves->addWidget(fModbus, 1);

  // What the window has to say about its port and its settings, in words rather than boxes.
  // A framed note in the palette's own colours, readable on light and dark palettes alike.
  lblNotice_->setFrameShape(QFrame::StyledPanel);
  lblNotice_->setMargin(4);
  lblNotice_->setAutoFillBackground(true);
  lblNotice_->setBackgroundRole(QPalette::AlternateBase);
  markText(lblNotice_, Mark::Notice);
  lblNotice_->hide();

  auto* root = new QVBoxLayout(this);
  root->addLayout(halves);
  root->addWidget(lblPortStatus_);
  root->addWidget(lblNotice_);

  // Measured with the lists filled, so that no entry is cut.
  fillLists();
  setFixedWidth(sizeHint().width());
  linesChanged();
}

void Config1602Window::linesChanged() {
  QLayout* l = layout();
  if (!l) return;
  l->activate();
  setFixedHeight(l->hasHeightForWidth() ? l->totalHeightForWidth(width())
                                        : l->totalSizeHint().height());
}

QString Config1602Window::restore() {
  fillLists();
  const Config1602Load load = loadConfig1602(ini_);
  apply(load.cfg);
  return load.defaulted.isEmpty() ? QString() : load.notice;
}

void Config1602Window::fillLists() {
  const auto& lists = config1602Lists();
  for (std::size_t i = 0; i < lists.size(); ++i) {
    lists_[i]->clear();
    lists_[i]->addItems(lists[i].list.entries);
  }
  txtLine0_->clear();
  txtLine1_->clear();
}

Config1602 Config1602Window::record() const {
  Config1602 cfg;
  const auto& lists = config1602Lists();
  for (std::size_t i = 0; i < lists.size(); ++i) cfg.*lists[i].position = lists_[i]->currentIndex();
  cfg.opt03 = opt03_->isChecked();
  cfg.txtLine0 = txtLine0_->text();
  cfg.txtLine1 = txtLine1_->text();
  cfg.CSet = CSet_;
  return cfg;
}

void Config1602Window::apply(const Config1602& cfg) {
  const auto& lists = config1602Lists();
  for (std::size_t i = 0; i < lists.size(); ++i) lists_[i]->setCurrentIndex(cfg.*lists[i].position);
  (cfg.opt03 ? opt03_ : opt04_)->setChecked(true);
  txtLine0_->setText(cfg.txtLine0);
  txtLine1_->setText(cfg.txtLine1);
  CSet_ = cfg.CSet;
}

FrameBytes Config1602Window::encode() const {
  return frameBytes(encodeConfig1602(record()));
}

bool Config1602Window::save(QString* error) {
  return saveConfig1602(ini_, record(), error);
}

}  // namespace vantor
