#pragma once

#include <QFont>

#include <memory>
#include <thread>

class QApplication;

// How every window looks and speaks: the Japanese face of the captions, the
// program's name and icon, and Qt's own Japanese button texts (はい, いいえ).
namespace Appearance {

// The Japanese UI face of the windows: "ＭＳ Ｐゴシック" where it is installed,
// else the installed Japanese gothic that stands in for it (every Linux
// system), named directly. A font that asks for "ＭＳ Ｐゴシック" by name still
// gets the same face through the substitution that install() sets.
QFont uiFont(int pointSize = 9, bool bold = false);

// Starts reading the system's font configuration on a thread of its own and
// returns that thread. Reading it is the largest single piece of the
// start-up's work and needs nothing from Qt, so it can run on a second core
// while the application object connects to the display; join the thread
// before the first font is asked for (install() asks). fontconfig reads the
// environment on that thread, so nothing may set a variable meanwhile (the
// application object only takes one away, which leaves the table in place).
// Where fonts are not configured through fontconfig, the thread does nothing.
std::jthread readFontConfiguration();

// Application-wide set-up shared by the program and its tests: name, icon,
// font substitutions, default font, Qt's own Japanese button texts, menu bars
// kept inside their windows. Call it before the first window is created.
void install(QApplication& app);

// The start-up of the program and of its tests up to the first window, in its
// one safe order: a session bus that does not run is refused before any
// thread starts; the font configuration is read on a second thread while the
// application object connects to the display, and that thread has ended
// before install() may change an environment variable. argc must outlive the
// application object, as Qt requires.
std::unique_ptr<QApplication> start(int& argc, char** argv);

} // namespace Appearance
