#pragma once

#include "core/simulator/Responder.h"
#include "core/simulator/SlaveTable.h"
#include "core/simulator/TypedValue.h"

#include <QWidget>

#include <array>
#include <cstdint>
#include <optional>

class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vantor {

// One simulated slave's quadrant of the simulator: which field and address it stands for, its
// registers, the lists of the value it answers with, that value as the module shows it, and
// the button to its bench controls. Quadrant n stands for the module's field n.
class SlaveQuadrant : public QWidget {
  Q_OBJECT

 public:
  SlaveQuadrant(int number, QWidget* parent);

  // What a load of the slave table shows: the address and registers, and lists reset to 0.
  // A reset also empties the typed value, which no longer stands for what the lists hold.
  void showView(const SlaveView& view);
  // The slave it answers as: its address, data type and decimal places, and whether it is
  // polled at all.
  void setSlave(const Slave& slave);
  ValueLists values() const;
  // The raw value its lists stand for; nothing while a list it needs has no entry.
  std::optional<std::uint32_t> rawValue() const;
  // Sets the lists to `raw`; a value shown in the box follows them.
  void setRaw(std::uint32_t raw);
  // What was typed (or came typed from a file) and still stands for the lists; empty when
  // the value was picked in the lists.
  QString typedText() const;
  // Shows `text` as typed and sets the lists to it; why not, beside the box, when the data
  // type cannot carry it (the lists keep what they held).
  void applyText(const QString& text);
  // The bench controls that are on, in words; empty when none.
  void showBench(const QString& on);
  QList<QWidget*> tabOrder() const;

 signals:
  void valuesChanged(int number);
  void benchClicked(int number);

 private:
  void buildRegisterRows(QGridLayout* grid);
  void buildTypedValueRow(QGridLayout* grid);
  void buildBenchRow(QGridLayout* grid);
  void showCaption();
  void showDecoded();
  void applyTyped();
  void listChanged();

  const int number_;
  Slave slave_;
  QLabel* caption_ = nullptr;
  QLabel* address_ = nullptr;
  // The register polled, and the next one of a two-register value.
  std::array<QLabel*, 2> registers_{};
  // The value's low byte, its second byte, and its third byte (0x00..0x0F).
  std::array<QComboBox*, kValueListsPerSlave> lists_{};
  QLineEdit* typed_ = nullptr;
  // The box holds what the user typed rather than the lists' value written out; and the lists
  // are being set from it just now.
  bool userTyped_ = false;
  bool applying_ = false;
  QLabel* decoded_ = nullptr;
  QPushButton* bench_ = nullptr;
  QLabel* benchNote_ = nullptr;
};

}  // namespace vantor
