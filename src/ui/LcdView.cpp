#include "ui/LcdView.h"

#include <QEvent>
#include <QFontDatabase>
#include <QPainter>

#include <algorithm>

namespace vantor {

namespace {

// The module's colours: a yellow-green panel with darker cells and near-black characters,
// the same on a light or a dark window.
const QColor kBezel(0x2E, 0x3B, 0x1E);
const QColor kPanel(0x9C, 0xB8, 0x3A);
const QColor kCell(0x8C, 0xA8, 0x2E);
const QColor kInk(0x14, 0x1E, 0x08);
// A field without a reading: its cells paler and its characters faint.
const QColor kDimCell(0xAE, 0xC2, 0x6E);
const QColor kDimInk(0x5E, 0x70, 0x30);

constexpr int kDefaultColumns = 16;
constexpr int kDefaultRows = 2;

}  // namespace

LcdView::LcdView(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("lcdPreview"));
  setAccessibleName(QStringLiteral("Display preview"));
  QFont cells = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  cells.setStyleHint(QFont::TypeWriter);
  cells.setPointSizeF(11);
  cells.setBold(true);
  setFont(cells);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void LcdView::setPreview(const DisplayPreview& preview) {
  const bool resized = preview.rows.size() != preview_.rows.size() ||
                       (!preview.rows.isEmpty() && preview.rows[0].size() != columns());
  preview_ = preview;
  // The rows as vantor-cli preview prints them between its bars, one per line.
  setAccessibleDescription(preview_.rows.join(u'\n'));
  setToolTip(preview_.findings.join(u'\n'));
  if (resized) updateGeometry();
  update();
}

int LcdView::columns() const {
  return preview_.rows.isEmpty() ? kDefaultColumns : int(preview_.rows[0].size());
}

int LcdView::rowCount() const {
  return preview_.rows.isEmpty() ? kDefaultRows : int(preview_.rows.size());
}

// In logical pixels from the font, so that the panel scales with the font and the screen.
LcdView::Metrics LcdView::metrics() const {
  const QFontMetrics fm(font());
  const int gap = std::max(1, fm.height() / 10);
  return {fm.horizontalAdvance(u'W') + 2 * gap, fm.height() + gap, gap, fm.height() / 2};
}

QSize LcdView::sizeHint() const {
  const Metrics m = metrics();
  return {2 * m.margin + columns() * m.cellWidth + (columns() - 1) * m.gap,
          2 * m.margin + rowCount() * m.cellHeight + (rowCount() - 1) * m.gap};
}

bool LcdView::dimmed(int row, int column) const {
  return std::any_of(preview_.cells.begin(), preview_.cells.end(), [&](const FieldCells& c) {
    return c.dimmed && c.row == row && column >= c.firstColumn && column < c.firstColumn + c.width;
  });
}

void LcdView::paintEvent(QPaintEvent*) {
  const Metrics m = metrics();
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF panel = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  p.setPen(QPen(kBezel, 1));
  p.setBrush(kPanel);
  p.drawRoundedRect(panel, m.margin / 2.0, m.margin / 2.0);
  p.setFont(font());
  for (int r = 0; r < rowCount(); ++r) {
    const QString row = r < preview_.rows.size() ? preview_.rows[r] : QString();
    for (int c = 0; c < columns(); ++c) {
      const QRect cell(m.margin + c * (m.cellWidth + m.gap), m.margin + r * (m.cellHeight + m.gap),
                       m.cellWidth, m.cellHeight);
      const bool faded = dimmed(r, c);
      p.fillRect(cell, faded ? kDimCell : kCell);
      if (c < row.size() && row[c] != u' ') {
        p.setPen(faded ? kDimInk : kInk);
        p.drawText(cell, Qt::AlignCenter, QString(row[c]));
      }
    }
  }
}

void LcdView::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange) updateGeometry();
  QWidget::changeEvent(event);
}

}  // namespace vantor
