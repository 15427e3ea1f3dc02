#pragma once

#include <QFont>

class QApplication;

namespace Appearance {

// The Japanese UI face of the windows: "ＭＳ Ｐゴシック" where it is installed,
// else the installed Japanese gothic that stands in for it (every Linux
// system), named directly. A font that asks for "ＭＳ Ｐゴシック" by name still
// gets the same face through the substitution that install() sets.
QFont uiFont(int pointSize = 9, bool bold = false);

// Application-wide set-up shared by the program and its tests: name, icon,
// font substitutions, default font, Qt's own Japanese button texts.
void install(QApplication& app);

} // namespace Appearance
