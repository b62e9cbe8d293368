#include "ui/AnswerAllBox.h"

#include "core/settings/Schema.h"
#include "ui/WindowParts.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>

#include <set>

namespace vantor {

namespace {

// As many rows as the settings file keeps.
constexpr int kMostRows = ini::answerall::kCount.last;

const char* const kColumns[kRegisterItems] = {"Slave", "Function", "Register", "Value"};

}  // namespace

AnswerAllBox::AnswerAllBox(QWidget* parent) : QGroupBox(QStringLiteral("Other Polls"), parent) {
  setObjectName(QStringLiteral("fAnswerAll"));
  answerAll_ = new QCheckBox(QStringLiteral("Answer every poll"), this);
  answerAll_->setObjectName(QStringLiteral("chkAnswerAll"));
  answerAll_->setToolTip(
      QStringLiteral("Answer every valid read (function 03 or 04, 1 to 125 registers), not only "
                     "the polls of the slaves above"));
  auto* about = new QLabel(
      QStringLiteral("A poll no slave above is configured for reads the registers of a slave "
                     "above where they overlap, else the value set here, else 0."),
      this);
  about->setWordWrap(true);

  table_ = new QTableWidget(0, kRegisterItems, this);
  table_->setObjectName(QStringLiteral("tblRegisterMap"));
  QStringList headers;
  for (const char* column : kColumns) headers << QLatin1String(column);
  table_->setHorizontalHeaderLabels(headers);
  table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
  table_->setToolTip(
      QStringLiteral("Slave 1 to 247, function 3 or 4, register and value "
                     "0 to 65535: decimal, or 0x and hexadecimal digits"));
  // About five rows in sight: the table scrolls rather than crowding the window.
  table_->setFixedHeight(table_->verticalHeader()->defaultSectionSize() * 5 +
                         table_->horizontalHeader()->sizeHint().height() + 4);
  table_->setMinimumWidth(280);
  connect(table_, &QTableWidget::itemChanged, this, &AnswerAllBox::check);

  add_ = namedButton(QStringLiteral("cmdAddRegister"), QStringLiteral("Add row"), this);
  remove_ = namedButton(QStringLiteral("cmdRemoveRegister"), QStringLiteral("Remove row"), this);
  connect(add_, &QPushButton::clicked, this, &AnswerAllBox::addNextRow);
  connect(remove_, &QPushButton::clicked, this, &AnswerAllBox::removeRows);
  connect(answerAll_, &QCheckBox::toggled, this, &AnswerAllBox::changed);

  problem_ = new QLabel(this);
  problem_->setObjectName(QStringLiteral("lblRegisterMap"));
  problem_->setWordWrap(true);
  markText(problem_, Mark::Failure);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(add_);
  buttons->addWidget(remove_);
  buttons->addStretch();
  auto* left = new QVBoxLayout;
  left->addWidget(answerAll_);
  left->addWidget(about);
  left->addLayout(buttons);
  left->addWidget(problem_);
  left->addStretch();
  auto* right = new QVBoxLayout;
  right->addWidget(caption(QStringLiteral("Register map"), table_, this));
  right->addWidget(table_);
  auto* row = new QHBoxLayout(this);
  row->addLayout(left, 1);
  row->addLayout(right, 1);
  check();
}

void AnswerAllBox::setSettings(const AnswerAllSettings& settings) {
  stored_ = settings;
  {
    const QSignalBlocker quiet(table_);
    table_->setRowCount(0);
    for (const QString& entry : settings.entries.mid(0, kMostRows)) {
      // Text of another shape keeps all of it in the first cell, to be put right there.
      const auto cells = registerCellsOf(entry);
      addRow(cells.value_or(RegisterCells{entry, {}, {}, {}}));
    }
  }
  answerAll_->setChecked(settings.enabled);
  check();
}

AnswerAllSettings AnswerAllBox::settings() const {
  AnswerAllSettings kept;
  kept.enabled = answersAll();
  for (int r = 0; r < table_->rowCount(); ++r) {
    RegisterCells cells;
    bool any = false;
    for (int c = 0; c < kRegisterItems; ++c) {
      const QTableWidgetItem* item = table_->item(r, c);
      cells[std::size_t(c)] = item ? item->text().trimmed() : QString();
      any = any || !cells[std::size_t(c)].isEmpty();
    }
    if (any) kept.entries << registerEntryText(cells);
  }
  return kept;
}

bool AnswerAllBox::answersAll() const {
  return answerAll_->isChecked();
}

QList<QWidget*> AnswerAllBox::tabOrder() const {
  return {answerAll_, add_, remove_, table_};
}

void AnswerAllBox::addRow(const RegisterCells& cells) {
  const int r = table_->rowCount();
  table_->insertRow(r);
  for (int c = 0; c < kRegisterItems; ++c)
    table_->setItem(r, c, new QTableWidgetItem(cells[std::size_t(c)]));
}

// A new row goes on from the last one: the same slave and function, the next register.
void AnswerAllBox::addNextRow() {
  RegisterCells cells{QStringLiteral("1"), QStringLiteral("3"), QStringLiteral("0"),
                      QStringLiteral("0")};
  if (const int last = table_->rowCount() - 1; last >= 0) {
    const auto part = [&](RegisterItem p) {
      return parseRegisterItem(p, table_->item(last, int(p))->text());
    };
    const auto slave = part(RegisterItem::Slave);
    const auto function = part(RegisterItem::Function);
    const auto reg = part(RegisterItem::Register);
    if (slave && function && reg && *reg < 0xFFFF)
      cells = {QString::number(*slave), QString::number(*function), QString::number(*reg + 1),
               QStringLiteral("0")};
  }
  {
    const QSignalBlocker quiet(table_);
    addRow(cells);
  }
  table_->setCurrentCell(table_->rowCount() - 1, int(RegisterItem::Value));
  check();
}

void AnswerAllBox::removeRows() {
  std::set<int> rows;
  for (const QTableWidgetItem* item : table_->selectedItems()) rows.insert(item->row());
  if (rows.empty() && table_->currentRow() >= 0) rows.insert(table_->currentRow());
  {
    const QSignalBlocker quiet(table_);
    for (auto r = rows.rbegin(); r != rows.rend(); ++r) table_->removeRow(*r);
  }
  check();
}

void AnswerAllBox::check() {
  const QSignalBlocker quiet(table_);
  QColor bad = markColour(Mark::Failure, table_);
  bad.setAlpha(80);
  RegisterMap usable;
  std::map<RegisterKey, int> firstRow;
  QString firstProblem;
  for (int r = 0; r < table_->rowCount(); ++r) {
    std::array<std::uint16_t, kRegisterItems> n{};
    bool rowGood = true;
    for (int c = 0; c < kRegisterItems; ++c) {
      QTableWidgetItem* item = table_->item(r, c);
      if (!item) table_->setItem(r, c, item = new QTableWidgetItem);
      const auto part = RegisterItem(c);
      const auto value = parseRegisterItem(part, item->text());
      item->setBackground(value ? QBrush() : QBrush(bad));
      item->setToolTip(value ? QString() : QStringLiteral("Give %1.").arg(registerItemRule(part)));
      if (!value && firstProblem.isEmpty())
        firstProblem = QStringLiteral("Row %1, %2: give %3; the row is not used.")
                           .arg(r + 1)
                           .arg(QLatin1String(kColumns[c]), registerItemRule(part));
      rowGood = rowGood && value;
      n[std::size_t(c)] = value.value_or(0);
    }
    if (!rowGood) continue;
    const RegisterKey key{std::uint8_t(n[0]), std::uint8_t(n[1]), n[2]};
    if (const auto [earlier, isNew] = firstRow.emplace(key, r); !isNew) {
      // The first row for a register sets it; a later one is marked and left out.
      const QString why =
          QStringLiteral("Row %1 sets the register row %2 sets; the row is not used.")
              .arg(r + 1)
              .arg(earlier->second + 1);
      QTableWidgetItem* item = table_->item(r, int(RegisterItem::Register));
      item->setBackground(QBrush(bad));
      item->setToolTip(why);
      if (firstProblem.isEmpty()) firstProblem = why;
      continue;
    }
    usable[key] = n[3];
  }
  problem_->setText(firstProblem);
  problem_->setVisible(!firstProblem.isEmpty());
  add_->setEnabled(table_->rowCount() < kMostRows);
  remove_->setEnabled(table_->rowCount() > 0);
  const bool differs = usable != registers_;
  registers_ = std::move(usable);
  if (differs) emit changed();
}

void AnswerAllBox::appendChanges(std::vector<IniEntry>& entries) const {
  const AnswerAllSettings now = settings();
  if (now.enabled == stored_.enabled && now.entries == stored_.entries) return;
  for (IniEntry& entry : answerAllEntries(now, stored_.keys)) entries.push_back(std::move(entry));
}

}  // namespace vantor
