#pragma once

#include <QFont>

class QApplication;

namespace Appearance {

// The Japanese UI face of the windows. Where "ＭＳ Ｐゴシック" is not installed
// (every Linux system), a substitution maps it to an installed Japanese gothic.
QFont uiFont(int pointSize = 9, bool bold = false);

// Application-wide set-up shared by the program and its tests: name, icon,
// font substitutions, default font, Qt's own Japanese button texts, menu bars
// kept inside their windows. Call it before the first window is created.
void install(QApplication& app);

} // namespace Appearance
