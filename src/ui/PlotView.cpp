#include "ui/PlotView.h"

#include "core/plot/PlotScale.h"

#include <QAction>
#include <QDateTime>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionFocusRect>

#include <algorithm>
#include <cmath>

namespace vantor {

namespace {

// Shortest span the time axis shows, so that the first polls do not fill it edge to edge.
constexpr qint64 kShortestSpanMs = 10000;

// Hues far apart, none of them the failure colour's red: darker on a light background,
// lighter on a dark one.
constexpr QRgb kOnLight[] = {0x1F5FBF, 0xB85000, 0x1E7A1E, 0x8A3FA8,
                             0x007A7A, 0x7A6200, 0xB0306E, 0x505050};
constexpr QRgb kOnDark[] = {0x7AB0FF, 0xFFA55A, 0x74D874, 0xD49CF5,
                            0x4FD6D6, 0xDCC45A, 0xFF8CC6, 0xC8C8C8};

QColor mixed(const QColor& a, const QColor& b, double share) {
  return QColor::fromRgbF(float(a.redF() * (1 - share) + b.redF() * share),
                          float(a.greenF() * (1 - share) + b.greenF() * share),
                          float(a.blueF() * (1 - share) + b.blueF() * share));
}

}  // namespace

PlotView::PlotView(const QString& name, const PlotStore& store, QWidget* parent)
    : QWidget(parent), store_(store) {
  setAccessibleName(name);
  setFocusPolicy(Qt::StrongFocus);
  setContextMenuPolicy(Qt::ActionsContextMenu);
  auto* save = new QAction(tr("Save as PNG…"), this);
  save->setObjectName(QStringLiteral("actSavePng"));
  connect(save, &QAction::triggered, this, &PlotView::saveRequested);
  addAction(save);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

QSize PlotView::sizeHint() const {
  return QSize(640, int(lineHeight() * 14));
}

QSize PlotView::minimumSizeHint() const {
  return QSize(240, int(lineHeight() * 7));
}

void PlotView::refresh() {
  setAccessibleDescription(describe());
  update();
}

double PlotView::lineHeight() const {
  return QFontMetricsF(font()).height();
}

QColor PlotView::textColour() const {
  return palette().color(QPalette::Text);
}

QColor PlotView::gridColour() const {
  return mixed(palette().color(QPalette::Base), textColour(), 0.15);
}

QColor PlotView::seriesColour(int index) const {
  const bool dark = palette().color(QPalette::Base).lightness() < 128;
  const std::size_t k = std::size_t(index) % std::size(kOnLight);
  return QColor(dark ? kOnDark[k] : kOnLight[k]);
}

void PlotView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().color(QPalette::Base));
  painter.setRenderHint(QPainter::Antialiasing);
  const double h = lineHeight();
  QFont bold = font();
  bold.setBold(true);
  painter.setFont(bold);
  painter.setPen(textColour());
  const QRectF title(h / 2, 0, width() - h, h * 1.4);
  painter.drawText(title, Qt::AlignLeft | Qt::AlignVCenter, accessibleName());
  painter.setFont(font());
  if (store_.paused())
    painter.drawText(title, Qt::AlignRight | Qt::AlignVCenter, tr("Paused with the log"));
  const QRectF area(h / 2, title.bottom(), width() - h, height() - title.bottom() - h / 4);
  if (store_.newestMs() == 0) {
    painter.drawText(area, Qt::AlignCenter, tr("Nothing polled yet"));
  } else {
    painter.save();
    paintPlot(painter, area);
    painter.restore();
  }
  if (hasFocus()) {
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    focus.rect = rect().adjusted(1, 1, -1, -1);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
  }
}

double PlotView::TimeAxis::x(qint64 timeMs) const {
  return left + (right - left) * double(timeMs - fromMs) / double(toMs - fromMs);
}

double PlotView::ValueAxis::y(double value) const {
  return rect.bottom() - rect.height() * (value - low) / (high - low);
}

PlotView::TimeAxis PlotView::timeAxis(double left, double right) const {
  const qint64 to = store_.newestMs();
  const qint64 from = std::min(store_.oldestMs(), to - kShortestSpanMs);
  return {from, to, left, right};
}

void PlotView::drawTimeAxis(QPainter& painter, const TimeAxis& axis, double top,
                            double bottom) const {
  const QFontMetricsF fm(font());
  const QString widest = QStringLiteral("00:00:00");
  const double labelWidth = fm.horizontalAdvance(widest) + fm.height();
  const int most = std::max(1, int((axis.right - axis.left) / labelWidth));
  const qint64 step = timeStepMs(axis.toMs - axis.fromMs, most);
  // Ticks at whole steps of local time, so that minutes fall on :00.
  const qint64 offsetMs = qint64(QDateTime::fromMSecsSinceEpoch(axis.toMs).offsetFromUtc()) * 1000;
  qint64 t = ((axis.fromMs + offsetMs + step - 1) / step) * step - offsetMs;
  for (; t <= axis.toMs; t += step) {
    const double x = axis.x(t);
    painter.setPen(QPen(gridColour(), 1));
    painter.drawLine(QPointF(x, top), QPointF(x, bottom));
    painter.setPen(textColour());
    const QString label = QDateTime::fromMSecsSinceEpoch(t).toString(
        step < 60000 ? QStringLiteral("HH:mm:ss") : QStringLiteral("HH:mm"));
    const double w = fm.horizontalAdvance(label);
    const double at = std::clamp(x - w / 2, axis.left - w / 2, axis.right - w);
    painter.drawText(QPointF(at, bottom + fm.ascent() + 2), label);
  }
}

double PlotView::valueLabelWidth(double low, double high, double height) const {
  const QFontMetricsF fm(font());
  const ValueTicks ticks = valueTicks(low, high, std::max(2, int(height / (fm.height() * 1.2))));
  double widest = 0;
  for (int k = 0; k < ticks.count; ++k)
    widest = std::max(widest, fm.horizontalAdvance(QString::number(ticks.first + k * ticks.step,
                                                                   'f', ticks.decimals)));
  return widest;
}

PlotView::ValueAxis PlotView::drawValueAxis(QPainter& painter, const QRectF& rect, double low,
                                            double high, double labelWidth) const {
  const QFontMetricsF fm(font());
  const ValueTicks ticks =
      valueTicks(low, high, std::max(2, int(rect.height() / (fm.height() * 1.2))));
  const ValueAxis axis{low, high, rect};
  for (int k = 0; k < ticks.count; ++k) {
    const double value = ticks.first + k * ticks.step;
    const double y = axis.y(value);
    painter.setPen(QPen(gridColour(), 1));
    painter.drawLine(QPointF(rect.left(), y), QPointF(rect.right(), y));
    painter.setPen(textColour());
    const QRectF label(rect.left() - labelWidth - fm.height() / 3, y - fm.height() / 2, labelWidth,
                       fm.height());
    painter.drawText(label, Qt::AlignRight | Qt::AlignVCenter,
                     QString::number(value, 'f', ticks.decimals));
  }
  return axis;
}

void PlotView::drawCaption(QPainter& painter, const QRectF& rect, const QString& text,
                           const QColor& colour) const {
  const QFontMetricsF fm(font());
  const QString shown = fm.elidedText(text, Qt::ElideRight, rect.width() - fm.height());
  const QRectF box(rect.left() + 1, rect.top() + 1, fm.horizontalAdvance(shown) + fm.height() / 2,
                   fm.height());
  QColor under = palette().color(QPalette::Base);
  under.setAlphaF(0.8f);
  painter.fillRect(box, under);
  painter.setPen(colour);
  painter.drawText(box, Qt::AlignCenter, shown);
}

bool lineRange(const PlotLine& line, qint64 fromMs, double& low, double& high) {
  bool any = false;
  for (auto p = line.points().rbegin(); p != line.points().rend() && p->timeMs >= fromMs; ++p) {
    low = std::min(low, p->low);
    high = std::max(high, p->high);
    any = true;
  }
  return any;
}

// Points closer than a pixel apart are drawn as one: a full span holds more points than the
// plot has pixels across, and each costs the painter the same whether it shows or not.
void PlotView::drawLine(QPainter& painter, const PlotLine& line, const TimeAxis& t,
                        const ValueAxis& v, const QColor& colour, Qt::PenStyle style) const {
  QPainterPath path;
  std::vector<QLineF> bars;
  std::vector<QPointF> dots;
  bool started = false;  // a path holding only a move counts as empty
  double lastX = -1e9;
  const auto& points = line.points();
  for (std::size_t k = 0; k < points.size(); ++k) {
    const PlotPoint& p = points[k];
    if (p.timeMs < t.fromMs) continue;
    const QPointF at(t.x(p.timeMs), v.y(p.last));
    const bool last = k + 1 == points.size() || !points[k + 1].joined;
    if (!p.joined || !started) {
      path.moveTo(at);
      lastX = at.x();
    } else if (at.x() - lastX >= 1.0 || last) {
      path.lineTo(at);
      lastX = at.x();
    }
    started = true;
    const double x = std::round(at.x()) + 0.5;
    const double low = v.y(p.low), high = v.y(p.high);
    if (!bars.empty() && bars.back().x1() == x) {
      bars.back().setP1({x, std::max(bars.back().y1(), low)});
      bars.back().setP2({x, std::min(bars.back().y2(), high)});
    } else if (p.high > p.low) {
      bars.emplace_back(x, low, x, high);
    }
    // A point on its own (after a pause, a single poll) shows as a dot.
    if (!p.joined && last) dots.push_back(at);
  }
  painter.setBrush(Qt::NoBrush);
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setPen(QPen(colour, 1, Qt::SolidLine, Qt::FlatCap));
  painter.drawLines(bars.data(), int(bars.size()));
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setPen(QPen(colour, 1.6, style, Qt::RoundCap, Qt::RoundJoin));
  painter.drawPath(path);
  for (const QPointF& dot : dots) painter.drawEllipse(dot, 1.5, 1.5);
}

}  // namespace vantor
