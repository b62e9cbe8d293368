#include "ui/WindowParts.h"

#include <QAbstractButton>
#include <QKeySequence>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QSplitter>
#include <QWidget>

namespace vantor {

QFont windowFont() {
  QFont font;
  font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans Condensed")});
  font.setPointSizeF(8.25);
  return font;
}

QLabel* caption(const QString& text, QWidget* buddy, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setBuddy(buddy);
  return label;
}

void giveAccessKey(QAbstractButton* button, Qt::Key key, Qt::Modifier modifier) {
  const QKeySequence keys(QKeyCombination(modifier, key));
  button->setShortcut(keys);
  const QString said = keys.toString(QKeySequence::NativeText);
  button->setToolTip(button->toolTip().isEmpty()
                         ? said
                         : QStringLiteral("%1 (%2)").arg(button->toolTip(), said));
}

QPushButton* namedButton(const QString& name, const QString& text, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(name);
  button->setAutoDefault(true);
  return button;
}

QSplitter* stackedSplit(const QString& name, QWidget* top, QWidget* bottom, bool stretchTop,
                        QWidget* parent) {
  auto* split = new QSplitter(Qt::Vertical, parent);
  split->setObjectName(name);
  split->addWidget(top);
  split->addWidget(bottom);
  split->setChildrenCollapsible(false);
  split->setStretchFactor(0, stretchTop ? 1 : 0);
  split->setStretchFactor(1, stretchTop ? 0 : 1);
  return split;
}

QLabel* heading(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  QFont bold = label->font();
  bold.setBold(true);
  label->setFont(bold);
  return label;
}

void setTextColour(QLabel* label, const QColor& colour) {
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, colour);
  label->setPalette(palette);
}

QColor markColour(Mark mark, const QWidget* widget) {
  const QPalette palette = widget ? widget->palette() : QPalette();
  const bool dark = palette.color(QPalette::Window).lightness() < 128;
  switch (mark) {
    case Mark::Failure:
      return dark ? QColor(0xFF, 0x70, 0x70) : QColor(0xC0, 0x00, 0x00);
    case Mark::Notice:
      return dark ? QColor(0xF0, 0xC0, 0x60) : QColor(0x80, 0x50, 0x00);
    case Mark::Value:
      return dark ? QColor(0x80, 0xB8, 0xFF) : QColor(0x00, 0x00, 0xC0);
    case Mark::Good:
      return dark ? QColor(0x70, 0xE0, 0x70) : QColor(0x00, 0x80, 0x00);
    case Mark::Exception:
      return dark ? QColor(0xFF, 0xA0, 0x40) : QColor(0xB0, 0x58, 0x00);
  }
  return palette.color(QPalette::WindowText);
}

void markText(QLabel* label, Mark mark) {
  setTextColour(label, markColour(mark, label));
}

}  // namespace vantor
