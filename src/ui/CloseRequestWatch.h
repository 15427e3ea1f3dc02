#pragma once

#include <QAbstractNativeEventFilter>
#include <QByteArray>

#include <functional>

class QWidget;

// Notices the window system's request to close a window (its close box,
// Alt+F4) while `holding` says so, and reports it to `asked` instead of
// letting it through. Qt itself drops such a request when it reaches a window
// a modal box blocks; a window that must not lose it (the main window, during
// a check that may end in a box) keeps it this way and acts on it later.
// Works on X11 and Windows; elsewhere it notices nothing.
class CloseRequestWatch : public QAbstractNativeEventFilter
{
public:
    CloseRequestWatch(QWidget& window, std::function<bool()> holding, std::function<void()> asked);
    ~CloseRequestWatch() override;
    CloseRequestWatch(const CloseRequestWatch&) = delete;
    CloseRequestWatch& operator=(const CloseRequestWatch&) = delete;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    bool isCloseRequest(const QByteArray& eventType, void* message) const;

    QWidget& m_window;
    std::function<bool()> m_holding;
    std::function<void()> m_asked;
    quint32 m_protocolsAtom = 0; // X11: WM_PROTOCOLS and WM_DELETE_WINDOW
    quint32 m_deleteAtom = 0;
};
