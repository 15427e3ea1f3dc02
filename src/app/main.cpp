#include "app/AppContext.h"
#include "app/Appearance.h"
#include "app/MainForm.h"

#include <QApplication>

int main(int argc, char** argv)
{
    std::jthread fontConfiguration = Appearance::readFontConfiguration();
    QApplication app(argc, argv);
    fontConfiguration.join();
    Appearance::install(app);

    AppContext ctx(QCoreApplication::applicationDirPath());
    // Start-up: the main window loads (and with it the rest), then shows.
    ctx.mainForm.Show();
    return QApplication::exec();
}
