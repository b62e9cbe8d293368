#include "ui/Dialogs.h"

#include <QFileDialog>
#include <QMessageBox>

namespace vantor {

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

QString MessageBoxDialogs::saveFileName(QWidget* parent, const QString& caption,
                                        const QString& filter) {
  return QFileDialog::getSaveFileName(parent, caption, {}, filter);
}

}  // namespace vantor
