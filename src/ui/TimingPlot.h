#pragma once

#include "ui/PlotView.h"

namespace vantor {

// "Poll timing": above, the interval between a series' polls against the configured interval
// (a dashed line at it), late cycles marked and pauses shaded, the line broken across them;
// below, the reply latency. Series share the axes, each in its colour.
class TimingPlot : public PlotView {
  Q_OBJECT

 public:
  TimingPlot(const PlotStore& store, QWidget* parent);

 protected:
  void paintPlot(QPainter& painter, const QRectF& area) override;
  QString describe() const override;

 private:
  // The names of the series timed, in their colours, along the top of `area`.
  double drawLegend(QPainter& painter, const QRectF& area, const std::vector<int>& shown);
  void drawIntervals(QPainter& painter, const std::vector<int>& shown, const TimeAxis& t,
                     const ValueAxis& v);
};

}  // namespace vantor
