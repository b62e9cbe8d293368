#include "ui/PlotsPanel.h"

#include "ui/Dialogs.h"
#include "ui/TimingPlot.h"
#include "ui/TrendPlot.h"
#include "ui/WindowParts.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QSplitter>
#include <QTimer>
#include <QVBoxLayout>

namespace vantor {

PlotsPanel::PlotsPanel(Dialogs& dialogs, QWidget* parent) : QWidget(parent), dialogs_(dialogs) {
  setObjectName(QStringLiteral("fPlots"));
  trend_ = new TrendPlot(store_, this);
  timing_ = new TimingPlot(store_, this);
  auto* saveTrend =
      namedButton(QStringLiteral("cmdSaveTrend"), tr("Save value trend as PNG…"), this);
  auto* saveTiming =
      namedButton(QStringLiteral("cmdSaveTiming"), tr("Save poll timing as PNG…"), this);
  for (PlotView* plot : {trend_, timing_})
    connect(plot, &PlotView::saveRequested, this, [this, plot] { save(plot); });
  connect(saveTrend, &QPushButton::clicked, this, [this] { save(trend_); });
  connect(saveTiming, &QPushButton::clicked, this, [this] { save(timing_); });

  auto* split = new QSplitter(Qt::Vertical, this);
  split->setObjectName(QStringLiteral("splitPlots"));
  split->addWidget(trend_);
  split->addWidget(timing_);
  split->setChildrenCollapsible(false);
  // A lane per field above, two panes below.
  split->setStretchFactor(0, 3);
  split->setStretchFactor(1, 2);
  auto* tools = new QHBoxLayout;
  auto* note = new QLabel(tr("The newest %1 minutes of each field; paused with the log.")
                              .arg(PlotStore::kSpanMs / 60000),
                          this);
  note->setWordWrap(true);
  tools->addWidget(note, 1);
  tools->addWidget(saveTrend);
  tools->addWidget(saveTiming);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->addLayout(tools);
  column->addWidget(split, 1);

  redraw_ = new QTimer(this);
  redraw_->setInterval(kRedrawMs);
  connect(redraw_, &QTimer::timeout, this, &PlotsPanel::redraw);
  redraw();
}

void PlotsPanel::start(const QStringList& names) {
  store_.clear(names);
  changed_ = true;
  redraw();
}

void PlotsPanel::take(const std::vector<PlotSample>& samples) {
  if (samples.empty()) return;
  for (const PlotSample& sample : samples) store_.take(sample);
  changed_ = true;
  if (!redraw_->isActive()) redraw_->start();
}

void PlotsPanel::setPaused(bool paused) {
  if (paused == store_.paused()) return;
  store_.setPaused(paused);
  changed_ = true;
  redraw();
}

// On the timer's beat: what came since the last beat is drawn and said; a beat with nothing
// new stops the timer until something comes.
void PlotsPanel::redraw() {
  if (!changed_) {
    redraw_->stop();
    return;
  }
  changed_ = false;
  trend_->refresh();
  timing_->refresh();
}

void PlotsPanel::save(PlotView* plot) {
  const QString what = plot->accessibleName();
  QString path = dialogs_.saveFileName(this, tr("Save the %1 as PNG").arg(what.toLower()),
                                       tr("PNG images (*.png)"));
  if (path.isEmpty()) return;
  const QString typed = path;
  if (QFileInfo(path).suffix().compare(QStringLiteral("png"), Qt::CaseInsensitive) != 0)
    path += QStringLiteral(".png");
  // The dialog asked about replacing only the name typed.
  if (path != typed && QFileInfo::exists(path) &&
      !dialogs_.askYesNo(this, tr("%1 already exists. Replace it?").arg(path)))
    return;
  if (!plot->grab().save(path, "PNG")) {
    dialogs_.message(this, tr("The %1 was not saved.").arg(what.toLower()),
                     tr("%1 could not be written.").arg(path));
    return;
  }
  emit said(tr("Saved the %1 to %2.").arg(what.toLower(), path));
}

}  // namespace vantor
