#pragma once

#include "ui/Dialogs.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace vantor::test {

// Answers message boxes for the user: records every box and answers from a queue (when it is
// empty, with the box's default: Yes to a question, Cancel to a retry).
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
  // Cancel when `cancelNext` says so, else as askYesNo.
  Answer askYesNoCancel(QWidget* parent, const QString& text) override {
    if (cancelNext > 0) {
      --cancelNext;
      boxes.append({text, {}});
      return Answer::Cancel;
    }
    return askYesNo(parent, text) ? Answer::Yes : Answer::No;
  }
  // Cancel (the default) unless an answer is queued.
  bool askRetry(QWidget*, const QString& text, const QString& detail) override {
    boxes.append({text, detail});
    return answers.isEmpty() ? false : answers.takeFirst();
  }
  bool waitingForLock(QWidget*, const QString&, qint64 waitedMs) override {
    lockWaits.append(waitedMs);
    return onLockWait ? onLockWait(waitedMs) : true;
  }

  // Answers a file dialog with `saveAs` (empty: cancelled).
  QString saveFileName(QWidget*, const QString&, const QString&) override { return saveAs; }
  // Answers an open dialog with `openPath` (empty: cancelled).
  QString openFileName(QWidget*, const QString&, const QString&) override { return openPath; }
  // A save dialog, noting the name suggested; `chooseFilter`, when set, is the filter chosen.
  QString saveFileAs(QWidget*, const QString&, const QString& suggested, const QString&,
                     QString* chosenFilter) override {
    suggestedNames.append(suggested);
    if (!chooseFilter.isEmpty()) *chosenFilter = chooseFilter;
    return saveAs;
  }

  QStringList texts() const {
    QStringList out;
    for (const Box& b : boxes) out << b.text;
    return out;
  }

  QList<Box> boxes;
  QList<bool> answers;
  int cancelNext = 0;  // questions with a Cancel to answer with it
  QList<qint64> lockWaits;
  std::function<bool(qint64 waitedMs)> onLockWait;
  QString saveAs;
  QString openPath;
  QString chooseFilter;
  QStringList suggestedNames;
};

}  // namespace vantor::test
