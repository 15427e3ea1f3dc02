#include "app/HomePage.h"

#include "app/AppContext.h"

namespace HomePage {

void offer(AppContext& ctx, QWidget* owner)
{
    const int answer = ctx.msgBox.MsgBox(
        QStringLiteral("「ヴェルニカ」作者のホームページです。ちょっと見てみますか？"),
        MessageBoxes::YesNo | MessageBoxes::Question, QStringLiteral("確認"), owner);
    if (answer != MessageBoxes::Yes)
        return;
    if (ctx.openUrl)
        ctx.openUrl(address());
}

} // namespace HomePage
