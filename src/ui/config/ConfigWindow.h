#pragma once

#include "core/config/ConfigFrame.h"
#include "core/config/ConfigRecord.h"
#include "core/settings/Schema.h"

#include <QList>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QScrollArea;

namespace vantor {

class Dialogs;
class IniFile;
class SerialPort;
class LcdView;
struct DisplayPreview;
struct FieldReading;

// A list's entries: the text each shows and the value it stands for, which it carries as its
// item data. Values go in and out of a list through its item data alone.
using ListEntries = QList<std::pair<QString, int>>;

ListEntries numberEntries(const NumberKey& key);  // the key's range, decimal
ListEntries byteEntries(const QString& prefix);   // prefix + "00".."FF", upper case
ListEntries baudEntries();                        // "9600", "19200", "38400"
ListEntries dataFormatEntries();                  // "8N1", "8N2", "8E1"
// The data types under the names one place shows them by, e.g. &DataTypeInfo::twoLineName.
ListEntries dataTypeEntries(const char* DataTypeInfo::*name);

// The value the chosen entry of `list` stands for; nothing while none is chosen.
std::optional<int> chosenValue(const QComboBox* list);
// Chooses the entry standing for `value`; none when no entry does.
void chooseValue(QComboBox* list, std::optional<int> value);

// A 16-bit value chosen in two lists of bytes, the high byte first.
struct WordLists {
  QComboBox* high = nullptr;
  QComboBox* low = nullptr;

  void show(std::uint16_t value) const;
  std::uint16_t value() const;  // a byte without a choice counts as 0
};

// The controls of one data field: the request the module sends and how it shows the answer.
struct FieldControls {
  QComboBox* slaveAddress = nullptr;
  WordLists startRegister;
  QComboBox* digits = nullptr;
  QComboBox* decimals = nullptr;
  QComboBox* startLocation = nullptr;
  QComboBox* dataType = nullptr;
  QRadioButton* holdingRegisters = nullptr;  // "Function Code 03"
  QRadioButton* inputRegisters = nullptr;    // "Function Code 04"

  void show(const DataField& field) const;
  DataField field() const;
};

// What a module's data-field lists offer.
struct FieldEntries {
  ListEntries addresses;
  ListEntries registerBytes;
  ListEntries digits;
  ListEntries decimals;
  ListEntries startLocations;
  ListEntries dataTypes;
};

// What both configuration windows do alike: a top-level, modeless window that the main window
// creates once and shows again and again; it opens its port at the fixed configuration speed
// on the port number it is handed, restores the module's settings, says in a notice line what
// it had to default, sends the frame in one write, and on closing asks whether to save. Each
// model's window lays out its controls, and shows and collects its record; the record's
// frame, restore and save are decided in the core.
class ConfigWindow : public QWidget {
  Q_OBJECT

 public:
  ~ConfigWindow() override;

  // Runs the opening sequence on port number `commPort` and shows the window; when it is
  // already open, brings it forward instead.
  void showWindow(int commPort);
  SerialPort& port() { return *port_; }

 protected:
  ConfigWindow(IniFile& ini, Dialogs& dialogs, const QString& objectName, const QString& title,
               const QString& sendButtonName);

  // Refills the lists and shows the saved record; returns what to tell the user about
  // settings that fell back to first-use defaults (empty when none did).
  virtual QString restore() = 0;
  // The frame the window's record stands for, or why none can be sent.
  virtual FrameBytes encode() const = 0;
  // Saves the window's record to the settings file; false with a sentence in `error` on
  // failure.
  virtual bool save(QString* error) = 0;
  // How the window's lists look, for each list as it is made.
  virtual void styleList(QComboBox* list, const ListEntries& entries) = 0;
  // The texts of the status or notice line changed (a window of fixed height refits).
  virtual void linesChanged() {}
  // Draws the window's record on the display preview: called at every keystroke in a row or
  // a sample box and every list choice.
  virtual void updatePreview() {}

  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

  // What the window lays its controls out on: it scrolls within the window where the screen
  // is smaller than it (a 1280x720 laptop).
  QWidget* content() const { return content_; }
  // The window as large as its content, and no larger; within the screen it opens on.
  void fitWindow();

  // A list called `control`, offering `entries` after every fillLists(); `caption` is how
  // screen readers and a refused send name it.
  QComboBox* addList(const QString& control, const QString& caption, const ListEntries& entries,
                     QWidget* parent);
  // The module's line settings and polling interval, in baud_, dataFormat_ and pollInterval_.
  void addCommunicationLists(QWidget* parent);

  // The lists of a data field; `k` is the four-line module's field, whose controls are
  // element k of each control array. The function codes come apart (their place in the Tab
  // order is set with orderTabs()).
  FieldControls addFieldLists(const FieldEntries& entries, std::optional<int> k, QWidget* parent);
  void addFunctionCodes(FieldControls& field, std::optional<int> k, QWidget* parent);

  // Refills every list with its entries, none chosen: the restore that follows chooses.
  void fillLists();
  // Tab goes through `order`, the controls as the window reads: the communication lists, the
  // display rows, Send, then each data field from its slave address to its alarm trip points.
  void orderTabs(const QList<QWidget*>& order);
  // A field's controls in the order they stand in its box.
  static QList<QWidget*> fieldTabOrder(const FieldControls& field);

  // A display row that redraws the preview as it is typed in (or restored).
  void previewRow(QLineEdit* row);
  // The box of a data field's sample value, the value the preview shows in its cells; `k` as
  // for addFieldLists(). Until the user types in it, it holds the widest value the field can
  // show, and follows the field's digits, decimal places and data type.
  QLineEdit* addSampleBox(std::optional<int> k, QWidget* parent);
  // The reading the preview shows for the sample box of field `index` (0 for the two-line
  // module): the raw value its text stands for in the field's typed form, or nothing with
  // the reason when it stands for none.
  FieldReading sampleReading(std::size_t index, const DataField& field);
  void showPreview(const DisplayPreview& preview);
  // What an alarm trip point stands for in the field's data type and decimal places.
  static void showTripValue(QLabel* label, std::uint16_t trip, const DataField& field);

  ModuleLine chosenLine() const;
  void showLine(const ModuleLine& line) const;

  IniFile& ini_;
  Dialogs& dialogs_;
  // Placed by each window's layout.
  QLabel* portStatus_ = nullptr;
  QLabel* notice_ = nullptr;
  // What shows or hides with the notice: the label itself, or a frame around it.
  QWidget* noticeHolder_ = nullptr;
  QPushButton* sendButton_ = nullptr;
  QComboBox* baud_ = nullptr;
  QComboBox* dataFormat_ = nullptr;
  QComboBox* pollInterval_ = nullptr;
  // The module's display for the record and the sample values, and what to know about it.
  LcdView* preview_ = nullptr;
  QLabel* findings_ = nullptr;

 private:
  struct SampleBox {
    QLineEdit* box = nullptr;
    bool typed = false;  // holds what the user typed, not the field's widest value
  };

  struct OfferedList {
    QComboBox* list;
    QString caption;
    ListEntries entries;
  };

  void openPort(int commPort);
  void sendClicked();
  QStringList listsWithoutChoice() const;
  void showStatus(const QString& text, bool failed);
  void showNotice(const QString& text);

  std::vector<OfferedList> lists_;
  std::vector<SampleBox> samples_;
  SerialPort* port_ = nullptr;
  QScrollArea* scroll_ = nullptr;
  QWidget* content_ = nullptr;
  QString portError_;
  // Set by the opening sequence, cleared by the closing one.
  bool open_ = false;
};

// Keeps a display row to what the module can show while the user types or pastes into it,
// leaving the cursor where the user put it.
void keepRowPrintable(QLineEdit* row, const QString& typed);

}  // namespace vantor
