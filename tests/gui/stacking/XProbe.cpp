#include "XProbe.h"

#include <QRegion>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/shape.h>

namespace XProbe {

namespace {

Display* display()
{
    static Display* d = XOpenDisplay(nullptr);
    return d;
}

// A window property of 32-bit items; empty when the window or the property
// does not exist (a stale window id gives no error).
QList<unsigned long> property32(Window window, const char* name, Atom type)
{
    QList<unsigned long> items;
    Display* d = display();
    const Atom prop = XInternAtom(d, name, True);
    if (prop == None)
        return items;
    XSync(d, False);
    XErrorHandler previous = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long rest = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, window, prop, 0, 4096, False, type, &actualType, &format, &count,
                           &rest, &data) == Success &&
        data) {
        if (actualType == type && format == 32) {
            const auto* values = reinterpret_cast<const unsigned long*>(data);
            for (unsigned long i = 0; i < count; ++i)
                items.append(values[i]);
        }
        XFree(data);
    }
    XSync(d, False);
    XSetErrorHandler(previous);
    return items;
}

// A window manager runs when the root names a check window that names
// itself (a manager that has quit leaves its root properties behind).
bool managerRuns()
{
    const QList<unsigned long> check =
        property32(DefaultRootWindow(display()), "_NET_SUPPORTING_WM_CHECK", XA_WINDOW);
    return !check.isEmpty() &&
           property32(Window(check[0]), "_NET_SUPPORTING_WM_CHECK", XA_WINDOW) == check;
}

QList<WId> stackingListOfManager()
{
    QList<WId> ids;
    if (!managerRuns())
        return ids;
    for (unsigned long w :
         property32(DefaultRootWindow(display()), "_NET_CLIENT_LIST_STACKING", XA_WINDOW))
        ids.append(WId(w));
    return ids;
}

} // namespace

bool available()
{
    return display() != nullptr;
}

bool managed()
{
    return available() && managerRuns();
}

QList<WId> stacking()
{
    if (!available())
        return {};
    if (managerRuns())
        return stackingListOfManager();
    QList<WId> ids;
    Display* d = display();
    XSync(d, False);
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count)) {
        for (unsigned int i = 0; i < count; ++i)
            ids.append(WId(children[i]));
        XFree(children);
    }
    return ids;
}

bool above(WId upper, WId lower)
{
    const QList<WId> order = stacking();
    const qsizetype u = order.indexOf(upper);
    const qsizetype l = order.indexOf(lower);
    return u >= 0 && l >= 0 && u > l;
}

WId inputFocus()
{
    if (!available())
        return 0;
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(display(), &focus, &revert);
    return WId(focus);
}

bool isViewable(WId window)
{
    XWindowAttributes attrs{};
    return available() && XGetWindowAttributes(display(), Window(window), &attrs) &&
           attrs.map_state == IsViewable;
}

QPoint rootPosition(WId window)
{
    if (!available())
        return {};
    Display* d = display();
    int x = 0;
    int y = 0;
    Window child = 0;
    XTranslateCoordinates(d, Window(window), DefaultRootWindow(d), 0, 0, &x, &y, &child);
    return {x, y};
}

QRegion visibleShape(WId window)
{
    if (!available())
        return {};
    Display* d = display();
    XWindowAttributes attrs{};
    if (!XGetWindowAttributes(d, Window(window), &attrs))
        return {};
    const QRect bounds(0, 0, attrs.width, attrs.height);
    int count = 0;
    int ordering = 0;
    XRectangle* rects = XShapeGetRectangles(d, Window(window), ShapeBounding, &count, &ordering);
    QRegion shape;
    for (int i = 0; i < count; ++i)
        shape += QRect(rects[i].x, rects[i].y, rects[i].width, rects[i].height);
    if (rects)
        XFree(rects);
    return shape & bounds;
}

void askToClose(WId window)
{
    Display* d = display();
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = window;
    e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = long(XInternAtom(d, "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(d, window, False, NoEventMask, &e);
    XSync(d, False);
}

} // namespace XProbe
