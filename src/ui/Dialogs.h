#pragma once

#include <QString>

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
};

// The real thing, over QMessageBox.
class MessageBoxDialogs : public Dialogs {
 public:
  void message(QWidget* parent, const QString& text, const QString& detail = {}) override;
  bool askYesNo(QWidget* parent, const QString& text) override;
};

}  // namespace vantor
