// Where the start-up time goes: each piece of work the program's start-up
// does, timed on its own, in the order the start-up meets it, in a fresh
// process under the real display. One line per piece:
//   part name=NAME ns=..
// Run it several times and take the median of each piece; the pieces do not
// add up to the whole start-up, which also creates and lays out the windows.
#include "flight/AudioOutput.h"
#include "flight/FrameShapes.h"
#include "flight/Module1.h"
#include "mail/DialUpHangUp.h"
#include "ui/Appearance.h"

#include <QApplication>
#include <QDBusConnection>
#include <QFontMetrics>
#include <QIcon>
#include <QImage>
#include <QLibraryInfo>
#include <QPixmap>
#include <QTranslator>

#include <array>
#include <cstdio>
#include <ctime>
#include <memory>

namespace {

qint64 monotonicNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

template <class Work> void part(const char* name, Work&& work)
{
    const qint64 start = monotonicNs();
    work();
    std::printf("part name=%s ns=%lld\n", name, qlonglong(monotonicNs() - start));
}

} // namespace

int main(int argc, char** argv)
{
    // In the program this runs on its own thread beside the application object.
    part("font_configuration", [] { Appearance::readFontConfiguration().join(); });
    std::unique_ptr<QApplication> app;
    part("application", [&] { app = std::make_unique<QApplication>(argc, argv); });

    QTranslator translator;
    part("translations", [&] {
        if (translator.load(QStringLiteral("qtbase_ja"),
                            QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            QApplication::installTranslator(&translator);
    });
    part("icon", [] { QApplication::setWindowIcon(QIcon(QStringLiteral(":/assets/icon.png"))); });
    part("fonts", [] {
        // What laying out the captions and the menu first asks of the font
        // system: the database, the plain and the bold face, Japanese text.
        QFontMetrics plain(Appearance::uiFont());
        QFontMetrics bold(Appearance::uiFont(9, true));
        plain.horizontalAdvance(QStringLiteral("ファイル(&F) コックピット Sound OFF 紙飛行機"));
        bold.horizontalAdvance(QStringLiteral("メールチェック"));
    });
    part("cockpit_picture", [] { QPixmap(QStringLiteral(":/assets/cockpit.jpg")).size(); });
    part("sprite_sheet", [] { QPixmap(QStringLiteral(":/assets/sprites.bmp")).size(); });
    std::array<QImage, 8> frames;
    part("flight_pictures", [&] {
        for (int i = 0; i < 8; ++i)
            frames[size_t(i)] = QImage(QStringLiteral(":/assets/frame%1.bmp").arg(i));
    });
    part("flight_outlines", [&] {
        for (const QImage& frame : frames)
            FrameShapes::outline(frame);
    });
    part("sound", [] { Module1 sound; });
    // What the first sound adds: loading SDL (the bytes are then refused).
    part("sound_library", [] { AudioOutput::decode(QByteArrayLiteral("RIFF")); });
    part("dbus_system_bus", [] { QDBusConnection::systemBus().isConnected(); });
    part("hang_up", [] { DialUpHangUp::createForPlatform(); });
    std::fflush(stdout);
    return 0;
}
