#include "ui/InFront.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace {

void raiseWithKeyboard(QWidget& window)
{
    window.raise();
    window.activateWindow();
}

// Raises the window and gives it the keyboard once it is on screen, then goes.
class OnceExposed : public QObject
{
public:
    explicit OnceExposed(QWidget& window) : QObject(window.windowHandle()), m_window(window)
    {
        window.windowHandle()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Expose && m_window.windowHandle()->isExposed()) {
            raiseWithKeyboard(m_window);
            deleteLater();
        }
        return false;
    }

private:
    QWidget& m_window;
};

// Restores the window whenever it is minimised.
class NeverMinimised : public QObject
{
public:
    explicit NeverMinimised(QWidget& window) : QObject(&window), m_window(&window)
    {
        window.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::WindowStateChange && m_window->isMinimized()) {
            // After the state change has run its course.
            QTimer::singleShot(0, this, [w = m_window] {
                if (!w)
                    return;
                w->setWindowState(w->windowState() & ~Qt::WindowMinimized);
                w->show();
                raiseWithKeyboard(*w);
            });
        }
        return false;
    }

private:
    QPointer<QWidget> m_window;
};

} // namespace

namespace InFront {

void bring(QWidget& window, QWidget* from)
{
    window.winId(); // the native window, to set it up before it is shown
    QWindow* handle = window.windowHandle();
    QWindow* owner = from ? from->window()->windowHandle() : nullptr;
    if (owner && owner != handle) {
        handle->setTransientParent(owner);
        if (from->window()->windowFlags().testFlag(Qt::WindowStaysOnTopHint))
            keepOnTop(window, true);
    } else if (!from && QGuiApplication::platformName() == QLatin1String("xcb"))
        // Transient for the application as a whole (Qt then names its group
        // leader): above all our always-on-top windows, which the window
        // manager would otherwise keep over it.
        handle->setTransientParent(nullptr);
    if (handle->isExposed())
        raiseWithKeyboard(window);
    else
        new OnceExposed(window);
}

void keepOnTop(QWidget& window, bool on)
{
    Qt::WindowFlags flags = window.windowFlags();
    if (flags.testFlag(Qt::WindowStaysOnTopHint) == on)
        return;
    flags.setFlag(Qt::WindowStaysOnTopHint, on);
    // QWidget::setWindowFlags would hide the window and make it anew.
    if (QWindow* handle = window.windowHandle()) {
        window.overrideWindowFlags(flags);
        handle->setFlags(flags);
    } else {
        window.setWindowFlags(flags);
    }
}

void keepFromMinimising(QWidget& window)
{
    new NeverMinimised(window);
}

} // namespace InFront
