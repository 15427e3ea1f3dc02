#pragma once

#include <QString>
#include <QUrl>

#include <functional>

class MessageBoxes;
class QWidget;

// The offer to open the project's home page, shared by the main window's menu
// and the settings dialog's button.
namespace HomePage {

inline QUrl address()
{
    return QUrl(QStringLiteral("https://kestrova.example/"));
}

// Asks "…ちょっと見てみますか？" (Yes/No, question icon, title 確認); on Yes the
// page opens through `openUrl` (the system web browser), on No nothing
// happens. The prompt opens in front of `owner`, the window offering (by
// default our active one).
void offer(MessageBoxes& boxes, const std::function<void(const QUrl&)>& openUrl,
           QWidget* owner = nullptr);

} // namespace HomePage
