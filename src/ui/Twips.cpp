#include "ui/Twips.h"

#include "base/Rounding.h"

#include <QtGlobal>

namespace Twips {

int toPixels(double twips)
{
    const auto px = roundHalfEven<int>(twips / perPixel);
    if (!px)
        qFatal("twips value out of range: %f", twips);
    return *px;
}

QRect rect(double left, double top, double width, double height)
{
    return QRect(toPixels(left), toPixels(top), toPixels(width), toPixels(height));
}

} // namespace Twips
