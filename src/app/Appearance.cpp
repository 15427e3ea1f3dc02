#include "app/Appearance.h"

#include "app/SessionBus.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QTranslator>

namespace Appearance {

namespace {
const QString kUiFamily = QStringLiteral("ＭＳ Ｐゴシック");
}

QFont uiFont(int pointSize, bool bold)
{
    QFont f(kUiFamily, pointSize);
    f.setBold(bold);
    return f;
}

void install(QApplication& app)
{
    QApplication::setApplicationName(QStringLiteral("Kestrova"));
    QApplication::setApplicationDisplayName(QString());
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/assets/icon.png")));
    // The menu bar belongs to the main window itself. Looking for a desktop-wide
    // menu bar would also make Qt connect to the session bus, and where none
    // runs, start a bus of its own that outlives the program.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeMenuBar);
    SessionBus::connectWithoutStartingOne();

    QFont::insertSubstitutions(kUiFamily,
                               {QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic"),
                                QStringLiteral("Noto Sans CJK JP"), QStringLiteral("MS PGothic"),
                                QStringLiteral("Meiryo")});
    QApplication::setFont(uiFont());

    auto* qtJa = new QTranslator(&app);
    if (qtJa->load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(qtJa);
    else
        delete qtJa;
}

} // namespace Appearance
