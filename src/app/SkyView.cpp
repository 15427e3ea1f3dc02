#include "app/SkyView.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr QRgb kOpaqueAlpha = 0xff000000u;

// a + b kept within [-limit, limit]; both magnitudes are far below INT_MAX / 2.
int saturatedAdd(int a, int b, int limit)
{
    return std::clamp(a + b, -limit, limit);
}

} // namespace

SkyView::SkyView(int width, int height)
    : m_image(std::max(width, 0), std::max(height, 0), QImage::Format_RGB32)
{
    m_image.fill(Qt::black);
}

bool SkyView::setSheet(const QImage& sheet)
{
    if (sheet.width() < 4 * kCellSize || sheet.height() < kCellSize) {
        m_sheet = QImage();
        return false;
    }
    m_sheet = sheet.convertToFormat(QImage::Format_RGB32);
    return !m_sheet.isNull();
}

void SkyView::scroll(int& skyX, int& skyY)
{
    skyX -= kScrollX;
    skyY -= kScrollY;
    if (skyX == kCellSize || skyX == -kCellSize)
        skyX = 0;
    if (skyY == kCellSize || skyY == -kCellSize)
        skyY = 0;
}

void SkyView::steer(const ArrowKeyFlags& keys, int& jetX, int& jetY)
{
    // A position set from outside may lie beyond the limit; bring it in first
    // so the sums below stay far from overflow.
    jetX = std::clamp(jetX, -kJetLimit, kJetLimit);
    jetY = std::clamp(jetY, -kJetLimit, kJetLimit);
    if (keys.Up == -1)
        jetY = saturatedAdd(jetY, -kSteerStep, kJetLimit);
    if (keys.Down == -1)
        jetY = saturatedAdd(jetY, kSteerStep, kJetLimit);
    if (keys.Left == -1)
        jetX = saturatedAdd(jetX, -kSteerStep, kJetLimit);
    if (keys.Right == -1)
        jetX = saturatedAdd(jetX, kSteerStep, kJetLimit);
}

void SkyView::drawSky(int skyX, int skyY)
{
    for (int c = 0; c < kTileColumns; ++c) {
        for (int r = 0; r < kTileRows; ++r)
            blitCell(kTileCell, c * kCellSize + skyX, r * kCellSize + skyY, Blend::Copy);
    }
}

void SkyView::drawJet(int jetX, int jetY)
{
    blitCell(kMaskCell, jetX, jetY, Blend::And, skyArea());
    blitCell(kJetCell, jetX, jetY, Blend::Xor, skyArea());
}

QRect SkyView::skyArea() const
{
    return QRect(0, 0, m_image.width(), std::min(m_image.height(), kTileRows * kCellSize));
}

void SkyView::blitCell(int cell, int x, int y, Blend blend, const QRect& within)
{
    if (m_sheet.isNull() || cell < 0 || cell >= 4 || m_image.format() != QImage::Format_RGB32)
        return;
    const QRect clip = within.isNull() ? m_image.rect() : within.intersected(m_image.rect());
    // Clip in 64 bits: x and y may be anywhere in the int range.
    const qint64 left = std::max<qint64>(x, clip.left());
    const qint64 top = std::max<qint64>(y, clip.top());
    const qint64 right = std::min<qint64>(qint64(x) + kCellSize, qint64(clip.right()) + 1);
    const qint64 bottom = std::min<qint64>(qint64(y) + kCellSize, qint64(clip.bottom()) + 1);
    if (left >= right || top >= bottom)
        return;

    const int width = int(right - left);
    const int srcX = cell * kCellSize + int(left - x);
    const int srcY = int(top - y);
    for (int row = 0; row < int(bottom - top); ++row) {
        auto* dst = reinterpret_cast<QRgb*>(m_image.scanLine(int(top) + row)) + left;
        const auto* src = reinterpret_cast<const QRgb*>(m_sheet.constScanLine(srcY + row)) + srcX;
        switch (blend) {
        case Blend::Copy:
            std::memcpy(dst, src, sizeof(QRgb) * size_t(width));
            break;
        case Blend::And:
            for (int i = 0; i < width; ++i)
                dst[i] &= src[i];
            break;
        case Blend::Xor:
            // RGB32 keeps its unused alpha byte at 0xff.
            for (int i = 0; i < width; ++i)
                dst[i] = (dst[i] ^ src[i]) | kOpaqueAlpha;
            break;
        }
    }
}
