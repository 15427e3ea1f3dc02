#include "ui/FormRegistry.h"

#include "ui/InFront.h"

#include <QAccessibleWidget>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>

namespace {

// A window as assistive technology meets it: a frame, or a dialog, named by
// its title. The role is asked each time: the interface may be made (and
// kept) before the window has its border, which tells which it is (Qt 6.8
// makes it while the window is built).
class AccessibleForm : public QAccessibleWidget
{
public:
    explicit AccessibleForm(Form* form) : QAccessibleWidget(form, QAccessible::Window) {}
    QAccessible::Role role() const override
    {
        return static_cast<const Form*>(widget())->isDialog() ? QAccessible::Dialog
                                                              : QAccessible::Window;
    }
};

QAccessibleInterface* accessibleForm(const QString& className, QObject* object)
{
    if (className != QLatin1String("Form"))
        return nullptr;
    return new AccessibleForm(static_cast<Form*>(object));
}

} // namespace

Form::Form() : QWidget(nullptr)
{
    static const bool accessible = (QAccessible::installFactory(accessibleForm), true);
    Q_UNUSED(accessible);
    setAttribute(Qt::WA_DeleteOnClose, false);
}

Form::~Form() = default;

void Form::closeEvent(QCloseEvent* event)
{
    event->accept();
    unloadSelf();
}

void Form::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && event->modifiers() == Qt::NoModifier) {
        if (auto* focused = qobject_cast<QPushButton*>(focusWidget())) {
            focused->click();
            return;
        }
        if (m_defaultButton) {
            m_defaultButton->click();
            return;
        }
    } else if (key == Qt::Key_Escape) {
        if (m_cancelButton) {
            m_cancelButton->click();
            return;
        }
        if (m_closesOnEscape) {
            close();
            return;
        }
    }
    QWidget::keyPressEvent(event);
}

void Form::bringForward(QWidget* from)
{
    InFront::bring(*this, from);
}

void Form::unloadSelf()
{
    if (m_unloader) {
        auto unloader = m_unloader; // Unload clears m_unloader
        unloader();
    }
}

void Form::setFixedClientSize(int width, int height)
{
    setFixedSize(width, height);
}

void Form::useFixedSingleBorder(bool minimizeButton)
{
    Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                            Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                            Qt::MSWindowsFixedSizeDialogHint;
    if (minimizeButton)
        flags |= Qt::WindowMinimizeButtonHint;
    setWindowFlags(flags);
    m_dialog = !minimizeButton;
    if (!minimizeButton)
        InFront::keepFromMinimising(*this);
}

void Form::centreOnScreen()
{
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->geometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
}
