#include "ui/DialogParts.h"

#include "ui/ClickLabel.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>

namespace DialogParts {

namespace {

void setTextColour(QWidget* widget, const QColor& colour)
{
    QPalette pal = widget->palette();
    pal.setColor(QPalette::WindowText, colour);
    widget->setPalette(pal);
}

} // namespace

QLabel* label(QWidget* parent, const char* name, const QString& text, QRect geometry,
              const QColor& colour)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setGeometry(geometry);
    if (colour.isValid())
        setTextColour(l, colour);
    return l;
}

ClickLabel* caption(QWidget* parent, const char* name, const QString& text, QRect geometry,
                    const QColor& colour)
{
    auto* c = new ClickLabel(QString::fromLatin1(name), text, parent);
    c->setGeometry(geometry);
    if (colour.isValid())
        setTextColour(c, colour);
    else
        c->setAutoFillBackground(true);
    return c;
}

QLineEdit* textBox(QWidget* parent, const char* name, QRect geometry)
{
    auto* t = new QLineEdit(parent);
    t->setObjectName(QString::fromLatin1(name));
    t->setGeometry(geometry);
    t->setMaxLength(32767);
    return t;
}

QPushButton* button(QWidget* parent, const char* name, const QString& text, QRect geometry)
{
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(geometry);
    b->setAutoDefault(false);
    return b;
}

QCheckBox* checkBox(QWidget* parent, const char* name, const QString& text, QRect geometry)
{
    auto* c = new QCheckBox(text, parent);
    c->setObjectName(QString::fromLatin1(name));
    c->setGeometry(geometry);
    return c;
}

void paintButton(QPushButton* button, const QColor& background)
{
    button->setStyleSheet(
        QStringLiteral("QPushButton { background-color: %1; color: black;"
                       " border: 2px outset %2; }"
                       "QPushButton:pressed { border-style: inset; }"
                       "QPushButton:focus { border-color: %3; }")
            .arg(background.name(), background.lighter(130).name(), background.darker(160).name()));
}

} // namespace DialogParts
