#include "ui/HomePage.h"

#include "ui/MessageBoxes.h"

namespace HomePage {

void offer(MessageBoxes& boxes, const std::function<void(const QUrl&)>& openUrl, QWidget* owner)
{
    const int answer =
        boxes.MsgBox(QStringLiteral("「ヴェルニカ」作者のホームページです。ちょっと見てみますか？"),
                     MessageBoxes::YesNo | MessageBoxes::Question, QStringLiteral("確認"), owner);
    if (answer != MessageBoxes::Yes)
        return;
    if (openUrl)
        openUrl(address());
}

} // namespace HomePage
