#pragma once

#include <QString>
#include <QUrl>

#include <functional>

class MessageBoxes;
class QWidget;

// The offer to open the project's page, shared by the main window's menu and
// the settings dialog's button.
namespace HomePage {

// The project's page: the README shipped with the program, beside it (a
// portable folder, the build folder, the Windows folder) or in the system's
// documentation folder (the package: PREFIX/share/doc/kestrova beside
// PREFIX/lib/kestrova). Empty when none is there.
QUrl address(const QString& exeFolder);

// Asks "…ちょっと見てみますか？" (Yes/No, question icon, title 確認); on Yes
// `page` opens through `openUrl` (the system's browser or viewer), and when
// nothing could open it a box says so and names the file. On No nothing
// happens. The prompt opens in front of `owner`, the window offering (by
// default our active one).
void offer(MessageBoxes& boxes, const std::function<bool(const QUrl&)>& openUrl, const QUrl& page,
           QWidget* owner = nullptr);

} // namespace HomePage
