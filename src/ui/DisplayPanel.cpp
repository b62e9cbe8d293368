#include "ui/DisplayPanel.h"

#include "core/simulator/Serving.h"
#include "core/simulator/SlaveTable.h"
#include "ui/LcdView.h"
#include "ui/WindowParts.h"

#include <QLabel>
#include <QVBoxLayout>

namespace vantor {

FieldReading readingOf(const Exchange& x) {
  // A fault that changed or kept the reply: the module reads no value from it. A delay alone
  // changes nothing the module reads, only when.
  if (x.altered) return {std::nullopt, x.note};
  if (!x.sendError.isEmpty()) return {std::nullopt, QStringLiteral("reply not sent")};
  if (x.verdict == Verdict::Answered && x.value && !x.sent.isEmpty()) return {x.value, {}};
  if (x.verdict == Verdict::NoValueChosen)
    return {std::nullopt, QStringLiteral("no reply: no value chosen")};
  return {std::nullopt, QStringLiteral("no reply: the poll differs from the saved configuration")};
}

DisplayPanel::DisplayPanel(QWidget* parent) : QWidget(parent) {
  lcd_ = new LcdView(this);
  findings_ = new QLabel(this);
  findings_->setObjectName(QStringLiteral("lblFindings"));
  findings_->setWordWrap(true);
  findings_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  findings_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  markText(findings_, Mark::Notice);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->addWidget(lcd_, 0, Qt::AlignHCenter);
  column->addWidget(findings_);
}

void DisplayPanel::showConfiguration(const std::optional<Config1602>& cfg1602,
                                     const std::optional<Config2004>& cfg2004, bool live) {
  heard_.reset();
  cfg1602_ = cfg1602;
  cfg2004_ = cfg2004;
  live_ = live;
  readings_.fill({std::nullopt, QStringLiteral("not polled yet")});
  changed_ = true;
  refresh();
}

void DisplayPanel::showConfiguration(const SlaveTableLoad& load, bool live) {
  showConfiguration(load.config1602, load.config2004, live);
}

void DisplayPanel::take(const Exchange& x) {
  // The four-line module's field k is polled as slave k; the two-line module's one field as
  // slave 1.
  static_assert(kSlaveCount == kFieldCount);
  setReading(x.slave, readingOf(x));
}

void DisplayPanel::setReading(int field, const FieldReading& reading) {
  if (field < 1 || field > kFieldCount) return;
  readings_[std::size_t(field - 1)] = reading;
  changed_ = true;
}

void DisplayPanel::listen(const ModuleConfig& saved) {
  // Nothing stale: what the simulator answered last is no reading of this line.
  showConfiguration(std::nullopt, std::nullopt);
  heard_.emplace(saved);
}

QString DisplayPanel::hear(const std::vector<TrafficEvent>& heard) {
  if (!heard_) return {};
  bool changed = false;
  bool tookOver = false;
  for (const TrafficEvent& e : heard) {
    const bool took = heard_->take(e);
    changed = changed || took;
    tookOver = tookOver || (took && e.kind == EventKind::ConfigFrame);
  }
  if (!changed || !heard_->heard()) return {};
  cfg1602_ = heard_->config().cfg1602;
  cfg2004_ = heard_->config().cfg2004;
  readings_ = heard_->readings();
  changed_ = true;  // drawn at the next refresh, once per batch
  return tookOver ? heard_->configNote() : QString();
}

void DisplayPanel::refresh() {
  if (!changed_) return;
  changed_ = false;
  DisplayPreview shown;
  if (cfg1602_)
    shown = previewDisplay(*cfg1602_, readings_[0]);
  else if (cfg2004_)
    shown = previewDisplay(*cfg2004_, readings_);
  lcd_->setPreview(shown);
  findings_->setText(live_ ? shown.findings.join(u'\n') : QString());
}

const DisplayPreview& DisplayPanel::preview() const {
  return lcd_->preview();
}

}  // namespace vantor
