#pragma once

// Star detection on a decoded picture: the sources standing out of the local sky background,
// each measured to a fraction of a pixel, in one pass over the picture's rows plus small
// windows round the sources found.

#include "stars/starlist.h"

#include <QImage>

namespace vorlan {

struct DetectOptions {
    double sigmas = 5;          ///< a source's pixels lie this many noise sigmas above the local background
    int cellSize = 64;          ///< background cells, pixels
    double noiseFloor = 0.5;    ///< lowest noise a cell may have, grey levels
    int saturation = 250;       ///< a core channel this high (0..255) marks a source saturated
    int minPixels = 3;          ///< smaller sources are noise, unless they are hot pixels
    double hotRatio = 0.3;      ///< brightest neighbour below this fraction of the peak: a hot pixel
    double trailElongation = 3; ///< a source this elongated ...
    double trailLength = 15;    ///< ... and this long (pixels) is a trail
    double extendedFwhm = 3;    ///< a source this many times wider than the median star is extended
};

/// Finds the sources of picture (Format_Grayscale8 or Format_RGB32; colour through its
/// brightness, Rec. 601 weights), reading its rows in place. The background and noise come from
/// a BackgroundMap; a source is a group of 8-connected pixels above background + sigmas x noise.
/// On a chart (light background) the values are inverted first, so dark stars are found the same
/// way. Each source gets its flux-weighted centroid refined in a Gaussian window (continuous
/// picture pixels, centre of pixel (0, 0) at (0.5, 0.5)), its flux, peak and background in grey
/// levels, its FWHM in pixels and its elongation; hot pixels, saturated cores, trails, sources
/// cut by the border and extended ones are flagged. The list is ordered by flux, brightest first.
StarList detectStars(const QImage& picture, const DetectOptions& options = {});

} // namespace vorlan
