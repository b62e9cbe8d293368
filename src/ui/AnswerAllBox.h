#pragma once

// The main window's "answer every poll" controls: the switch, and the registers answered where
// no slave holds them, as a table of slave, function, register and value whose cells are
// checked as they are typed.

#include "core/simulator/RegisterMap.h"

#include <QGroupBox>

class QCheckBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace vantor {

class AnswerAllBox : public QGroupBox {
  Q_OBJECT

 public:
  explicit AnswerAllBox(QWidget* parent = nullptr);

  // Shows what the settings file holds; a bad entry shows as bad cells.
  void setSettings(const AnswerAllSettings& settings);
  // What to keep: the switch, and every row that holds anything, as typed.
  AnswerAllSettings settings() const;
  // The keys to save, once changed since setSettings(): a file that never had the section
  // stays without.
  void appendChanges(std::vector<IniEntry>& entries) const;

  bool answersAll() const;
  // The rows that can be used: a row with a bad cell, or for a register an earlier row already
  // sets, is left out.
  const RegisterMap& registers() const { return registers_; }
  // Its controls as Tab goes through them.
  QList<QWidget*> tabOrder() const;

 signals:
  // The switch or a usable register changed.
  void changed();

 private:
  void addRow(const RegisterCells& cells);
  void addNextRow();
  void removeRows();
  // Takes the table in again: marks bad cells, says the first problem, and keeps the usable
  // rows.
  void check();

  QCheckBox* answerAll_ = nullptr;
  QTableWidget* table_ = nullptr;
  QPushButton* add_ = nullptr;
  QPushButton* remove_ = nullptr;
  QLabel* problem_ = nullptr;
  RegisterMap registers_;
  AnswerAllSettings stored_;
};

}  // namespace vantor
