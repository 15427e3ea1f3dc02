#pragma once

#include <QRect>

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

// Window positions and sizes are written in twips: 15 twips are one pixel at 96 dpi.
namespace Twips {

constexpr int perPixel = 15;

// The nearest integer of type Int, a half going to the even neighbour; nullopt
// when the value does not fit (or is not a number) — an overflow is an error,
// never a wrap.
template <class Int> std::optional<Int> roundHalfEven(double v)
{
    if (!std::isfinite(v))
        return std::nullopt;
    double r = std::floor(v);
    const double diff = v - r;
    if (diff > 0.5 || (diff == 0.5 && std::fmod(r, 2.0) != 0.0))
        r += 1.0;
    if (r < double(std::numeric_limits<Int>::min()) || r > double(std::numeric_limits<Int>::max()))
        return std::nullopt;
    return static_cast<Int>(r);
}

// Pixels for a twips value of a window layout. Layout values are small constants,
// so an overflow here is a programming error and stops the program.
int toPixels(double twips);

// A control's rectangle in pixels from its left, top, width and height in twips.
QRect rect(double left, double top, double width, double height);

} // namespace Twips
