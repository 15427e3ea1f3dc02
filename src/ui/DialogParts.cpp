#include "ui/DialogParts.h"

#include "ui/ClickLabel.h"

#include <QAccessibleWidget>
#include <QCheckBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
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

const char* const kOutOfView = "kestrovaOutOfView";

// The text as drawn: a mnemonic's "&" takes no room.
QString drawnText(QString text)
{
    static const QRegularExpression mnemonic(QStringLiteral("&(?!&)"));
    return text.remove(mnemonic);
}

// The text as a name to be read out: without its access key, "(&S)".
QString spokenText(QString text)
{
    static const QRegularExpression accessKey(QStringLiteral("\\(&[^)]\\)$"));
    return drawnText(text.remove(accessKey));
}

// A push button whose keyboard focus shows as a frame inside its edge; the
// styles' own mark (an edge a shade darker) is hard to see.
class FocusButton : public QPushButton
{
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QPushButton::paintEvent(event);
        if (!hasFocus())
            return;
        QPainter painter(this);
        paintFocusFrame(this, painter, Qt::white, 2);
    }
};

// A control out of view as assistive technology meets it: what it is and
// its name, but not showing, and with nothing to press.
class AccessibleOutOfView : public QAccessibleWidget
{
public:
    explicit AccessibleOutOfView(QWidget* control)
        : QAccessibleWidget(control, qobject_cast<QCheckBox*>(control) ? QAccessible::CheckBox
                                                                       : QAccessible::Client)
    {}

    QString text(QAccessible::Text t) const override
    {
        auto* button = qobject_cast<QAbstractButton*>(widget());
        if (t == QAccessible::Name && button && widget()->accessibleName().isEmpty())
            return spokenText(button->text());
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.offscreen = true;
        if (auto* button = qobject_cast<QAbstractButton*>(widget());
            button && button->isCheckable()) {
            state.checkable = true;
            state.checked = button->isChecked();
        }
        return state;
    }
    QStringList actionNames() const override { return {}; }
    void doAction(const QString&) override {}
};

QAccessibleInterface* accessibleOutOfView(const QString&, QObject* object)
{
    auto* control = qobject_cast<QWidget*>(object);
    // A caption tells assistive technology of its own place (ClickLabel).
    if (!control || !isOutOfView(control) || qobject_cast<ClickLabel*>(control))
        return nullptr;
    return new AccessibleOutOfView(control);
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
    auto* b = new FocusButton(text, parent);
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

void labelFor(QLabel* label, QWidget* field)
{
    label->setBuddy(field);
    field->setAccessibleName(spokenText(label->text()));
}

void paintFocusFrame(QWidget* control, QPainter& painter, const QColor& inner, int inset)
{
    QWidget* window = control->window();
    const QRect shown =
        control->rect() & QRect(control->mapFrom(window, QPoint(0, 0)), window->size());
    const QRect r = shown.adjusted(inset, inset, -inset - 1, -inset - 1);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(Qt::black);
    painter.drawRect(r);
    painter.setPen(inner);
    painter.drawRect(r.adjusted(1, 1, -1, -1));
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
    static const bool accessible = (QAccessible::installFactory(accessibleOutOfView), true);
    Q_UNUSED(accessible);
    const QRect inside(QPoint(0, 0), window->size());
    for (QWidget* control : window->findChildren<QWidget*>()) {
        if (!inside.intersects(QRect(control->mapTo(window, QPoint(0, 0)), control->size()))) {
            control->setFocusPolicy(Qt::NoFocus);
            control->setProperty(kOutOfView, true);
            // One made before it was known to be out of view is made afresh.
            if (QAccessibleInterface* made = QAccessible::queryAccessibleInterface(control))
                QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
        }
    }
}

bool isOutOfView(const QWidget* control)
{
    return control->property(kOutOfView).toBool();
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
