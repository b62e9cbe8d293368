#pragma once

#include "ui/PlotView.h"

namespace vantor {

// "Value trend": per series a lane of its own, with its own value axis (a temperature and a
// flow share no scale), the values as the module showed them over the newest minutes, and a
// mark in the series' colour under the time axis wherever a poll went unanswered.
class TrendPlot : public PlotView {
  Q_OBJECT

 public:
  TrendPlot(const PlotStore& store, QWidget* parent);

 protected:
  void paintPlot(QPainter& painter, const QRectF& area) override;
  QString describe() const override;

 private:
  void drawLane(QPainter& painter, const PlotSeries& series, int index, const QRectF& lane,
                const TimeAxis& t, double labelWidth);
};

}  // namespace vantor
