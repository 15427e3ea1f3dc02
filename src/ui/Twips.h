#pragma once

#include <QRect>

// Window positions and sizes are written in twips: 15 twips are one pixel at 96 dpi.
namespace Twips {

constexpr int perPixel = 15;

// Pixels for a twips value of a window layout. Layout values are small constants,
// so an overflow here is a programming error and stops the program.
int toPixels(double twips);

// A control's rectangle in pixels from its left, top, width and height in twips.
QRect rect(double left, double top, double width, double height);

} // namespace Twips
