#pragma once

#include <QString>
#include <QtGlobal>

#include <memory>

class QProgressDialog;
class QWidget;

namespace vantor {

// Message boxes titled "Vantor". Windows ask through this so that tests can answer for the
// user without a modal loop.
class Dialogs {
 public:
  static constexpr const char* kTitle = "Vantor";

  virtual ~Dialogs() = default;
  // An OK box with `text`, and `detail` (the reason, what to do) beneath it when given.
  virtual void message(QWidget* parent, const QString& text, const QString& detail = {}) = 0;
  // A box with Yes and No, Yes the default; true for Yes.
  virtual bool askYesNo(QWidget* parent, const QString& text) = 0;
  enum class Answer { Yes, No, Cancel };
  // A box with Yes, No and Cancel, Yes the default and Escape Cancel.
  virtual Answer askYesNoCancel(QWidget* parent, const QString& text) {
    return askYesNo(parent, text) ? Answer::Yes : Answer::No;
  }
  // A box saying what failed, with Retry and Cancel, Cancel the default; true for Retry.
  virtual bool askRetry(QWidget* parent, const QString& text, const QString& detail) = 0;
  // Another program holds the settings file's lock at `lockPath` and has for `waitedMs`:
  // says so (with a way to give up) and keeps the windows drawn; false to give up. -1: the
  // wait is over.
  virtual bool waitingForLock(QWidget* parent, const QString& lockPath, qint64 waitedMs) = 0;
  // The file to save to, asked for with `filter` ("Logs (*.csv *.jsonl)"); empty when the user
  // cancels (or nobody is there to ask).
  virtual QString saveFileName(QWidget* parent, const QString& caption, const QString& filter) {
    Q_UNUSED(parent);
    Q_UNUSED(caption);
    Q_UNUSED(filter);
    return {};
  }
  // The file to open, of those `filter` shows; empty when the user cancels.
  virtual QString openFileName(QWidget* parent, const QString& caption, const QString& filter) {
    Q_UNUSED(parent);
    Q_UNUSED(caption);
    Q_UNUSED(filter);
    return {};
  }
  // The same, in a dialog opened on `folder` (empty: wherever the system chooses).
  virtual QString openFileIn(QWidget* parent, const QString& caption, const QString& folder,
                             const QString& filter) {
    Q_UNUSED(folder);
    return openFileName(parent, caption, filter);
  }
  // The file to save to, in a dialog opened on `suggested` (a folder and a file name) with
  // `*chosenFilter` chosen among `filters`; the filter the user chose goes back to
  // `*chosenFilter`.
  virtual QString saveFileAs(QWidget* parent, const QString& caption, const QString& suggested,
                             const QString& filters, QString* chosenFilter) {
    Q_UNUSED(suggested);
    Q_UNUSED(chosenFilter);
    return saveFileName(parent, caption, filters);
  }
};

// The real thing, over QMessageBox.
class MessageBoxDialogs : public Dialogs {
 public:
  MessageBoxDialogs();
  ~MessageBoxDialogs() override;
  void message(QWidget* parent, const QString& text, const QString& detail = {}) override;
  bool askYesNo(QWidget* parent, const QString& text) override;
  Answer askYesNoCancel(QWidget* parent, const QString& text) override;
  bool askRetry(QWidget* parent, const QString& text, const QString& detail) override;
  bool waitingForLock(QWidget* parent, const QString& lockPath, qint64 waitedMs) override;
  QString saveFileName(QWidget* parent, const QString& caption, const QString& filter) override;
  QString openFileName(QWidget* parent, const QString& caption, const QString& filter) override;
  QString openFileIn(QWidget* parent, const QString& caption, const QString& folder,
                     const QString& filter) override;
  QString saveFileAs(QWidget* parent, const QString& caption, const QString& suggested,
                     const QString& filters, QString* chosenFilter) override;

 private:
  std::unique_ptr<QProgressDialog> lockWait_;
};

}  // namespace vantor
