#include "ui/SlaveQuadrant.h"

#include "ui/WindowParts.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>

namespace vantor {

namespace {

QLabel* namedLabel(const QString& name, const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  return label;
}

}  // namespace

SlaveQuadrant::SlaveQuadrant(int number, QWidget* parent) : QWidget(parent), number_(number) {
  setObjectName(QStringLiteral("quadrant%1").arg(number));
  auto* grid = new QGridLayout(this);
  caption_ = heading({}, this);
  caption_->setObjectName(QStringLiteral("lblField%1").arg(number));
  grid->addWidget(caption_, 0, 0, 1, 3);
  buildRegisterRows(grid);
  buildTypedValueRow(grid);
  buildBenchRow(grid);
  showCaption();
}

// Rows 1 to 3: the slave's address, its registers and the lists of the value it answers with.
void SlaveQuadrant::buildRegisterRows(QGridLayout* grid) {
  const int i = number_ - 1;
  address_ = namedLabel(QStringLiteral("lblSid%1").arg(i), QStringLiteral("Disabled"), this);
  grid->addWidget(caption(QStringLiteral("Address:"), address_, this), 1, 0);
  grid->addWidget(address_, 1, 1, 1, 2);
  for (int r = 0; r < 2; ++r) {
    auto*& reg = registers_[std::size_t(r)];
    reg = namedLabel(QStringLiteral("lblReg%1").arg(2 * i + r), QStringLiteral("Modbus Reg"), this);
    reg->setMinimumWidth(80);
    grid->addWidget(reg, r + 2, 0);
  }
  static const char* const kByteNames[] = {"low byte", "second byte", "third byte"};
  for (int e = 0; e < kValueListsPerSlave; ++e) {
    auto*& list = lists_[std::size_t(e)];
    list = new QComboBox(this);
    list->setObjectName(QStringLiteral("cboMReg%1_%2").arg(number_).arg(e));
    list->setMinimumWidth(64);
    list->setAccessibleName(QStringLiteral("Slave %1 value, %2").arg(number_).arg(kByteNames[e]));
    connect(list, &QComboBox::currentIndexChanged, this, &SlaveQuadrant::listChanged);
  }
  for (auto* label : {address_, registers_[0], registers_[1]}) markText(label, Mark::Value);

  // The top byte of a two-register value is always zero.
  auto* zero = new QLabel(QStringLiteral("0x00"), this);
  QFont zeroFont(QStringLiteral("Tahoma"));
  zeroFont.setPointSizeF(9.75);
  zero->setFont(zeroFont);
  zero->setAlignment(Qt::AlignCenter);
  grid->addWidget(zero, 2, 1);
  grid->addWidget(lists_[2], 2, 2);
  grid->addWidget(lists_[1], 3, 1);
  grid->addWidget(lists_[0], 3, 2);
}

// Row 4: the value as the module will show it, by the slave's data type and decimal places.
void SlaveQuadrant::buildTypedValueRow(QGridLayout* grid) {
  typed_ = new QLineEdit(this);
  typed_->setObjectName(QStringLiteral("txtValue%1").arg(number_));
  typed_->setPlaceholderText(QStringLiteral("as shown"));
  typed_->setAccessibleName(QStringLiteral("Slave %1 value as shown").arg(number_));
  typed_->setToolTip(
      QStringLiteral("Type the value as the module shows it (e.g. -12.5) and "
                     "press Enter: the lists follow."));
  // Enter, or leaving the box, applies what was typed.
  connect(typed_, &QLineEdit::editingFinished, this, &SlaveQuadrant::applyTyped);
  decoded_ = namedLabel(QStringLiteral("lblDecoded%1").arg(number_), {}, this);
  decoded_->setWordWrap(true);
  grid->addWidget(caption(QStringLiteral("Value:"), typed_, this), 4, 0);
  grid->addWidget(typed_, 4, 1);
  grid->addWidget(decoded_, 4, 2);
}

// Row 5: the button to the slave's bench controls, and which of them are on.
void SlaveQuadrant::buildBenchRow(QGridLayout* grid) {
  bench_ = new QPushButton(QStringLiteral("Faults..."), this);
  bench_->setObjectName(QStringLiteral("cmdBench%1").arg(number_));
  bench_->setAutoDefault(true);
  bench_->setToolTip(QStringLiteral("Faults, response delay and value sweeps of this slave"));
  giveAccessKey(bench_, Qt::Key(Qt::Key_0 + number_), Qt::CTRL);
  bench_->setAccessibleName(QStringLiteral("Slave %1 faults").arg(number_));
  connect(bench_, &QPushButton::clicked, this, [this] { emit benchClicked(number_); });
  benchNote_ = namedLabel(QStringLiteral("lblFault%1").arg(number_), {}, this);
  benchNote_->setWordWrap(true);
  markText(benchNote_, Mark::Failure);
  grid->addWidget(bench_, 5, 0);
  grid->addWidget(benchNote_, 5, 1, 1, 2);
}

// "Field 2 · slave 3": the quadrant's number is the module's field, the address the one the
// module polls it at.
void SlaveQuadrant::showCaption() {
  const QString text = slave_.enabled
                           ? tr("Field %1 \u00b7 slave %2").arg(number_).arg(slave_.address)
                           : tr("Field %1 \u00b7 not polled").arg(number_);
  caption_->setText(text);
  setAccessibleName(text);
}

void SlaveQuadrant::showView(const SlaveView& view) {
  address_->setText(view.address);
  if (view.listsReset) {
    for (int e = 0; e < kValueListsPerSlave; ++e) {
      QComboBox* list = lists_[std::size_t(e)];
      const QSignalBlocker quiet(list);
      list->clear();
      const QStringList entries = valueListEntries(e);
      for (int value = 0; value < entries.size(); ++value) list->addItem(entries[value], value);
      list->setCurrentIndex(0);
    }
    typed_->clear();
    userTyped_ = false;
    showDecoded();
    emit valuesChanged(number_);
  }
  if (view.firstReg) registers_[0]->setText(*view.firstReg);
  if (view.secondReg) registers_[1]->setText(*view.secondReg);
}

void SlaveQuadrant::setSlave(const Slave& slave) {
  slave_ = slave;
  // A slave the configuration does not poll has nothing to set.
  setEnabled(slave.enabled);
  showCaption();
  showDecoded();
}

ValueLists SlaveQuadrant::values() const {
  ValueLists values;
  for (std::size_t e = 0; e < values.size(); ++e)
    if (lists_[e]->currentIndex() >= 0) values[e] = std::uint8_t(lists_[e]->currentData().toInt());
  return values;
}

std::optional<std::uint32_t> SlaveQuadrant::rawValue() const {
  return rawOfLists(values(), slave_.registerCount);
}

void SlaveQuadrant::setRaw(std::uint32_t raw) {
  const ValueLists bytes = valueListsOf(raw);
  for (std::size_t e = 0; e < bytes.size(); ++e)
    lists_[e]->setCurrentIndex(lists_[e]->findData(int(*bytes[e])));
}

QString SlaveQuadrant::typedText() const {
  return userTyped_ ? typed_->text() : QString();
}

void SlaveQuadrant::applyText(const QString& text) {
  typed_->setText(text);
  applyTyped();
}

// The lists moved (picked, swept, set from a file): a value in the box is written anew from
// them, so that the box never says other than what is answered. An empty box stays empty.
void SlaveQuadrant::listChanged() {
  if (!applying_ && !typed_->text().isEmpty()) {
    const auto raw = rawValue();
    const TypedFormat format{slave_.dataType, slave_.decimals};
    const auto integer = raw ? typedInteger(*raw, format) : std::nullopt;
    typed_->setText(integer ? vantor::typedText(*integer, format) : QString());
    userTyped_ = false;
  }
  showDecoded();
  emit valuesChanged(number_);
}

void SlaveQuadrant::showBench(const QString& on) {
  benchNote_->setText(on);
}

QList<QWidget*> SlaveQuadrant::tabOrder() const {
  return {lists_[2], lists_[1], lists_[0], typed_, bench_};
}

void SlaveQuadrant::showDecoded() {
  decoded_->setPalette(QPalette());
  const auto raw = rawValue();
  const TypedFormat format{slave_.dataType, slave_.decimals};
  decoded_->setText(raw && slave_.enabled
                        ? QStringLiteral("shows %1").arg(decodeTyped(*raw, format))
                        : QString());
}

void SlaveQuadrant::applyTyped() {
  if (typed_->text().trimmed().isEmpty()) {
    // Nothing typed: the lists say what is answered.
    userTyped_ = false;
    showDecoded();
    return;
  }
  const TypedParse parsed = encodeTyped(typed_->text(), {slave_.dataType, slave_.decimals});
  if (!parsed.raw) {
    // Refused: nothing changes but the word why.
    decoded_->setText(parsed.refusal);
    markText(decoded_, Mark::Failure);
    return;
  }
  userTyped_ = true;
  applying_ = true;
  setRaw(*parsed.raw);
  applying_ = false;
  showDecoded();
}

}  // namespace vantor
