#include "ui/HomePage.h"

#include "ui/MessageBoxes.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QWidget>

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
    return QUrl::fromLocalFile(
        QFileInfo(folder.filePath(QStringLiteral("README.md"))).absoluteFilePath());
}

bool openWithSystem(const QUrl& page, std::function<void()> failed)
{
#ifdef Q_OS_WIN
    Q_UNUSED(failed);
    return QDesktopServices::openUrl(page);
#else
    // QDesktopServices starts xdg-open detached and never hears how it ended.
    // Without a parent the process outlives nothing it should not: it is
    // neither killed when Kestrova ends nor waited for.
    auto* opener = new QProcess;
    opener->setStandardOutputFile(QProcess::nullDevice());
    opener->setStandardErrorFile(QProcess::nullDevice());
    QObject::connect(opener, &QProcess::finished, opener,
                     [opener, failed](int code, QProcess::ExitStatus status) {
                         if (status != QProcess::NormalExit || code != 0)
                             failed();
                         opener->deleteLater();
                     });
    opener->start(QStringLiteral("xdg-open"), {page.toString()});
    if (!opener->waitForStarted(10000)) {
        delete opener;
        return false;
    }
    return true;
#endif
}

void offer(MessageBoxes& boxes, const Opener& open, const QUrl& page, QWidget* owner)
{
    const int answer =
        boxes.MsgBox(QStringLiteral("「ヴェルニカ」作者のホームページです。ちょっと見てみますか？"),
                     MessageBoxes::YesNo | MessageBoxes::Question, QStringLiteral("確認"), owner);
    if (answer != MessageBoxes::Yes)
        return;
    // The box may come after the window that offered has gone.
    const auto cannotOpen = [&boxes, page, from = QPointer<QWidget>(owner)] {
        boxes.MsgBox(QStringLiteral("ホームページ「%1」を開けませんでした。\n"
                                    "ブラウザーかテキストエディターで開いてください。")
                         .arg(QDir::toNativeSeparators(page.toLocalFile())),
                     MessageBoxes::Information, QStringLiteral("Kestrova"), from.data());
    };
    if (!QFileInfo(page.toLocalFile()).isFile() || !open || !open(page, cannotOpen))
        cannotOpen();
}

} // namespace HomePage
