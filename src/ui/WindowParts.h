#pragma once

#include <QColor>
#include <QFont>
#include <QString>

class QLabel;
class QWidget;

namespace vantor {

// The windows' font: Tahoma 8.25 pt where it is installed, elsewhere a face of similar width
// so that the captions fit the same layout.
QFont windowFont();

// A caption beside or above `buddy`: keyboard users and screen readers reach the list by it.
QLabel* caption(const QString& text, QWidget* buddy, QWidget* parent);

// A bold heading over a group of controls.
QLabel* heading(const QString& text, QWidget* parent);

// Colours a label's text without a style sheet, which would also reset its font.
void setTextColour(QLabel* label, const QColor& colour);

inline const QColor kFailureColour(0xC0, 0x00, 0x00);

}  // namespace vantor
