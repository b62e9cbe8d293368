#include "ui/Dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QProgressDialog>

namespace vantor {

MessageBoxDialogs::MessageBoxDialogs() = default;
MessageBoxDialogs::~MessageBoxDialogs() = default;

void MessageBoxDialogs::message(QWidget* parent, const QString& text, const QString& detail) {
  QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kTitle), text, QMessageBox::Ok, parent);
  if (!detail.isEmpty()) box.setInformativeText(detail);
  box.exec();
}

bool MessageBoxDialogs::askYesNo(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Question, QString::fromLatin1(kTitle), text,
                  QMessageBox::Yes | QMessageBox::No, parent);
  box.setDefaultButton(QMessageBox::Yes);
  return box.exec() == QMessageBox::Yes;
}

Dialogs::Answer MessageBoxDialogs::askYesNoCancel(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kTitle), text,
                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, parent);
  box.setDefaultButton(QMessageBox::Yes);
  box.setEscapeButton(QMessageBox::Cancel);
  switch (box.exec()) {
    case QMessageBox::Yes:
      return Answer::Yes;
    case QMessageBox::No:
      return Answer::No;
    default:
      return Answer::Cancel;
  }
}

bool MessageBoxDialogs::askRetry(QWidget* parent, const QString& text, const QString& detail) {
  QMessageBox box(QMessageBox::Warning, QString::fromLatin1(kTitle), text,
                  QMessageBox::Retry | QMessageBox::Cancel, parent);
  if (!detail.isEmpty()) box.setInformativeText(detail);
  box.setDefaultButton(QMessageBox::Cancel);
  return box.exec() == QMessageBox::Retry;
}

bool MessageBoxDialogs::waitingForLock(QWidget* parent, const QString& lockPath, qint64 waitedMs) {
  if (waitedMs < 0) {
    lockWait_.reset();
    return true;
  }
  if (!lockWait_) {
    lockWait_ = std::make_unique<QProgressDialog>(
        QObject::tr("Another program holds the lock on the settings file (%1). Waiting for it "
                    "to let go…")
            .arg(lockPath),
        QObject::tr("Give up"), 0, 10, parent);
    lockWait_->setWindowTitle(QString::fromLatin1(kTitle));
    lockWait_->setWindowModality(Qt::ApplicationModal);
    lockWait_->setMinimumDuration(0);
  }
  lockWait_->setValue(int(std::min<qint64>(waitedMs / 1000, 9)));
  QApplication::processEvents();
  return !lockWait_->wasCanceled();
}

QString MessageBoxDialogs::saveFileName(QWidget* parent, const QString& caption,
                                        const QString& filter) {
  return QFileDialog::getSaveFileName(parent, caption, {}, filter);
}

QString MessageBoxDialogs::openFileName(QWidget* parent, const QString& caption,
                                        const QString& filter) {
  return QFileDialog::getOpenFileName(parent, caption, {}, filter);
}

QString MessageBoxDialogs::openFileIn(QWidget* parent, const QString& caption,
                                      const QString& folder, const QString& filter) {
  return QFileDialog::getOpenFileName(parent, caption, folder, filter);
}

QString MessageBoxDialogs::saveFileAs(QWidget* parent, const QString& caption,
                                      const QString& suggested, const QString& filters,
                                      QString* chosenFilter) {
  return QFileDialog::getSaveFileName(parent, caption, suggested, filters, chosenFilter);
}

}  // namespace vantor
