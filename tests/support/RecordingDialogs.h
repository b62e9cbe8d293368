#pragma once

#include "ui/Dialogs.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace vantor::test {

// Answers message boxes for the user: records every box and answers Yes/No from a queue
// (Yes when the queue is empty).
class RecordingDialogs : public Dialogs {
 public:
  struct Box {
    QString text;
    QString detail;
  };

  void message(QWidget*, const QString& text, const QString& detail = {}) override {
    boxes.append({text, detail});
  }
  bool askYesNo(QWidget*, const QString& text) override {
    boxes.append({text, {}});
    return answers.isEmpty() ? true : answers.takeFirst();
  }

  // Answers a file dialog with `saveAs` (empty: cancelled).
  QString saveFileName(QWidget*, const QString&, const QString&) override { return saveAs; }

  QStringList texts() const {
    QStringList out;
    for (const Box& b : boxes) out << b.text;
    return out;
  }

  QList<Box> boxes;
  QList<bool> answers;
  QString saveAs;
};

}  // namespace vantor::test
