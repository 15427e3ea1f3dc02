#include "ui/CloseRequestWatch.h"

#include <QGuiApplication>
#include <QWidget>

#ifdef Q_OS_WIN
#include <windows.h>
#elif QT_CONFIG(xcb)
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <cstdlib>
#endif

namespace {

#if !defined(Q_OS_WIN) && QT_CONFIG(xcb)
quint32 internAtom(xcb_connection_t* connection, const char* name)
{
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(connection, 1, quint16(qstrlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    const quint32 atom = reply ? reply->atom : 0;
    std::free(reply);
    return atom;
}
#endif

} // namespace

CloseRequestWatch::CloseRequestWatch(QWidget& window, std::function<bool()> holding,
                                     std::function<void()> asked)
    : m_window(window), m_holding(std::move(holding)), m_asked(std::move(asked))
{
#if !defined(Q_OS_WIN) && QT_CONFIG(xcb)
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (xcb_connection_t* connection = x11 ? x11->connection() : nullptr) {
        m_protocolsAtom = internAtom(connection, "WM_PROTOCOLS");
        m_deleteAtom = internAtom(connection, "WM_DELETE_WINDOW");
    }
#endif
    QCoreApplication::instance()->installNativeEventFilter(this);
}

CloseRequestWatch::~CloseRequestWatch()
{
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool CloseRequestWatch::nativeEventFilter(const QByteArray& eventType, void* message,
                                          qintptr* result)
{
    if (!m_holding() || !isCloseRequest(eventType, message))
        return false;
    m_asked();
    if (result)
        *result = 0;
    return true;
}

bool CloseRequestWatch::isCloseRequest(const QByteArray& eventType, void* message) const
{
    const WId window = m_window.internalWinId();
    if (!window)
        return false;
#ifdef Q_OS_WIN
    if (eventType != "windows_generic_MSG")
        return false;
    const MSG* msg = static_cast<const MSG*>(message);
    return msg->hwnd == reinterpret_cast<HWND>(window) &&
           (msg->message == WM_CLOSE ||
            (msg->message == WM_SYSCOMMAND && (msg->wParam & 0xFFF0) == SC_CLOSE));
#elif QT_CONFIG(xcb)
    if (eventType != "xcb_generic_event_t" || !m_deleteAtom)
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_CLIENT_MESSAGE)
        return false;
    const auto* client = static_cast<const xcb_client_message_event_t*>(message);
    return client->window == window && client->format == 32 && client->type == m_protocolsAtom &&
           client->data.data32[0] == m_deleteAtom;
#else
    Q_UNUSED(eventType);
    Q_UNUSED(message);
    return false;
#endif
}
