#include "ui/StatusLine.h"

#include <QFileInfo>
#include <QLabel>

namespace vantor {

StatusLine::StatusLine(QWidget* parent) : QStatusBar(parent) {
  setObjectName(QStringLiteral("statusBar"));
  setSizeGripEnabled(false);
  // The last notice takes what room is left; the parts keep theirs on the right.
  said_ = new QLabel(this);
  said_->setObjectName(QStringLiteral("lblLastNotice"));
  said_->setAccessibleName(tr("Last notice"));
  said_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  said_->setMinimumWidth(80);
  addWidget(said_, 1);
  state_ = part(QStringLiteral("lblState"), tr("State"));
  port_ = part(QStringLiteral("lblStatePort"), tr("Port"));
  line_ = part(QStringLiteral("lblStateLine"), tr("Line setting"));
  module_ = part(QStringLiteral("lblStateModule"), tr("Module"));
  scenario_ = part(QStringLiteral("lblScenario"), tr("Bench scenario"));
  scenario_->hide();
}

QLabel* StatusLine::part(const QString& name, const QString& accessibleName) {
  auto* label = new QLabel(this);
  label->setObjectName(name);
  label->setAccessibleName(accessibleName);
  addPermanentWidget(label);
  return label;
}

void StatusLine::showPort(const QString& port) {
  port_->setText(port);
}

void StatusLine::showLine(const QString& line) {
  line_->setText(line);
}

void StatusLine::showModule(const QString& module) {
  module_->setText(module);
}

void StatusLine::showState(const QString& state) {
  state_->setText(state);
}

void StatusLine::showScenario(const QString& path) {
  scenario_->setText(path.isEmpty() ? QString() : tr("Bench: %1").arg(QFileInfo(path).fileName()));
  scenario_->setToolTip(path);
  scenario_->setVisible(!path.isEmpty());
}

void StatusLine::say(const QString& text) {
  // One line in the bar; the whole of it on hovering.
  said_->setText(text.section(u'\n', 0, 0));
  said_->setToolTip(text);
}

}  // namespace vantor
