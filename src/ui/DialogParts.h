#pragma once

#include <QColor>
#include <QRect>
#include <QString>

class ClickLabel;
class QCheckBox;
class QLabel;
class QLineEdit;
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
QPushButton* button(QWidget* parent, const char* name, const QString& text, QRect geometry);
QCheckBox* checkBox(QWidget* parent, const char* name, const QString& text, QRect geometry);
// A push button in the coloured-button style with the given background.
void paintButton(QPushButton* button, const QColor& background);

} // namespace DialogParts
