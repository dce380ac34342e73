#pragma once

// A frame of a series read onto the reference frame's pixels: for each pixel of a stack, where
// its centre falls on the frame, and the frame's value there between its pixel centres.

#include "series/linearframe.h"
#include "stars/similaritytransform.h"

#include <QPointF>

namespace vorlan {

/// Where the centre of each reference pixel of a stack falls on one frame: an affine map of
/// the continuous pixel coordinates (centre of pixel (0, 0) at (0.5, 0.5)).
struct Warp {
    double xx = 1, xy = 0, x0 = 0; ///< source x = xx * X + xy * Y + x0
    double yx = 0, yy = 1, y0 = 0; ///< source y = yx * X + yy * Y + y0
};

/// The warp of a frame registered by toReference, after the stack's pixel is moved along a
/// motion by shift (reference pixels).
Warp warpOf(const SimilarityTransform& toReference, QPointF shift);

/// Row y of the stack (width pixels) read from src through w; NaN where it falls off src.
/// Bicubic (Catmull-Rom, its weights tabulated at 1/256 pixel) where the four-by-four
/// neighbourhood lies inside src, else bilinear; cubic false reads every pixel bilinearly.
void warpRow(const LinearFrame& src, const Warp& w, bool cubic, int y, int width, float* out);

} // namespace vorlan
