#include "app/SkyView.h"

#include <QPainter>

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <new>

// Counts every operator new in this program, so a test can tell that an
// animation step allocates nothing.
namespace {
std::atomic<long> g_newCalls{0};
}

void* operator new(std::size_t size)
{
    ++g_newCalls;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}

namespace {

constexpr int kW = 222;
constexpr int kH = 148;

// A sheet whose pixels tell where they came from: the jet is a diamond of
// varied colours on black, the mask black exactly under it, the tile a
// gradient (so a misplaced tile shows), cell 2 a plain colour.
QImage makeSheet()
{
    QImage sheet(128, 32, QImage::Format_RGB32);
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            const bool jet = std::abs(x - 15) + std::abs(y - 15) <= 12;
            sheet.setPixel(x, y, jet ? qRgb(200 + x, 10 + 7 * y, 3 * x + y) : qRgb(0, 0, 0));
            sheet.setPixel(32 + x, y, jet ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
            sheet.setPixel(64 + x, y, qRgb(90, 140, 200));
            sheet.setPixel(96 + x, y, qRgb(95 + x, 142 + y, 204));
        }
    }
    return sheet;
}

QRgb tileAt(const QImage& sheet, int x, int y, int skyX, int skyY)
{
    return sheet.pixel(96 + (x - skyX) % 32, (y - skyY) % 32);
}

QImage withMode(QImage dst, const QImage& sheet, int cell, int x, int y,
                QPainter::CompositionMode mode)
{
    QPainter p(&dst);
    p.setCompositionMode(mode);
    p.drawImage(QPoint(x, y), sheet, QRect(cell * 32, 0, 32, 32));
    p.end();
    return dst;
}

} // namespace

TEST(SkyScroll, OffsetsStepAndWrapAtOneTile)
{
    int skyX = 0;
    int skyY = 0;
    SkyView::scroll(skyX, skyY);
    EXPECT_EQ(skyX, -2);
    EXPECT_EQ(skyY, -1);
    for (int step = 2; step <= 64; ++step) {
        SkyView::scroll(skyX, skyY);
        ASSERT_TRUE(skyX <= 0 && skyX >= -30 && skyX % 2 == 0) << step;
        ASSERT_TRUE(skyY <= 0 && skyY >= -31) << step;
        if (step == 15) {
            EXPECT_EQ(skyX, -30);
            EXPECT_EQ(skyY, -15);
        }
        if (step == 16) {
            EXPECT_EQ(skyX, 0);
        }
        if (step == 31) {
            EXPECT_EQ(skyY, -31);
        }
        if (step == 32 || step == 64) {
            EXPECT_EQ(skyX, 0);
            EXPECT_EQ(skyY, 0);
        }
    }
}

TEST(SkySteer, HeldKeysMoveFourPixelsEachAndOppositesCancel)
{
    auto steered = [](ArrowKeyFlags keys) {
        int x = 60;
        int y = 40;
        SkyView::steer(keys, x, y);
        return QPoint(x, y);
    };
    EXPECT_EQ(steered({}), QPoint(60, 40));
    EXPECT_EQ(steered({.Up = -1}), QPoint(60, 36));
    EXPECT_EQ(steered({.Down = -1}), QPoint(60, 44));
    EXPECT_EQ(steered({.Left = -1}), QPoint(56, 40));
    EXPECT_EQ(steered({.Right = -1}), QPoint(64, 40));
    EXPECT_EQ(steered({.Up = -1, .Right = -1}), QPoint(64, 36));
    EXPECT_EQ(steered({.Left = -1, .Right = -1}), QPoint(60, 40));
    EXPECT_EQ(steered({.Up = -1, .Down = -1, .Left = -1, .Right = -1}), QPoint(60, 40));
    // Only -1 means held.
    EXPECT_EQ(steered({.Up = 1, .Left = 1}), QPoint(60, 40));
}

TEST(SkySteer, FarFlightsStayExactThenSaturateInsteadOfWrapping)
{
    int x = 60;
    int y = 40;
    for (int i = 0; i < 1000000; ++i)
        SkyView::steer({.Up = -1, .Right = -1}, x, y);
    EXPECT_EQ(x, 60 + 4000000);
    EXPECT_EQ(y, 40 - 4000000);

    x = SkyView::kJetLimit - 2;
    y = -SkyView::kJetLimit + 1;
    SkyView::steer({.Up = -1, .Right = -1}, x, y);
    EXPECT_EQ(x, SkyView::kJetLimit);
    EXPECT_EQ(y, -SkyView::kJetLimit);
    SkyView::steer({.Up = -1, .Right = -1}, x, y);
    EXPECT_EQ(x, SkyView::kJetLimit);
    EXPECT_EQ(y, -SkyView::kJetLimit);
    // Steering back works at the same speed from the limit.
    SkyView::steer({.Down = -1, .Left = -1}, x, y);
    EXPECT_EQ(x, SkyView::kJetLimit - 4);
    EXPECT_EQ(y, -SkyView::kJetLimit + 4);

    // Positions at the very ends of the integer range come back in range.
    x = INT_MAX;
    y = INT_MIN;
    SkyView::steer({.Up = -1, .Right = -1}, x, y);
    EXPECT_EQ(x, SkyView::kJetLimit);
    EXPECT_EQ(y, -SkyView::kJetLimit);
}

TEST(SkyBlit, CopyAndXorMatchThePainterModesIncludingClipping)
{
    QImage dst(kW, kH, QImage::Format_RGB32);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            dst.setPixel(x, y, qRgb((x * 7) & 255, (y * 13) & 255, (x ^ y) & 255));
    const QImage sheet = makeSheet();
    const struct
    {
        SkyView::Blend blend;
        QPainter::CompositionMode mode;
    } modes[] = {
        {SkyView::Blend::Copy, QPainter::CompositionMode_Source},
        {SkyView::Blend::And, QPainter::RasterOp_SourceAndDestination},
        {SkyView::Blend::Xor, QPainter::RasterOp_SourceXorDestination},
    };
    const QPoint places[] = {{0, 0},     {60, 40}, {-31, -31}, {-10, 100}, {200, 130},
                             {221, 147}, {-32, 0}, {kW, 0},    {0, kH},    {5, -32}};
    for (const auto& m : modes) {
        for (int cell = 0; cell < 4; ++cell) {
            for (const QPoint& at : places) {
                SkyView view(kW, kH);
                view.setSheet(sheet);
                // Start from the same patterned picture.
                view.image() = dst;
                view.blitCell(cell, at.x(), at.y(), m.blend);
                const QImage expected = withMode(dst, sheet, cell, at.x(), at.y(), m.mode);
                ASSERT_EQ(view.image(), expected) << "mode " << int(m.blend) << " cell " << cell
                                                  << " at " << at.x() << "," << at.y();
            }
        }
    }
}

TEST(SkyDraw, TilesCoverTheirBlockAndLeaveTheRestAlone)
{
    const QImage sheet = makeSheet();
    SkyView view(kW, kH);
    ASSERT_TRUE(view.setSheet(sheet));
    // Something earlier steps drew everywhere.
    view.image().fill(qRgb(1, 2, 3));

    view.drawSky(-30, -15);
    const QImage& img = view.image();
    for (int y = 0; y < kH; ++y) {
        for (int x = 0; x < kW; ++x) {
            const bool tiled = x < -30 + 224 && y < -15 + 128;
            const QRgb want = tiled ? tileAt(sheet, x, y, -30, -15) : qRgb(1, 2, 3);
            ASSERT_EQ(img.pixel(x, y), want) << x << "," << y;
        }
    }
}

TEST(SkyDraw, JetShowsItsOwnPixelsOnlyUnderTheMaskAndIsClipped)
{
    const QImage sheet = makeSheet();
    SkyView view(kW, kH);
    ASSERT_TRUE(view.setSheet(sheet));
    view.drawSky(0, 0);
    const QImage sky = view.image().copy();

    view.drawJet(60, 40);
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            const bool underMask = sheet.pixel(32 + x, y) == qRgb(0, 0, 0);
            const QRgb want = underMask ? sheet.pixel(x, y) : sky.pixel(60 + x, 40 + y);
            ASSERT_EQ(view.image().pixel(60 + x, 40 + y), want) << x << "," << y;
        }
    }

    // A jet outside the sky, however far, changes nothing outside it: below it
    // lies the caption strip.
    SkyView out(kW, kH);
    out.setSheet(sheet);
    out.drawSky(0, 0);
    const int skyBottom = SkyView::kTileRows * SkyView::kCellSize;
    ASSERT_LT(skyBottom, kH);
    for (const QPoint& at :
         {QPoint(-32, 40), QPoint(kW, 40), QPoint(60, -32), QPoint(60, kH), QPoint(60, skyBottom),
          QPoint(INT_MAX, INT_MAX), QPoint(INT_MIN, INT_MIN), QPoint(INT_MAX - 5, 0),
          QPoint(0, INT_MIN + 3), QPoint(60, skyBottom - 8)}) {
        out.drawJet(at.x(), at.y());
        const int rows = at.y() == skyBottom - 8 ? skyBottom : 0; // its top does show
        ASSERT_EQ(out.image().copy(0, rows, kW, kH - rows), sky.copy(0, rows, kW, kH - rows))
            << at.x() << "," << at.y();
    }
    // Back in far enough for the diamond's right tip (column 27, row 15) to show.
    out.drawJet(-27, 0);
    EXPECT_EQ(out.image().pixel(0, 15), sheet.pixel(27, 15));
    EXPECT_EQ(out.image().pixel(0, 14), sky.pixel(0, 14));
}

TEST(SkyDraw, MissingOrSmallSheetDrawsNothing)
{
    SkyView view(kW, kH);
    EXPECT_FALSE(view.setSheet(QImage()));
    EXPECT_FALSE(view.setSheet(QImage(96, 32, QImage::Format_RGB32)));
    EXPECT_FALSE(view.hasSheet());
    const QImage before = view.image().copy();
    view.drawSky(-2, -1);
    view.drawJet(60, 40);
    EXPECT_EQ(view.image(), before);
    EXPECT_EQ(view.image().pixel(0, 0), qRgb(0, 0, 0));
    // A 24-bit sheet, as the bitmap is stored, is taken as RGB32.
    EXPECT_TRUE(view.setSheet(makeSheet().convertToFormat(QImage::Format_RGB888)));
    EXPECT_EQ(view.sheet().format(), QImage::Format_RGB32);
}

TEST(SkyDraw, AStepAllocatesNothingAndKeepsItsPicture)
{
    SkyView view(kW, kH);
    view.setSheet(makeSheet());
    int skyX = 0;
    int skyY = 0;
    int jetX = 60;
    int jetY = 40;
    const ArrowKeyFlags keys{.Up = -1, .Right = -1};
    const uchar* bits = view.image().constBits();
    const long before = g_newCalls.load();
    for (int i = 0; i < 1000; ++i) {
        SkyView::scroll(skyX, skyY);
        view.drawSky(skyX, skyY);
        SkyView::steer(keys, jetX, jetY);
        view.drawJet(jetX, jetY);
    }
    EXPECT_EQ(g_newCalls.load(), before);
    EXPECT_EQ(view.image().constBits(), bits);
}
