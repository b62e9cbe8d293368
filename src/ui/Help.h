#pragma once

// Help inside the program: the user manual (docs/manual.md, as installed or, for a program run
// from its build folder, the source tree's), F1 on each window opening it at that window's
// section, the About box and the list of keys.

#include <QKeySequence>
#include <QList>
#include <QTextBrowser>
#include <QWidget>

class QLabel;
class QPushButton;

namespace vantor {

class Dialogs;
class IniFile;

// Each window's section of the manual, as its heading's anchor.
namespace help {
inline constexpr const char* kMainWindow = "using-the-simulator";
inline constexpr const char* kConfigWindow = "configuring-a-module";
inline constexpr const char* kFindSettings = "find-line-settings";
inline constexpr const char* kBenchDialog = "bench-controls-faults-delays-typed-values-sweeps";
}  // namespace help

// The manual's file: docs/manual.md beside the program (the Windows zip), under
// ../share/doc/vantor beside it (an installed copy), else the source tree's; empty when none
// is there.
QString manualPath();

// The anchor a heading is linked to by: lower case, every character but letters, digits,
// blanks, hyphens and underscores dropped, blanks as hyphens ("Bench scenarios (.vbench)":
// "bench-scenarios-vbench"), as the manual's own links and most Markdown readers name it.
QString headingAnchor(const QString& heading);

// F1 in `window` opens the manual at `section` (one of help::).
void giveHelpKey(QWidget* window, const char* section);

// Markdown pages with each heading an anchor (headingAnchor(); a repeated one gets "-1",
// "-2"), pictures no wider than the page, and links followed as a reader expects: another page
// of the manual in place, anything else (a web page, a folder) by the desktop.
class ManualBrowser : public QTextBrowser {
  Q_OBJECT

 public:
  explicit ManualBrowser(QWidget* parent);

 signals:
  // A link led to a page that is not there.
  void missing(const QString& path);

 protected:
  void doSetSource(const QUrl& name, QTextDocument::ResourceType type) override;

 private:
  void follow(const QUrl& link);
  void nameHeadings();
  void fitPictures();
};

// The manual in a window of its own, over the window it was asked from (so that it can be read
// beside a dialog that holds the rest of the program back).
class ManualWindow : public QWidget {
  Q_OBJECT

 public:
  explicit ManualWindow(QWidget* owner);
  // Shows `section` (an anchor; empty: the top).
  void showSection(const QString& section);
  ManualBrowser* browser() const { return browser_; }

 private:
  ManualBrowser* browser_ = nullptr;
  QLabel* note_ = nullptr;
};

// Opens the manual over `window` at `section`, or brings the one open there forward.
ManualWindow* showManual(QWidget* window, const QString& section = {});

// The keys the windows answer to, as the Keys list shows them.
struct KeyRow {
  QList<QKeySequence> keys;
  QString what;
};
QList<KeyRow> keyRows();
void showKeys(QWidget* parent);

// Vantor's version, its licence, and where the settings live, with this file's path.
void showAbout(Dialogs& dialogs, QWidget* parent, const IniFile& ini);

// The Help button (Alt+H): the manual, the keys, About.
QPushButton* helpButton(QWidget* window, Dialogs& dialogs, const IniFile& ini);

}  // namespace vantor
