// The main window's listening: Listen opens the port to hear it and never writes to it, the
// poll plan sums up what the master asks, and Find line settings listens at each setting in
// turn.

#include "core/settings/IniFile.h"
#include "serial/PollServer.h"
#include "serial/PortMap.h"
#include "ui/AnswerAllBox.h"
#include "ui/BusMonitor.h"
#include "ui/Dialogs.h"
#include "ui/ListenViews.h"
#include "ui/MainWindow.h"

#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace vantor {

QGroupBox* MainWindow::buildPollPlan() {
  pollPlanBox_ = new QGroupBox(tr("Poll plan: what the master asks"), this);
  pollPlanBox_->setObjectName(QStringLiteral("fPollPlan"));
  pollPlanTable_ = new PollPlanTable(pollPlanBox_);
  pollPlanTable_->setMinimumHeight(110);
  auto* column = new QVBoxLayout(pollPlanBox_);
  column->addWidget(pollPlanTable_);
  pollPlanBox_->hide();  // until the first Listen
  return pollPlanBox_;
}

bool MainWindow::isListening() const {
  return listening_ && server_->isOpen();
}

ServeLine MainWindow::lineAt(int port, const std::optional<LineSettings>& settings) const {
  return {port, devicePathForPort(ini_, port, devFolder_), false, settings};
}

void MainWindow::listenClicked() {
  if (listening_) {
    disconnectPort();
    return;
  }
  // The saved configuration names the values of the polls it makes.
  const SlaveTableLoad loaded = rememberChoiceAndLoad();
  ServeLine serve = lineAt(chosenPort(), lineSettingsOf(lineChoice()));
  serve.listenOnly = true;
  const OpenResult opened = server_->open(serve, nullptr);
  if (!opened.ok) {
    dialogs_.message(this, QStringLiteral("COMM PORT ERROR!"), opened.error);
    return;
  }
  pollPlan_ = PollPlan(loaded.table);
  pollPlanTable_->showRows({});
  monitor_->setTable(loaded.table);
  setListening(true);
  const QString listening =
      tr("Listening on %1: nothing is written to the line.").arg(opened.deviceName);
  showNotice(opened.notice.isEmpty() ? listening : opened.notice + u'\n' + listening,
             !opened.notice.isEmpty());
}

void MainWindow::setListening(bool listening) {
  listening_ = listening;
  listenButton_->setText(listening ? tr("Stop listening") : tr("Listen"));
  connectButton_->setEnabled(!listening);
  findButton_->setEnabled(!listening);
  commSettings_->setEnabled(!listening);
  configureButton_->setEnabled(false);
  simulator_->setEnabled(false);
  // Nothing is answered while listening: the poll plan takes the simulator's place, and stays
  // to be read once listening stops, above it.
  simulator_->setVisible(!listening);
  answerAll_->setVisible(!listening);
  if (listening) pollPlanBox_->show();
}

void MainWindow::showHeard(const std::vector<TrafficEvent>& heard) {
  for (const TrafficEvent& e : heard) pollPlan_.take(e);
  pollPlanTable_->showRows(pollPlan_.rows());
}

void MainWindow::findSettingsClicked() {
  const int port = chosenPort();
  auto* dialog = new LineScanDialog(
      [this, port](const LineSettings& settings) { return lineAt(port, settings); }, this);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  connect(dialog, &LineScanDialog::settingsChosen, this, [this](const LineSettings& settings) {
    for (std::size_t i = 0; i < kBaudRates.size(); ++i)
      if (kBaudRates[i] == settings.baud) baudButtons_[i]->setChecked(true);
    for (std::size_t i = 0; i < kDataFormats.size(); ++i)
      if (kDataFormats[i].parity == settings.parity &&
          kDataFormats[i].stopBits == settings.stopBits)
        dataFormatList_->setCurrentIndex(dataFormatList_->findData(int(i)));
  });
  // The port is the dialog's while it listens.
  connectButton_->setEnabled(false);
  listenButton_->setEnabled(false);
  connect(dialog, &QDialog::finished, this, [this] {
    connectButton_->setEnabled(true);
    listenButton_->setEnabled(true);
  });
  dialog->open();
}

}  // namespace vantor
