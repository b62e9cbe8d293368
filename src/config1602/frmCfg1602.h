#pragma once

#include <QString>
#include <QWidget>

#include <memory>

#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace vantor {

class ConfigLink;
class Dialogs;
class SerialPort;
class modINI;
struct Cfg1602;
struct modVar;

// The configuration window of the 1602 module, "Configure KV-216/KV-216L": a top-level, modeless
// window that the main window creates once and shows again and again.
class frmCfg1602 : public QWidget {
  Q_OBJECT

 public:
  frmCfg1602(modVar& vars, modINI& ini, Dialogs& dialogs);
  ~frmCfg1602() override;

  // Runs the opening sequence and shows the window; when it is already open, brings it
  // forward instead.
  void showWindow();
  SerialPort& port();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void buildLayout();
  QComboBox* list(const QString& control) const;
  void openPort();
  void fillLists();
  Cfg1602 record() const;
  void apply(const Cfg1602& cfg);
  void cmdConfig1602_Click();
  void showNotice(const QString& text);
  // Fixed size, tall enough for what the status lines say now.
  void fitHeight();

  modVar& vars_;
  modINI& ini_;
  Dialogs& dialogs_;
  std::unique_ptr<ConfigLink> link_;
  // Set by the opening sequence, cleared by the closing one.
  bool open_ = false;
  // Why the port did not open at the last opening; empty when it did.
  // Key CSet as read at the last opening: a save without a data format keeps its ending.
  QString CSet_;

  // In the order of cfg1602Lists().
  std::vector<QComboBox*> lists_;
  QLineEdit* txtLine0_ = nullptr;
  QLineEdit* txtLine1_ = nullptr;
  QRadioButton* opt03_ = nullptr;
  QRadioButton* opt04_ = nullptr;
  QPushButton* cmdConfig1602_ = nullptr;
  QLabel* lblPortStatus_ = nullptr;
  QLabel* lblNotice_ = nullptr;
};

}  // namespace vantor
