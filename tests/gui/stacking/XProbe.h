#pragma once

// What the X server itself says about our windows, read over a connection of
// the test's own: stacking order, input focus, mapping, position, shape.

#include <QList>
#include <QPoint>
#include <QRect>
#include <QWidget>

namespace XProbe {

// False when no X server can be reached (the tests then skip).
bool available();
// True while a window manager runs (one that publishes its stacking list).
bool managed();
// Top-level client windows from bottom to top: the window manager's
// stacking list, or without one the root window's children.
QList<WId> stacking();
// True when `upper` is stacked above `lower`.
bool above(WId upper, WId lower);
// The window that holds the keyboard focus.
WId inputFocus();
bool isViewable(WId window);
// The window's top-left corner in root coordinates.
QPoint rootPosition(WId window);
// The window's bounding shape, clipped to the window: what of it shows.
// Without a shape of its own, the whole window.
QRegion visibleShape(WId window);
// Asks the window to close, as a window manager does for its close box or
// Alt+F4 (WM_DELETE_WINDOW); returns once the X server has taken the request.
void askToClose(WId window);

} // namespace XProbe
