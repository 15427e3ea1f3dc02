#include "ui/ClickLabel.h"

#include "ui/DialogParts.h"

#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QTimer>

namespace {

// The caption as assistive technology sees it: a button whose name is its
// caption and whose press action runs it; out of view, it is not showing and
// has nothing to press.
class AccessibleClickLabel : public QAccessibleWidget
{
public:
    explicit AccessibleClickLabel(ClickLabel* label) : QAccessibleWidget(label, QAccessible::Button)
    {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name) {
            QString name = label()->accessibleName();
            return name.isEmpty() ? label()->text() : name;
        }
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.offscreen = DialogParts::isOutOfView(label());
        return state;
    }
    QStringList actionNames() const override
    {
        if (DialogParts::isOutOfView(label()))
            return {};
        return QStringList(pressAction()) + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& action) override
    {
        if (DialogParts::isOutOfView(label()))
            return;
        if (action == pressAction())
            label()->pressLater();
        else
            QAccessibleWidget::doAction(action);
    }

private:
    ClickLabel* label() const { return static_cast<ClickLabel*>(widget()); }
};

QAccessibleInterface* accessibleClickLabel(const QString& className, QObject* object)
{
    if (className == QLatin1String("ClickLabel") && object && object->isWidgetType())
        return new AccessibleClickLabel(static_cast<ClickLabel*>(object));
    return nullptr;
}

} // namespace

ClickLabel::ClickLabel(const QString& objectName, const QString& text, QWidget* parent)
    : QLabel(text, parent)
{
    static const bool accessible = (QAccessible::installFactory(accessibleClickLabel), true);
    Q_UNUSED(accessible);
    setObjectName(objectName);
}

void ClickLabel::pressLater()
{
    // The caller (a screen reader, over the bus) is answered first; the
    // command, a mail check for one, runs after.
    QTimer::singleShot(0, this, [self = QPointer<ClickLabel>(this)] {
        if (self)
            emit self->clicked();
    });
}

void ClickLabel::mousePressEvent(QMouseEvent* event)
{
    m_pressed = event->button() == Qt::LeftButton;
    event->accept();
}

void ClickLabel::mouseReleaseEvent(QMouseEvent* event)
{
    const bool click = m_pressed && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    m_pressed = false;
    event->accept();
    if (click)
        emit clicked();
}

void ClickLabel::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if ((key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter) &&
        event->modifiers() == Qt::NoModifier) {
        event->accept();
        emit clicked();
        return;
    }
    QLabel::keyPressEvent(event); // arrow keys and the rest go on to the window
}

void ClickLabel::paintEvent(QPaintEvent* event)
{
    QLabel::paintEvent(event);
    if (!hasFocus())
        return;
    // In the caption's colour, edged in black: it stands out over the sky,
    // the cockpit or a plain background.
    QPainter painter(this);
    DialogParts::paintFocusFrame(this, painter, palette().color(QPalette::WindowText));
}
