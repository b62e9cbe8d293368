#pragma once

#include <QColor>
#include <QFont>
#include <QString>

class QAbstractButton;
class QLabel;
class QPushButton;
class QSplitter;
class QTableWidget;
class QTableWidgetItem;
class QWidget;

namespace vantor {

// Whether the desktop names a font for its programs (a desktop session, a platform theme, or
// Windows): the windows then follow it.
bool desktopNamesFont();
// The windows' font: the desktop's where it names one; else Tahoma 8.25 pt where it is
// installed, elsewhere a face of similar width so that the captions fit the same layout.
QFont windowFont();
// Keeps `window` within the screen it opens on: a size kept on a larger screen (or at another
// scale) shrinks to fit, and a window that would stand off the screen is moved onto it.
void fitToScreen(QWidget* window);

// A caption beside or above `buddy`: keyboard users and screen readers reach the list by it.
QLabel* caption(const QString& text, QWidget* buddy, QWidget* parent);

// Alt+`key` presses `button` wherever the focus is in its window, whatever its caption says
// now or later (Connect, then Disconnect). The caption stays as it is (programs and people
// read it); the key is said in the tooltip. `modifier` for buttons of which a window has a
// row, such as one per slave.
void giveAccessKey(QAbstractButton* button, Qt::Key key, Qt::Modifier modifier = Qt::ALT);

// A push button called `name`; Enter on it presses it, as in a dialog.
QPushButton* namedButton(const QString& name, const QString& text, QWidget* parent);

// `top` over `bottom`, split by a handle the user can drag and neither can be dragged shut:
// the part with `stretchTop` (else the bottom one) takes what the window grows or shrinks by.
QSplitter* stackedSplit(const QString& name, QWidget* top, QWidget* bottom, bool stretchTop,
                        QWidget* parent);

// A read-only cell of a table of figures: right-aligned when it holds a `number`.
QTableWidgetItem* tableCell(const QString& text, bool number = true);
// Columns as wide as their contents, column `stretch` taking what is left; rows selected
// whole, without a row header.
void fitTableColumns(QTableWidget* table, int stretch);

// A bold heading over a group of controls.
QLabel* heading(const QString& text, QWidget* parent);

// Colours a label's text without a style sheet, which would also reset its font.
void setTextColour(QLabel* label, const QColor& colour);

// The colours the windows mark things with, readable on the palette `widget` is drawn with:
// darker on a light window, lighter on a dark one.
enum class Mark {
  Failure,  // what went wrong, a fault that is on
  Notice,   // what the user should check
  Value,    // the simulator's addresses and register numbers
  Good,     // "CRC Validated"
  // An exception reply in the bus monitor's log.
  Exception,
};
QColor markColour(Mark mark, const QWidget* widget);
// Colours a label's text with `mark`, for the palette it has now.
void markText(QLabel* label, Mark mark);

}  // namespace vantor
