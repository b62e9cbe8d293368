#include "ui/WindowParts.h"

#include <QLabel>
#include <QPalette>

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

}  // namespace vantor
