#include "ui/WindowParts.h"

#include <QAbstractButton>
#include <QApplication>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QTableWidget>
#include <QWidget>

namespace vantor {

bool desktopNamesFont() {
#if defined(Q_OS_WIN) || defined(Q_OS_MACOS)
  return true;
#else
  for (const char* name : {"XDG_CURRENT_DESKTOP", "QT_QPA_PLATFORMTHEME", "KDE_FULL_SESSION"})
    if (!qEnvironmentVariableIsEmpty(name)) return true;
  return false;
#endif
}

QFont windowFont() {
  if (desktopNamesFont()) return QApplication::font();
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
  // A shortcut of its own, not the button's: setText() sets a button's shortcut anew from the
  // caption's mnemonic, which would drop this one at the first change of caption. It is live
  // while the button is visible and enabled in the active window.
  auto* shortcut = new QShortcut(keys, button);
  shortcut->setContext(Qt::WindowShortcut);
  QObject::connect(shortcut, &QShortcut::activated, button, [button] {
    if (!button->isEnabled() || !button->isVisible()) return;
    button->setFocus(Qt::ShortcutFocusReason);
    button->click();
  });
  const QString said = keys.toString(QKeySequence::NativeText);
  button->setToolTip(
      button->toolTip().isEmpty() ? said : QStringLiteral("%1 (%2)").arg(button->toolTip(), said));
}

void fitToScreen(QWidget* window) {
  const QScreen* screen = window->screen();
  if (!screen) return;
  const QRect room = screen->availableGeometry();
  // The frame around the window (title bar, borders) needs room too; before the window is
  // shown its size is not known, so a typical one is allowed for.
  const QSize frame =
      window->isVisible() ? window->frameGeometry().size() - window->size() : QSize(16, 40);
  const QSize most = (room.size() - frame).expandedTo(window->minimumSize());
  if (window->width() > most.width() || window->height() > most.height())
    window->resize(window->size().boundedTo(most));
  if (!window->isVisible()) return;
  QRect placed = window->frameGeometry();
  placed.moveRight(std::min(placed.right(), room.right()));
  placed.moveBottom(std::min(placed.bottom(), room.bottom()));
  placed.moveLeft(std::max(placed.left(), room.left()));
  placed.moveTop(std::max(placed.top(), room.top()));
  if (placed.topLeft() != window->frameGeometry().topLeft()) window->move(placed.topLeft());
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

QTableWidgetItem* tableCell(const QString& text, bool number) {
  auto* item = new QTableWidgetItem(text);
  item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
  if (number) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
  return item;
}

void fitTableColumns(QTableWidget* table, int stretch) {
  table->verticalHeader()->hide();
  table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  table->horizontalHeader()->setSectionResizeMode(stretch, QHeaderView::Stretch);
  table->setSelectionBehavior(QAbstractItemView::SelectRows);
}

}  // namespace vantor
