#include "ui/TimingPlot.h"

#include "ui/WindowParts.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>

namespace vantor {

TimingPlot::TimingPlot(const PlotStore& store, QWidget* parent)
    : PlotView(tr("Poll timing"), store, parent) {
  setObjectName(QStringLiteral("plotTiming"));
}

QString TimingPlot::describe() const {
  return describeTiming(store());
}

double TimingPlot::drawLegend(QPainter& painter, const QRectF& area,
                              const std::vector<int>& shown) {
  const QFontMetricsF fm(font());
  double x = area.left();
  double y = area.top();
  for (const int k : shown) {
    const QString name = store().series()[std::size_t(k)].name;
    const double w = fm.horizontalAdvance(name) + fm.height() * 2.2;
    if (x + w > area.right() && x > area.left()) {
      x = area.left();
      y += fm.height();
    }
    const QColor colour = seriesColour(k);
    painter.setPen(QPen(colour, 2));
    const double mid = y + fm.height() / 2;
    painter.drawLine(QPointF(x, mid), QPointF(x + fm.height(), mid));
    painter.setPen(colour);
    painter.drawText(QPointF(x + fm.height() * 1.3, y + fm.ascent()), name);
    x += w;
  }
  return y + fm.height() * 1.2;
}

void TimingPlot::paintPlot(QPainter& painter, const QRectF& area) {
  std::vector<int> shown;
  for (std::size_t k = 0; k < store().series().size(); ++k)
    if (store().series()[k].hasTiming()) shown.push_back(int(k));
  if (shown.empty()) return;
  const double h = lineHeight();
  const double top = drawLegend(painter, area, shown);
  const TimeAxis probe = timeAxis(0, 1);
  double interval = 1;
  double latency = 0.1;
  for (const int k : shown) {
    const PlotSeries& s = store().series()[std::size_t(k)];
    double low = 0;
    lineRange(s.intervals, probe.fromMs, low, interval);
    lineRange(s.latencies, probe.fromMs, low, latency);
    interval = std::max(interval, double(s.configuredMs));
  }
  interval *= 1.1;
  latency *= 1.1;
  // Two panes under one time axis: three fifths the intervals, the rest the latencies.
  const double room = area.bottom() - top - h * 1.4;
  const QRectF upper(0, top, 0, room * 0.6 - h * 0.25);
  const QRectF lower(0, upper.bottom() + h * 0.5, 0, room * 0.4 - h * 0.25);
  const double labelWidth = std::max(valueLabelWidth(0, interval, upper.height()),
                                     valueLabelWidth(0, latency, lower.height()));
  const double left = area.left() + labelWidth + h / 2;
  const TimeAxis t = timeAxis(left, area.right() - h / 2);
  const QRectF intervals(left, upper.top(), t.right - left, upper.height());
  const QRectF latencies(left, lower.top(), t.right - left, lower.height());
  drawTimeAxis(painter, t, intervals.top(), latencies.bottom());
  for (const QRectF& pane : {intervals, latencies}) {
    painter.setPen(QPen(gridColour(), 1));
    painter.drawRect(pane);
  }
  const ValueAxis vi = drawValueAxis(painter, intervals, 0, interval, labelWidth);
  const ValueAxis vl = drawValueAxis(painter, latencies, 0, latency, labelWidth);
  painter.setClipRect(intervals.adjusted(-3, -3, 3, 3));
  drawIntervals(painter, shown, t, vi);
  painter.setClipRect(latencies.adjusted(-3, -3, 3, 3));
  for (const int k : shown)
    drawLine(painter, store().series()[std::size_t(k)].latencies, t, vl, seriesColour(k));
  painter.setClipping(false);
  drawCaption(painter, intervals, tr("Interval between polls, ms"), textColour());
  drawCaption(painter, latencies, tr("Reply latency, ms"), textColour());
}

// Pauses shaded in the failure colour, the configured interval dashed, the intervals, and a
// ring in the failure colour round each late one.
void TimingPlot::drawIntervals(QPainter& painter, const std::vector<int>& shown, const TimeAxis& t,
                               const ValueAxis& v) {
  QColor pause = markColour(Mark::Failure, this);
  pause.setAlphaF(0.18f);
  for (const int k : shown)
    for (const PlotPause& p : store().series()[std::size_t(k)].pauses) {
      const double from = std::max(t.left, t.x(p.fromMs));
      painter.fillRect(
          QRectF(from, v.rect.top(), std::max(2.0, t.x(p.toMs) - from), v.rect.height()), pause);
    }
  for (const int k : shown) {
    const PlotSeries& s = store().series()[std::size_t(k)];
    if (s.configuredMs <= 0) continue;
    painter.setPen(QPen(seriesColour(k), 1, Qt::DashLine));
    const double y = v.y(s.configuredMs);
    painter.drawLine(QPointF(t.left, y), QPointF(t.right, y));
  }
  const QPen late(markColour(Mark::Failure, this), 1.6);
  for (const int k : shown) {
    const PlotSeries& s = store().series()[std::size_t(k)];
    drawLine(painter, s.intervals, t, v, seriesColour(k));
    painter.setPen(late);
    for (const PlotPoint& p : s.intervals.points())
      if (p.timeMs >= t.fromMs && isLate(p.high, s.configuredMs))
        painter.drawEllipse(QPointF(t.x(p.timeMs), v.y(p.high)), 3.5, 3.5);
  }
}

}  // namespace vantor
