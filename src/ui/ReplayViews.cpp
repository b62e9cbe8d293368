#include "ui/ReplayViews.h"

#include "ui/Dialogs.h"
#include "ui/WindowParts.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace vantor {

ReplayDialog::ReplayDialog(Dialogs& dialogs, const QString& folder, QWidget* parent)
    : QDialog(parent), dialogs_(dialogs), folder_(folder) {
  setObjectName(QStringLiteral("dlgReplay"));
  setWindowTitle(tr("Replay a recording"));
  file_ = new QLineEdit(this);
  file_->setObjectName(QStringLiteral("txtReplayFile"));
  file_->setPlaceholderText(tr("An export of the bus monitor (.jsonl or .csv)"));
  auto* browse = namedButton(QStringLiteral("cmdReplayBrowse"), tr("Browse..."), this);
  connect(browse, &QPushButton::clicked, this, &ReplayDialog::browse);
  auto* fileRow = new QHBoxLayout;
  fileRow->addWidget(file_, 1);
  fileRow->addWidget(browse);

  slaves_ =
      new QRadioButton(tr("As the slaves: answer the module as the recording's slaves did"), this);
  slaves_->setObjectName(QStringLiteral("optReplaySlaves"));
  slaves_->setChecked(true);
  auto* master = new QRadioButton(
      tr("As the master: poll the field devices as the recording's master did, and compare"), this);
  master->setObjectName(QStringLiteral("optReplayMaster"));
  speed_ = new QDoubleSpinBox(this);
  speed_->setObjectName(QStringLiteral("spnReplaySpeed"));
  speed_->setRange(0.1, 100);
  speed_->setSingleStep(0.5);
  speed_->setValue(1);
  speed_->setSuffix(QStringLiteral(" x"));
  loop_ = new QCheckBox(tr("Start over after the end"), this);
  loop_->setObjectName(QStringLiteral("chkReplayLoop"));
  refusal_ = new QLabel(this);
  refusal_->setObjectName(QStringLiteral("lblReplayRefusal"));
  refusal_->setWordWrap(true);
  markText(refusal_, Mark::Failure);
  refusal_->hide();

  auto* form = new QFormLayout;
  form->addRow(caption(tr("Recording"), file_, this), fileRow);
  form->addRow(caption(tr("Speed"), speed_, this), speed_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
  auto* start = buttons->addButton(tr("Replay"), QDialogButtonBox::AcceptRole);
  start->setObjectName(QStringLiteral("cmdReplayStart"));
  start->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &ReplayDialog::start);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* column = new QVBoxLayout(this);
  column->addLayout(form);
  column->addWidget(slaves_);
  column->addWidget(master);
  column->addWidget(loop_);
  column->addWidget(refusal_);
  column->addWidget(buttons);
}

void ReplayDialog::browse() {
  const QString path = dialogs_.openFileIn(this, tr("Replay a recording"), folder_,
                                           tr("Recordings (*.jsonl *.ndjson *.csv)"));
  if (!path.isEmpty()) file_->setText(path);
}

void ReplayDialog::start() {
  const RecordingRead read = readRecording(file_->text().trimmed());
  if (!read.recording) {
    refusal_->setText(read.refusal);
    refusal_->show();
    return;
  }
  ReplayChoice choice;
  choice.recording = std::make_shared<const Recording>(*read.recording);
  choice.asSlaves = slaves_->isChecked();
  choice.speed = speed_->value();
  choice.loop = loop_->isChecked();
  emit chosen(choice);
  accept();
}

}  // namespace vantor
