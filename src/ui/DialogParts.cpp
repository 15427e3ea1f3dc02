#include "ui/DialogParts.h"

#include "ui/ClickLabel.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyle>
#include <QStyleOptionButton>

namespace DialogParts {

namespace {

constexpr qreal kSmallestPointSize = 6.0;
constexpr qreal kPointStep = 0.5;

// Where a control's text starts: after a check box's indicator, after a
// label's margin and frame.
int textStart(QWidget* control)
{
    if (auto* box = qobject_cast<QCheckBox*>(control)) {
        QStyleOptionButton option;
        option.initFrom(box);
        return box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box).left();
    }
    auto* label = static_cast<QLabel*>(control);
    return label->margin() + label->frameWidth();
}

// The text as drawn: a mnemonic's "&" takes no room.
QString drawnText(QString text)
{
    static const QRegularExpression mnemonic(QStringLiteral("&(?!&)"));
    return text.remove(mnemonic);
}

// Shrinks the control's font until `fits` holds for its metrics.
template <class Fits> void shrinkUntil(QWidget* control, Fits fits)
{
    QFont font = control->font();
    while (!fits(QFontMetrics(font)) && font.pointSizeF() - kPointStep >= kSmallestPointSize)
        font.setPointSizeF(font.pointSizeF() - kPointStep);
    if (font != control->font())
        control->setFont(font);
}

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

void fitTexts(QWidget* window)
{
    const QRect inside(QPoint(0, 0), window->size());
    for (QWidget* control : window->findChildren<QWidget*>()) {
        QString text;
        if (auto* label = qobject_cast<QLabel*>(control); label && label->pixmap().isNull())
            text = label->text();
        else if (auto* box = qobject_cast<QCheckBox*>(control))
            text = box->text();
        const QRect r(control->mapTo(window, QPoint(0, 0)), control->size());
        if (text.isEmpty() || !inside.intersects(r))
            continue; // no text, or out of view by design
        const int room = r.intersected(inside).width() - textStart(control);
        text = drawnText(text);
        shrinkUntil(control,
                    [&](const QFontMetrics& m) { return m.horizontalAdvance(text) <= room; });
    }
}

void outOfViewTakesNoFocus(QWidget* window)
{
    const QRect inside(QPoint(0, 0), window->size());
    for (QWidget* control : window->findChildren<QWidget*>()) {
        if (!inside.intersects(QRect(control->mapTo(window, QPoint(0, 0)), control->size())))
            control->setFocusPolicy(Qt::NoFocus);
    }
}

void fitLineAbove(QLineEdit* box, int visibleHeight)
{
    box->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // As the box draws it: inside its frame and text margin, 1 px lower.
    const int top = box->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, box) +
                    box->textMargins().top() + 1;
    shrinkUntil(box, [&](const QFontMetrics& m) { return top + m.height() <= visibleHeight; });
}

} // namespace DialogParts
