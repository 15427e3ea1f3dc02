#include "ui/HomePage.h"

#include "ui/MessageBoxes.h"

#include <QDir>
#include <QFileInfo>

namespace HomePage {

QUrl address(const QString& exeFolder)
{
    const QDir folder(exeFolder);
    for (const QString& candidate : {QStringLiteral("README.md"), QStringLiteral("README.txt"),
                                     QStringLiteral("../../share/doc/kestrova/README.md")}) {
        const QFileInfo file(folder.filePath(candidate));
        if (file.isFile())
            return QUrl::fromLocalFile(file.canonicalFilePath());
    }
    return {};
}

void offer(MessageBoxes& boxes, const std::function<bool(const QUrl&)>& openUrl, const QUrl& page,
           QWidget* owner)
{
    const int answer =
        boxes.MsgBox(QStringLiteral("「ヴェルニカ」作者のホームページです。ちょっと見てみますか？"),
                     MessageBoxes::YesNo | MessageBoxes::Question, QStringLiteral("確認"), owner);
    if (answer != MessageBoxes::Yes)
        return;
    if (page.isValid() && openUrl && openUrl(page))
        return;
    const QString where =
        page.isValid() ? QDir::toNativeSeparators(page.toLocalFile()) : QStringLiteral("README.md");
    boxes.MsgBox(QStringLiteral("ホームページ「%1」を開けませんでした。\n"
                                "ブラウザーかテキストエディターで開いてください。")
                     .arg(where),
                 MessageBoxes::Information, QStringLiteral("Kestrova"), owner);
}

} // namespace HomePage
