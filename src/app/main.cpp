#include "app/AppContext.h"
#include "app/Appearance.h"
#include "app/MainForm.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    Appearance::install(app);

    AppContext ctx(QCoreApplication::applicationDirPath());
    // Start-up: the main window loads (and with it the rest), then shows.
    ctx.mainForm.Show();
    return QApplication::exec();
}
