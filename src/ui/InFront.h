#pragma once

class QWidget;

// Brings our windows in front of the window they come from, with the keyboard.
namespace InFront {

// Puts `window` in front of `from` and gives it the keyboard, now if it is on
// screen and again once it is: a window manager places a new window itself
// when it takes it in, and without one nothing raises or focuses a new
// window at all. Under a window manager it stays above `from`: it is
// transient for it, and kept on top as well when `from` is (window managers
// keep an always-on-top window over a transient of an ordinary layer). A
// null `from` keeps it above every window of ours (transient for the
// application as a whole on X11). Call before or after showing the window.
void bring(QWidget& window, QWidget* from);

// Keeps `window` above other windows (always on top), or stops it, without
// hiding it: the flag changes on the native window where there is one.
void keepOnTop(QWidget& window, bool on);

// Keeps `window`, which has no minimise button, from being minimised away (a
// window manager may offer minimising anyway): it is restored at once, in
// front with the keyboard. Lasts as long as the window.
void keepFromMinimising(QWidget& window);

} // namespace InFront
