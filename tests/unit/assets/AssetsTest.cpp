// The pictures compiled into the program: each one is read back from the
// resources and checked against the format the windows depend on, so that a
// broken regeneration by tools/make_assets.py is caught here.

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <QVector>
#include <QtEndian>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

namespace {

constexpr QRgb kKey = 0xFFC0C0C0; // RGB(192,192,192), the flight frames' background
constexpr QRgb kBlack = 0xFF000000;
constexpr QRgb kWhite = 0xFFFFFFFF;
constexpr QRgb kSky = 0xFF5F8ECC; // RGB(95,142,204)

QByteArray resource(const QString& name)
{
    QFile f(QStringLiteral(":/assets/") + name);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

QImage image(const QString& name)
{
    QImage img;
    img.loadFromData(resource(name));
    return img.convertToFormat(QImage::Format_RGB32);
}

// How a picture drawn again differs from the committed one, beyond what
// another release's image libraries change (they smooth edges and encode
// JPEG a little differently: Debian 13 against 12 moves a few pixels of an
// icon, and 0.06% of the cockpit photograph's, by more than 8). Allowed, in
// each picture of the file (an icon file holds several): fewer than 1 pixel
// in 1,000 off by more than 8 (of 255) in a channel, none by more than 64.
// Empty when within that.
std::string pictureDifference(QByteArray fresh, QByteArray committed)
{
    if (fresh == committed)
        return {};
    QBuffer freshBuffer(&fresh), committedBuffer(&committed);
    QImageReader a(&freshBuffer), b(&committedBuffer);
    for (;;) {
        const QImage p = a.read().convertToFormat(QImage::Format_ARGB32_Premultiplied);
        const QImage q = b.read().convertToFormat(QImage::Format_ARGB32_Premultiplied);
        if (p.isNull() || p.size() != q.size())
            return "a picture of another size, or none";
        qint64 over = 0;
        int most = 0;
        for (int y = 0; y < p.height(); ++y) {
            for (int x = 0; x < p.width(); ++x) {
                const QRgb u = p.pixel(x, y), v = q.pixel(x, y);
                const int off =
                    std::max({std::abs(qRed(u) - qRed(v)), std::abs(qGreen(u) - qGreen(v)),
                              std::abs(qBlue(u) - qBlue(v)), std::abs(qAlpha(u) - qAlpha(v))});
                most = std::max(most, off);
                over += off > 8;
            }
        }
        if (most > 64 || over * 1000 >= qint64(p.width()) * p.height())
            return std::to_string(over) + " pixels off by more than 8, the most by " +
                   std::to_string(most);
        const bool more = a.jumpToNextImage();
        if (more != b.jumpToNextImage())
            return "another number of pictures";
        if (!more)
            return {};
    }
}

quint32 u32(const QByteArray& b, int at)
{
    return qFromLittleEndian<quint32>(b.constData() + at);
}
qint32 i32(const QByteArray& b, int at)
{
    return qFromLittleEndian<qint32>(b.constData() + at);
}
quint16 u16(const QByteArray& b, int at)
{
    return qFromLittleEndian<quint16>(b.constData() + at);
}

// Header of an uncompressed 24-bit bottom-up BMP with a 40-byte info header.
void expectBmp24(const QByteArray& b, int width, int height)
{
    const int stride = (width * 3 + 3) & ~3;
    ASSERT_EQ(b.size(), 54 + stride * height);
    EXPECT_EQ(b.left(2), QByteArray("BM"));
    EXPECT_EQ(u32(b, 2), quint32(b.size()));
    EXPECT_EQ(u32(b, 10), 54u); // pixel data follows the headers
    EXPECT_EQ(u32(b, 14), 40u); // BITMAPINFOHEADER
    EXPECT_EQ(i32(b, 18), width);
    EXPECT_EQ(i32(b, 22), height); // positive: rows stored bottom-up
    EXPECT_EQ(u16(b, 26), 1u);     // planes
    EXPECT_EQ(u16(b, 28), 24u);    // bits per pixel
    EXPECT_EQ(u32(b, 30), 0u);     // BI_RGB, uncompressed
}

// Runs of non-key pixels, summed over the rows: the rectangles a window
// shape built from row runs needs.
int rowRuns(const QImage& img)
{
    int runs = 0;
    for (int y = 0; y < img.height(); ++y) {
        bool inside = false;
        for (int x = 0; x < img.width(); ++x) {
            const bool now = img.pixel(x, y) != kKey;
            if (now && !inside)
                ++runs;
            inside = now;
        }
    }
    return runs;
}

// Number of key pixels reachable from (0,0) through key pixels.
int keyReachableFromCorner(const QImage& img)
{
    QVector<bool> seen(img.width() * img.height(), false);
    QVector<QPoint> todo{QPoint(0, 0)};
    int count = 0;
    while (!todo.isEmpty()) {
        const QPoint p = todo.takeLast();
        if (p.x() < 0 || p.y() < 0 || p.x() >= img.width() || p.y() >= img.height())
            continue;
        const int i = p.y() * img.width() + p.x();
        if (seen[i] || img.pixel(p) != kKey)
            continue;
        seen[i] = true;
        ++count;
        todo << QPoint(p.x() + 1, p.y()) << QPoint(p.x() - 1, p.y()) << QPoint(p.x(), p.y() + 1)
             << QPoint(p.x(), p.y() - 1);
    }
    return count;
}

} // namespace

TEST(Assets, CockpitIsA320x214BaselineColourJpeg)
{
    const QByteArray b = resource(QStringLiteral("cockpit.jpg"));
    ASSERT_GT(b.size(), 2);
    ASSERT_EQ(quint8(b[0]), 0xFF);
    ASSERT_EQ(quint8(b[1]), 0xD8);

    // Walk the marker segments up to the frame header.
    int at = 2;
    int sof = -1;
    while (at + 4 <= b.size() && quint8(b[at]) == 0xFF) {
        const quint8 marker = quint8(b[at + 1]);
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
            marker != 0xCC) {
            sof = at;
            break;
        }
        at += 2 + qFromBigEndian<quint16>(b.constData() + at + 2);
    }
    ASSERT_GE(sof, 0) << "no frame header";
    EXPECT_EQ(quint8(b[sof + 1]), 0xC0) << "not baseline";
    EXPECT_EQ(quint8(b[sof + 4]), 8);                                 // sample precision
    EXPECT_EQ(qFromBigEndian<quint16>(b.constData() + sof + 5), 214); // height
    EXPECT_EQ(qFromBigEndian<quint16>(b.constData() + sof + 7), 320); // width
    EXPECT_EQ(quint8(b[sof + 9]), 3);                                 // Y, Cb, Cr

    const QImage img = image(QStringLiteral("cockpit.jpg"));
    ASSERT_EQ(img.size(), QSize(320, 214));
    EXPECT_FALSE(img.isGrayscale());
    // The cyan caption sits on the top right: that corner must be sky, blue
    // and calm, or the caption does not read.
    int blue = 0;
    for (int y = 4; y < 30; y += 2)
        for (int x = 200; x < 316; x += 4) {
            const QColor c(img.pixel(x, y));
            if (c.blue() > c.red() + 60 && c.blue() > c.green())
                ++blue;
        }
    EXPECT_EQ(blue, 13 * 29);
}

TEST(Assets, SpriteSheetCellsFollowTheMaskRule)
{
    const QByteArray b = resource(QStringLiteral("sprites.bmp"));
    expectBmp24(b, 128, 32);

    const QImage sheet = image(QStringLiteral("sprites.bmp"));
    ASSERT_EQ(sheet.size(), QSize(128, 32));
    int jet = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const QRgb sprite = sheet.pixel(x, y);
            const QRgb mask = sheet.pixel(32 + x, y);
            // Black exactly where the jet is, white elsewhere: AND then XOR
            // leaves the sky untouched around the jet and paints the jet
            // exactly.
            EXPECT_EQ(mask, sprite == kBlack ? kWhite : kBlack) << "at " << x << "," << y;
            if (sprite != kBlack)
                ++jet;
        }
    EXPECT_GT(jet, 150);
    EXPECT_LT(jet, 32 * 32 - 200);
    // The jet fits inside its cell without touching the top and bottom edges.
    for (int x = 0; x < 32; ++x) {
        EXPECT_EQ(sheet.pixel(x, 0), kBlack);
        EXPECT_EQ(sheet.pixel(x, 31), kBlack);
    }
}

TEST(Assets, SkyTileIsSkyBlueWithAFewLighterSpecks)
{
    const QImage sheet = image(QStringLiteral("sprites.bmp"));
    ASSERT_EQ(sheet.size(), QSize(128, 32));
    int specks = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 96; x < 128; ++x) {
            const QRgb p = sheet.pixel(x, y);
            if (p == kSky)
                continue;
            ++specks;
            EXPECT_GE(qRed(p), qRed(kSky));
            EXPECT_GE(qGreen(p), qGreen(kSky));
            EXPECT_GE(qBlue(p), qBlue(kSky));
        }
    EXPECT_GE(specks, 3);
    EXPECT_LE(specks, 40);
    // Cell 2, the plain sky, is one colour.
    for (int y = 0; y < 32; ++y)
        for (int x = 64; x < 96; ++x)
            EXPECT_EQ(sheet.pixel(x, y), kSky);
}

TEST(Assets, FlightFramesAre64x64BitmapsOnTheKeyColour)
{
    QImage frames[8];
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        const QByteArray b = resource(QStringLiteral("frame%1.bmp").arg(i));
        ASSERT_EQ(b.size(), 12342);
        expectBmp24(b, 64, 64);
        frames[i] = image(QStringLiteral("frame%1.bmp").arg(i));
        const QImage& f = frames[i];
        ASSERT_EQ(f.size(), QSize(64, 64));
        EXPECT_EQ(f.pixel(0, 0), kKey);

        int key = 0;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x)
                key += f.pixel(x, y) == kKey;
        // Every key pixel is background connected to the corner: no pixel of
        // the aeroplane itself has the key colour, so no hole is cut into it.
        EXPECT_EQ(keyReachableFromCorner(f), key);
        EXPECT_GT(64 * 64 - key, 600) << "aeroplane too small";
        // A simple outline keeps the window shape small.
        EXPECT_LT(rowRuns(f), 60);
    }
    for (int i = 4; i < 8; ++i)
        EXPECT_EQ(frames[i], frames[i - 4]) << "frame " << i;
    EXPECT_NE(frames[0], frames[1]) << "the wing poses must differ";
    EXPECT_NE(frames[2], frames[3]) << "the wing poses must differ";
}

TEST(Assets, FlightFramesPointTheNoseTheWayTheyFly)
{
    // The nose is the narrow end: compare the height of the shape within
    // its leftmost and rightmost six columns.
    const auto endHeights = [](const QImage& f) {
        int minX = 64, maxX = -1;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x)
                if (f.pixel(x, y) != kKey) {
                    minX = qMin(minX, x);
                    maxX = qMax(maxX, x);
                }
        const auto height = [&](int x0, int x1) {
            int top = 64, bottom = -1;
            for (int x = x0; x <= x1; ++x)
                for (int y = 0; y < 64; ++y)
                    if (f.pixel(x, y) != kKey) {
                        top = qMin(top, y);
                        bottom = qMax(bottom, y);
                    }
            return bottom - top;
        };
        return std::pair{height(minX, minX + 5), height(maxX - 5, maxX)};
    };
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const auto [left, right] = endHeights(image(QStringLiteral("frame%1.bmp").arg(i)));
        if (i < 2)
            EXPECT_LT(left, right) << "frames 0 and 1 fly left";
        else
            EXPECT_GT(left, right) << "frames 2 and 3 fly right";
    }
}

TEST(Assets, IconIsA32x32PictureOnATransparentGround)
{
    QImage icon;
    ASSERT_TRUE(icon.loadFromData(resource(QStringLiteral("icon.png"))));
    ASSERT_EQ(icon.size(), QSize(32, 32));
    ASSERT_TRUE(icon.hasAlphaChannel());
    icon = icon.convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(qAlpha(icon.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(icon.pixel(0, 31)), 0);
    int opaque = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            opaque += qAlpha(icon.pixel(x, y)) == 255;
    EXPECT_GT(opaque, 200);

    // The Windows icon beside it: one 32 x 32 entry.
    QFile ico(QStringLiteral(KESTROVA_SOURCE_DIR "/assets/icon.ico"));
    ASSERT_TRUE(ico.open(QIODevice::ReadOnly));
    const QByteArray b = ico.readAll();
    ASSERT_GE(b.size(), 22);
    EXPECT_EQ(u16(b, 0), 0u);
    EXPECT_EQ(u16(b, 2), 1u); // icon
    EXPECT_EQ(u16(b, 4), 1u); // one image
    EXPECT_EQ(quint8(b[6]), 32);
    EXPECT_EQ(quint8(b[7]), 32);
    EXPECT_EQ(u32(b, 14) + u32(b, 18), quint32(b.size()));
}

// The committed pictures are what the generator draws, within what another
// release's image libraries change; a change to either without the other
// shows up here.
TEST(Assets, GeneratorReproducesTheCommittedPictures)
{
    const QString python = QStringLiteral("/usr/bin/python3");
    if (!QFile::exists(python))
        GTEST_SKIP() << "no /usr/bin/python3";
    QProcess probe;
    probe.start(python, {QStringLiteral("-c"), QStringLiteral("import PIL")});
    if (!probe.waitForFinished(30000) || probe.exitCode() != 0)
        GTEST_SKIP() << "PIL is not installed";

    QTemporaryDir out;
    ASSERT_TRUE(out.isValid());
    QProcess gen;
    gen.start(python, {QStringLiteral(KESTROVA_SOURCE_DIR "/tools/make_assets.py"),
                       QStringLiteral("--quiet"), QStringLiteral("--out"), out.path()});
    ASSERT_TRUE(gen.waitForFinished(300000));
    ASSERT_EQ(gen.exitCode(), 0) << gen.readAllStandardError().toStdString();

    QStringList names{QStringLiteral("cockpit.jpg"), QStringLiteral("sprites.bmp"),
                      QStringLiteral("icon.png")};
    for (int i = 0; i < 8; ++i)
        names << QStringLiteral("frame%1.bmp").arg(i);
    for (const QString& name : names) {
        QFile f(out.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << name.toStdString();
        EXPECT_EQ(pictureDifference(f.readAll(), resource(name)), "") << name.toStdString();
    }
    // Files kept in the source tree beside the compiled-in ones: the Windows
    // icon and the desktop's icon theme files.
    QStringList kept{QStringLiteral("icon.ico"),
                     QStringLiteral("hicolor/scalable/apps/kestrova.svg")};
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
        kept << QStringLiteral("hicolor/%1x%1/apps/kestrova.png").arg(size);
    for (const QString& name : kept) {
        QFile fresh(out.filePath(name));
        QFile committed(QStringLiteral(KESTROVA_SOURCE_DIR "/assets/") + name);
        ASSERT_TRUE(fresh.open(QIODevice::ReadOnly)) << name.toStdString();
        ASSERT_TRUE(committed.open(QIODevice::ReadOnly)) << name.toStdString();
        EXPECT_EQ(pictureDifference(fresh.readAll(), committed.readAll()), "")
            << name.toStdString();
    }
}

// The desktop's icons: each PNG the size its folder names, on a transparent
// ground; the scalable one a drawing that Qt's SVG reader (libqt6svg6) renders.
TEST(Assets, DesktopIconsComeInTheThemeSizes)
{
    const QString theme = QStringLiteral(KESTROVA_SOURCE_DIR "/assets/hicolor/");
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString path = theme + QStringLiteral("%1x%1/apps/kestrova.png").arg(size);
        QImage icon(path);
        ASSERT_FALSE(icon.isNull()) << path.toStdString();
        EXPECT_EQ(icon.size(), QSize(size, size)) << path.toStdString();
        EXPECT_TRUE(icon.hasAlphaChannel()) << path.toStdString();
        EXPECT_EQ(qAlpha(icon.pixel(0, size - 1)), 0) << path.toStdString();
    }
    QImageReader svg(theme + QStringLiteral("scalable/apps/kestrova.svg"));
    if (svg.format() != "svg")
        GTEST_SKIP() << "no SVG image reader";
    svg.setScaledSize(QSize(64, 64));
    const QImage drawn = svg.read().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(drawn.size(), QSize(64, 64)) << svg.errorString().toStdString();
    // Corner clear, envelope's seal red, as in the pictures.
    EXPECT_EQ(qAlpha(drawn.pixel(0, 63)), 0);
    const QImage small = QImage(theme + QStringLiteral("64x64/apps/kestrova.png"))
                             .convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(drawn.pixel(24, 43), small.pixel(24, 43));
}
