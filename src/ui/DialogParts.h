#pragma once

#include <QColor>
#include <QRect>
#include <QString>

class ClickLabel;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPainter;
class QPushButton;
class QWidget;

// Small builders for the controls of every window: each gets its name as
// objectName and its place from the window's table.
namespace DialogParts {

QLabel* label(QWidget* parent, const char* name, const QString& text, QRect geometry,
              const QColor& colour = QColor());
// A caption that acts as a button: in `colour` on the window's background, or
// without a colour on a filled background of its own.
ClickLabel* caption(QWidget* parent, const char* name, const QString& text, QRect geometry,
                    const QColor& colour = QColor());
QLineEdit* textBox(QWidget* parent, const char* name, QRect geometry);
// A push button that shows clearly when it has the keyboard focus.
QPushButton* button(QWidget* parent, const char* name, const QString& text, QRect geometry);
QCheckBox* checkBox(QWidget* parent, const char* name, const QString& text, QRect geometry);
// A push button in the coloured-button style with the given background.
void paintButton(QPushButton* button, const QColor& background);
// `label` names `field`: its access key moves the focus there, and assistive
// technology reads its text, without the access key, as the field's name.
void labelFor(QLabel* label, QWidget* field);
// The frame that marks the control with the keyboard focus, drawn `inset`
// pixels inside the part of it that shows in its window (a caption may cross
// the window's edge): black outside and `inner` inside, so that one of the
// two lines stands out on any background.
void paintFocusFrame(QWidget* control, QPainter& painter, const QColor& inner, int inset = 0);

// Makes every caption and check-box text in `window` show whole. The window
// tables' sizes were made for a narrower face than ours, so a text wider
// than the part of its control that lies inside the window gets its font
// made smaller, half a point at a time, until it fits; every position and
// size stays as the table gives it. Call once the window's controls are built.
void fitTexts(QWidget* window);
// Controls that lie wholly outside `window` (placed below a window's visible
// area by its table, run by code only) never take the keyboard, so Tab
// passes no stop the user cannot see; assistive technology announces none
// of them as focusable or showing and cannot press them. The program's own
// code still runs them.
void outOfViewTakesNoFocus(QWidget* window);
// Whether outOfViewTakesNoFocus found the control out of view.
bool isOutOfView(const QWidget* control);
// Makes the letters of a text box that the window's lower edge cuts (it is
// taller than the window) show whole above that edge, `visibleHeight` pixels
// below the box's top: the text sits at the top of the box, in a font made
// smaller where the line is still too tall.
void fitLineAbove(QLineEdit* box, int visibleHeight);

} // namespace DialogParts
