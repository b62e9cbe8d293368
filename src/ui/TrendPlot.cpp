#include "ui/TrendPlot.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <cmath>
#include <limits>
#include <optional>

namespace vantor {

namespace {

// The values a lane spans, with room above and below: a flat line sits in the middle.
std::pair<double, double> laneRange(const PlotSeries& s, qint64 fromMs) {
  double low = std::numeric_limits<double>::max();
  double high = std::numeric_limits<double>::lowest();
  if (!lineRange(s.values, fromMs, low, high)) return {0, 1};
  const double pad = high > low ? (high - low) * 0.08 : std::max(1.0, std::abs(high) * 0.1);
  return {low - pad, high + pad};
}

}  // namespace

TrendPlot::TrendPlot(const PlotStore& store, QWidget* parent)
    : PlotView(tr("Value trend"), store, parent) {
  setObjectName(QStringLiteral("plotTrend"));
}

QString TrendPlot::describe() const {
  return describeTrend(store());
}

void TrendPlot::paintPlot(QPainter& painter, const QRectF& area) {
  std::vector<int> shown;
  for (std::size_t k = 0; k < store().series().size(); ++k)
    if (store().series()[k].hasTrend()) shown.push_back(int(k));
  if (shown.empty()) return;
  const double h = lineHeight();
  const double laneHeight = (area.height() - h * 1.4) / double(shown.size());
  const TimeAxis probe = timeAxis(0, 1);
  double labelWidth = 0;
  for (const int k : shown) {
    const auto [low, high] = laneRange(store().series()[std::size_t(k)], probe.fromMs);
    labelWidth = std::max(labelWidth, valueLabelWidth(low, high, laneHeight - h * 0.5 - 6));
  }
  const double left = area.left() + labelWidth + h / 2;
  const TimeAxis t = timeAxis(left, area.right() - h / 2);
  const double bottom = area.top() + laneHeight * double(shown.size());
  drawTimeAxis(painter, t, area.top(), bottom);
  for (std::size_t n = 0; n < shown.size(); ++n) {
    const QRectF lane(left, area.top() + laneHeight * double(n), t.right - left, laneHeight);
    const int k = shown[n];
    drawLane(painter, store().series()[std::size_t(k)], k, lane, t, labelWidth);
  }
}

// The series' name and newest value as shown at the top of its lane; under the line, a strip
// with a mark for each stretch of unanswered polls.
void TrendPlot::drawLane(QPainter& painter, const PlotSeries& s, int index, const QRectF& lane,
                         const TimeAxis& t, double labelWidth) {
  const double h = lineHeight();
  const QColor colour = seriesColour(index);
  const double strip = std::max(4.0, h * 0.5);
  const QRectF plot(lane.left(), lane.top() + 2, lane.width(),
                    std::max(2.0, lane.height() - strip - 4));
  painter.setPen(QPen(gridColour(), 1));
  painter.drawRect(plot);
  const auto [low, high] = laneRange(s, t.fromMs);
  const ValueAxis v = drawValueAxis(painter, plot, low, high, labelWidth);
  painter.save();
  painter.setClipRect(plot.adjusted(-2, -2, 2, 2));
  drawLine(painter, s.values, t, v, colour);
  painter.restore();
  drawCaption(painter, plot,
              s.name + QStringLiteral(": ") +
                  (s.lastUnanswered ? tr("no value (%1)").arg(s.shown) : s.shown),
              colour);

  // Marks that would overlap are one mark stretched over them: a run of unanswered polls reads
  // as one, and costs one shape however many polls it holds.
  const double base = plot.bottom() + strip + 1;
  const double half = strip * 0.45;
  QPainterPath marks;
  const auto addRun = [&](double from, double to) {
    marks.addPolygon(QPolygonF{{QPointF(from - half, base), QPointF(from, base - strip),
                                QPointF(to, base - strip), QPointF(to + half, base)}});
    marks.closeSubpath();
  };
  std::optional<std::pair<double, double>> run;
  for (const PlotMark& m : s.unanswered) {
    if (m.timeMs < t.fromMs) continue;
    const double x = t.x(m.timeMs);
    if (run && x - run->second < 2 * half) {
      run->second = x;
      continue;
    }
    if (run) addRun(run->first, run->second);
    run = std::pair{x, x};
  }
  if (run) addRun(run->first, run->second);
  painter.fillPath(marks, colour);
}

}  // namespace vantor
