#include "ui/Appearance.h"

#include "ui/SessionBus.h"

#include <QApplication>
#include <QFontDatabase>
#include <QIcon>
#include <QLibraryInfo>
#include <QTranslator>

#if KESTROVA_HAVE_FONTCONFIG
#include <fontconfig/fontconfig.h>
#endif

namespace Appearance {

namespace {

const QString kUiFamily = QStringLiteral("ＭＳ Ｐゴシック");

// The faces that stand in for the UI face where it is missing, best first.
QStringList uiFamilyStandIns()
{
    return {QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic"),
            QStringLiteral("Noto Sans CJK JP"), QStringLiteral("MS PGothic"),
            QStringLiteral("Meiryo")};
}

// The UI face if it is installed, else its first installed stand-in. Asking
// for a face by a name the system lacks makes the font system search its
// fallbacks for every style before the substitution applies: a good part of
// the fonts' share of start-up. Naming the face that will be drawn skips it.
QString installedUiFamily()
{
    const QStringList installed = QFontDatabase::families();
    if (installed.contains(kUiFamily, Qt::CaseInsensitive))
        return kUiFamily;
    for (const QString& family : uiFamilyStandIns()) {
        if (installed.contains(family, Qt::CaseInsensitive))
            return family;
    }
    return kUiFamily;
}

} // namespace

QFont uiFont(int pointSize, bool bold)
{
    QFont f(installedUiFamily(), pointSize);
    f.setBold(bold);
    return f;
}

std::jthread readFontConfiguration()
{
    return std::jthread([] {
#if KESTROVA_HAVE_FONTCONFIG
        // Qt's font database uses the configuration that this loads.
        FcInit();
#endif
    });
}

void install(QApplication& app)
{
    // The menu bar belongs to the main window itself. Looking for a desktop-wide
    // menu bar would also make Qt connect to the session bus, and where none
    // runs, start a bus of its own that outlives the program.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeMenuBar);
    // Before the font thread starts: this may set and take back an environment
    // variable, and fontconfig reads the environment (getenv) on that thread;
    // setenv moves the environment's table, so a read at that moment crashes.
    SessionBus::connectWithoutStartingOne();

    // Qt fills its font database on a second thread (its functions are
    // thread-safe) while the icon and the translations load here. Nothing on
    // this thread may change the environment until the join.
    std::jthread fontDatabase([] { QFontDatabase::families(); });

    QApplication::setApplicationName(QStringLiteral("Kestrova"));
    QApplication::setApplicationDisplayName(QString());
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/assets/icon.png")));

    auto* qtJa = new QTranslator(&app);
    if (qtJa->load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(qtJa);
    else
        delete qtJa;

    fontDatabase.join();
    QFont::insertSubstitutions(kUiFamily, uiFamilyStandIns());
    QApplication::setFont(uiFont());
}

std::unique_ptr<QApplication> start(int& argc, char** argv)
{
    // Before the application object, whose platform theme (Qt 6.8) may ask
    // for the session bus, and before the font thread: this sets a variable.
    SessionBus::refuseWhereNoneRuns();
    std::jthread fontConfiguration = readFontConfiguration();
    auto app = std::make_unique<QApplication>(argc, argv);
    fontConfiguration.join();
    install(*app);
    return app;
}

} // namespace Appearance
