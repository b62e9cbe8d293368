#pragma once

#include "core/plot/PlotStore.h"

#include <QColor>
#include <QRectF>
#include <QWidget>

class QPainter;

namespace vantor {

// What the two plots share: a title, a time axis ending at the newest sample, value axes at
// round values, lines with their ranges, the series' colours for the palette they are drawn
// on, and "Save as PNG…" in the context menu. A plot is drawn from the store when refresh() is
// called (a few times a second at most), never per sample; its accessible description holds
// its newest points as text.
class PlotView : public QWidget {
  Q_OBJECT

 public:
  PlotView(const QString& name, const PlotStore& store, QWidget* parent);

  // Takes what the store holds now: drawn at the next paint, said in the description.
  void refresh();
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 signals:
  // "Save as PNG…" was chosen.
  void saveRequested();

 protected:
  // Where times fall between `left` and `right`: the newest sample at the right, the oldest kept
  // (at most the span before it) at the left.
  struct TimeAxis {
    qint64 fromMs = 0;
    qint64 toMs = 1;
    double left = 0;
    double right = 1;
    double x(qint64 timeMs) const;
  };
  // Where values fall within `rect`: `low` at its bottom, `high` at its top.
  struct ValueAxis {
    double low = 0;
    double high = 1;
    QRectF rect;
    double y(double value) const;
  };

  void paintEvent(QPaintEvent* event) override;
  // Draws the plot into `area` (below the title); what is said of it.
  virtual void paintPlot(QPainter& painter, const QRectF& area) = 0;
  virtual QString describe() const = 0;

  const PlotStore& store() const { return store_; }
  TimeAxis timeAxis(double left, double right) const;
  // Labels of the time axis under `bottom`, and its grid from `top` down to `bottom`.
  void drawTimeAxis(QPainter& painter, const TimeAxis& axis, double top, double bottom) const;
  // Ticks, labels (right-aligned left of `rect`, `labelWidth` wide) and grid of a value axis.
  ValueAxis drawValueAxis(QPainter& painter, const QRectF& rect, double low, double high,
                          double labelWidth) const;
  // How wide the labels of a value axis from `low` to `high` in `height` are.
  double valueLabelWidth(double low, double high, double height) const;
  // A line of `colour` through each point's last value, with bars where samples differed; the
  // stretch before `from` is left out.
  void drawLine(QPainter& painter, const PlotLine& line, const TimeAxis& t, const ValueAxis& v,
                const QColor& colour, Qt::PenStyle style = Qt::SolidLine) const;
  // `text` in `colour` at the top left inside `rect`, over what is drawn there.
  void drawCaption(QPainter& painter, const QRectF& rect, const QString& text,
                   const QColor& colour) const;
  // Series k's colour, readable on the plots' background.
  QColor seriesColour(int index) const;
  QColor textColour() const;
  QColor gridColour() const;
  double lineHeight() const;

 private:
  const PlotStore& store_;
};

// The range of the points of `line` at or after `fromMs`, widened by `low` and `high`; false
// when it holds none.
bool lineRange(const PlotLine& line, qint64 fromMs, double& low, double& high);

}  // namespace vantor
