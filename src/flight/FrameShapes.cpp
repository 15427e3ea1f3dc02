#include "flight/FrameShapes.h"

#include <QList>
#include <QRect>

namespace FrameShapes {

QRegion outline(const QImage& frame)
{
    if (frame.isNull())
        return {};
    const QImage img = frame.convertToFormat(QImage::Format_RGB32);
    const QRgb key = img.pixel(0, 0);
    QList<QRect> runs;
    for (int y = 0; y < img.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        int x = 0;
        while (x < img.width()) {
            while (x < img.width() && row[x] == key)
                ++x;
            const int start = x;
            while (x < img.width() && row[x] != key)
                ++x;
            if (x > start)
                runs.append(QRect(start, y, x - start, 1));
        }
    }
    QRegion region;
    region.setRects(runs.constData(), int(runs.size()));
    return region;
}

QRegion windowMask(const QRegion& outline)
{
    return outline.isEmpty() ? QRegion(-1, -1, 1, 1) : outline;
}

} // namespace FrameShapes
