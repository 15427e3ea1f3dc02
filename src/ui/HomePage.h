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
// PREFIX/lib/kestrova). When none is there, the README.md beside the program
// that is missing.
QUrl address(const QString& exeFolder);

// Opens a page: starts the opener and answers whether it started; `failed`
// runs later if the opener then ends in failure.
using Opener = std::function<bool(const QUrl& page, std::function<void()> failed)>;

// The system's opener. On Windows the shell answers at once. Elsewhere
// xdg-open runs in the background (it may wait for the viewer it starts),
// and an exit in failure calls `failed`.
bool openWithSystem(const QUrl& page, std::function<void()> failed);

// Asks "…ちょっと見てみますか？" (Yes/No, question icon, title 確認); on Yes
// `page` opens through `open` (the system's browser or viewer), and when it
// is missing or nothing could open it, at once or later, a box says so and
// names the file with its folder. On No nothing happens. The prompt opens in
// front of `owner`, the window offering (by default our active one).
void offer(MessageBoxes& boxes, const Opener& open, const QUrl& page, QWidget* owner = nullptr);

} // namespace HomePage
