#include "ui/ByteDisplays.h"

#include "core/modbus/HexText.h"
#include "core/simulator/Serving.h"
#include "ui/WindowParts.h"

#include <QGridLayout>
#include <QLabel>

namespace vantor {

ByteDisplays::ByteDisplays(QWidget* parent) : QWidget(parent) {
  received_ = new QLabel(this);
  received_->setObjectName(QStringLiteral("lblRxData"));
  transmitted_ = new QLabel(this);
  transmitted_->setObjectName(QStringLiteral("lblTxData"));
  verdict_ = new QLabel(this);
  verdict_->setObjectName(QStringLiteral("lblStatus"));
  received_->setStyleSheet(
      QStringLiteral("background-color: #66DD66; color: #B00000; padding: 2px;"));
  transmitted_->setStyleSheet(
      QStringLiteral("background-color: #CC0000; color: #A0FFA0; padding: 2px;"));
  QFont bold = verdict_->font();
  bold.setBold(true);
  verdict_->setFont(bold);
  markText(verdict_, Mark::Good);
  QFont mono(QStringLiteral("Monospace"));
  mono.setStyleHint(QFont::TypeWriter);
  mono.setPointSizeF(9.75);
  for (auto* display : {received_, transmitted_}) {
    display->setFont(mono);
    display->setMinimumWidth(300);
    display->setMinimumHeight(22);
    display->setTextInteractionFlags(Qt::TextSelectableByMouse);
  }
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->addWidget(caption(QStringLiteral("Received Bytes"), received_, this), 0, 0);
  grid->addWidget(received_, 0, 1);
  grid->addWidget(verdict_, 0, 2);
  grid->addWidget(caption(QStringLiteral("Transmitted Bytes"), transmitted_, this), 1, 0);
  grid->addWidget(transmitted_, 1, 1);
  grid->setColumnStretch(1, 1);
  grid->setColumnMinimumWidth(2, 110);
}

void ByteDisplays::showExchange(const Exchange& exchange) {
  received_->setText(byteDisplay(exchange.request));
  transmitted_->setText(byteDisplay(exchange.sent));
  verdict_->setText(statusText(exchange.verdict));
}

}  // namespace vantor
