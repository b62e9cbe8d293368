#pragma once

#include "core/plot/PlotStore.h"

#include <QWidget>

#include <vector>

class QTimer;

namespace vantor {

class Dialogs;
class PlotView;

// The plots of what the port is doing: "Value trend" and "Poll timing" over the newest minutes.
// Whatever the job (serving, listening, polling as the module), its events reach them as
// samples through take(); they keep their own (never the log's rows), and redraw at most a
// few times a second, only when something came.
class PlotsPanel : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kRedrawMs = 250;

  PlotsPanel(Dialogs& dialogs, QWidget* parent);

  // Starts afresh; the series to come in `names`' order, which gives them their colours.
  void start(const QStringList& names);
  // Samples, in the order they happened.
  void take(const std::vector<PlotSample>& samples);
  // Paused with the log: nothing new is kept, and the plots say so.
  void setPaused(bool paused);
  const PlotStore& store() const { return store_; }

 signals:
  // Something done that the user should hear of ("Saved the value trend to …").
  void said(const QString& text);

 private:
  void redraw();
  void save(PlotView* plot);

  Dialogs& dialogs_;
  PlotStore store_;
  PlotView* trend_ = nullptr;
  PlotView* timing_ = nullptr;
  QTimer* redraw_ = nullptr;
  bool changed_ = false;
};

}  // namespace vantor
