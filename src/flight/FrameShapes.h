#pragma once

#include <QImage>
#include <QRegion>

// The outline of a flight frame: every pixel whose colour differs from the
// frame's own key colour, the colour of its top-left pixel (exact comparison).
namespace FrameShapes {

// Built from each row's runs, then united once: never one union per pixel.
QRegion outline(const QImage& frame);

} // namespace FrameShapes
