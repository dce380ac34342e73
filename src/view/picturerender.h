#pragma once

#include "view/tonemap.h"

#include <QImage>
#include <QRect>
#include <optional>

namespace vorlan {

/// How a picture is resampled where it is drawn smaller than 1:1.
enum class Sampling {
    AreaAverage, ///< below scale 1 a target pixel shows the mean of the picture area it covers
    Nearest,     ///< a target pixel always shows one picture pixel
};

/// Which code averages a colour picture drawn below scale 1: the SSE2 kernel where the processor
/// has it, or the plain one that every processor runs. Both give the same pixels.
enum class ColourKernel {
    Fastest, ///< SSE2 on x86-64, else the plain one
    Plain,
};

/// Where a picture lies on a target, in target pixels: picture pixel (u, v) covers the square
/// from (originX + u * scale, originY + v * scale) to (originX + (u + 1) * scale, ...).
/// The origin may lie between target pixels.
struct Placement {
    double originX = 0;
    double originY = 0;
    double scale = 1;
};

/// Draws the rectangle `area` of `target` (Format_RGB32 or Format_ARGB32_Premultiplied, target
/// pixels) from `picture` (Format_RGB32, Format_ARGB32, Format_ARGB32_Premultiplied or
/// Format_Grayscale8, where grey v shows as (v, v, v)) placed as `at`; the result is opaque.
/// With Sampling::AreaAverage each target pixel shows the mean of the picture pixels it covers, each
/// weighted by the fraction covered: zoomed out a one-pixel star is dimmed in proportion but never
/// dropped, and at any scale a picture placed between whole pixels is drawn where it lies, to a small
/// fraction of a pixel. At a whole scale from a whole-pixel origin that is each picture pixel as a
/// sharp block. With Sampling::Nearest each target pixel shows the picture pixel under its top-left
/// corner (where a mouse position points). Target pixels beyond
/// the picture's edge repeat the nearest edge pixel. Only `area` is written; large areas are shared out in
/// bands among the worker threads. With a tone map every drawn pixel goes through it, after the
/// averaging: the map is applied to what is drawn, never to the picture.
void renderPicture(const QImage& picture, const Placement& at, QImage& target, const QRect& area,
                   Sampling sampling = Sampling::AreaAverage, ColourKernel kernel = ColourKernel::Fastest,
                   const ToneMap* tone = nullptr);

/// The brightest picture pixel (by the sum of its channels) among the pixels that the rectangle
/// `area` (picture pixels, clipped to the picture) touches; none when they are all alike or the
/// rectangle misses the picture. A zoomed-out screen pixel shows such a rectangle as one mean.
std::optional<QPoint> brightestPixel(const QImage& picture, const QRectF& area);

} // namespace vorlan
