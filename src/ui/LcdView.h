#pragma once

#include "core/display/DisplayPreview.h"

#include <QSize>
#include <QWidget>

namespace vantor {

// A module's display as it looks: a panel of character cells, sixteen by two or twenty by
// four, in the module's own colours whatever the window's palette. A field whose reading is
// missing is drawn faded. Screen readers get the rows framed by '|', one per line.
class LcdView : public QWidget {
  Q_OBJECT

 public:
  explicit LcdView(QWidget* parent = nullptr);

  // Shows `preview`; the cell grid takes the size of its rows (16x2 until the first one).
  void setPreview(const DisplayPreview& preview);
  const DisplayPreview& preview() const { return preview_; }

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  struct Metrics {
    int cellWidth;
    int cellHeight;
    int gap;     // between cells
    int margin;  // around the grid, inside the panel
  };
  Metrics metrics() const;
  int columns() const;
  int rowCount() const;
  bool dimmed(int row, int column) const;

  DisplayPreview preview_;
};

}  // namespace vantor
