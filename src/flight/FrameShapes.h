#pragma once

#include <QImage>
#include <QRegion>

// The outline of a flight frame: every pixel whose colour differs from the
// frame's own key colour, the colour of its top-left pixel (exact comparison).
namespace FrameShapes {

// Built from each row's runs, then united once: never one union per pixel.
QRegion outline(const QImage& frame);

// The mask that cuts a window to `outline`. Qt reads an empty mask as "no
// mask", which would show the whole rectangle; an empty outline becomes a
// single pixel outside the window instead, so nothing of it shows (the window
// stays mapped and keeps moving).
QRegion windowMask(const QRegion& outline);

} // namespace FrameShapes
