#include "app/AppContext.h"
#include "app/MainForm.h"
#include "ui/Appearance.h"
#include "ui/SessionBus.h"

#include <QApplication>

int main(int argc, char** argv)
{
    // The flight window places itself on the screen, which a Wayland client
    // cannot do: on a Wayland desktop the program runs through XWayland.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") &&
        !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") && !qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");

    // Before the application object, whose platform theme (Qt 6.8) may ask
    // for the session bus, and before the font thread: this sets a variable.
    SessionBus::refuseWhereNoneRuns();
    std::jthread fontConfiguration = Appearance::readFontConfiguration();
    QApplication app(argc, argv);
    fontConfiguration.join();
    Appearance::install(app);
    // Ties the windows to the menu entry, for the desktop's task bar and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("example.kestrova.Kestrova"));

    // The folder of the program itself, symbolic links resolved (Qt reads
    // /proc/self/exe), so /usr/bin/kestrova finds the folder it points into.
    AppContext ctx(QCoreApplication::applicationDirPath());
    // Start-up: the main window loads (and with it the rest), then shows.
    ctx.mainForm.Show();
    return QApplication::exec();
}
