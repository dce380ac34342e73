#pragma once

// What star detection hands to everything built on it (registration, solving, the moving-object
// search, brightness matching). Positions are continuous picture pixels: pixel column i spans
// [i, i + 1), so the centre of the top-left pixel is (0.5, 0.5) and toTwips(x) is the position in
// picture twips, the unit of the reference points.

#include "stars/similaritytransform.h"

#include <QPointF>
#include <QString>
#include <QVector>
#include <cmath>

namespace vorlan {

/// Why a source is not used for matching. A source with no flag is a usable star.
enum StarFlag : unsigned {
    StarHotPixel = 1u << 0,  ///< one pixel (or nearly): a sensor defect, not a star
    StarSaturated = 1u << 1, ///< its core reaches the top of the range: centroid and flux unreliable
    StarTrail = 1u << 2,     ///< long and thin: a satellite, a meteor or a trailed star
    StarEdge = 1u << 3,      ///< touches the picture's border: cut off
    StarExtended = 1u << 4,  ///< far wider than the picture's stars: a galaxy, a knot of nebula, a merged group
};

/// One detected source.
struct Star {
    double x = 0, y = 0;     ///< flux-weighted centroid, picture pixels (see above)
    double flux = 0;         ///< sum of values above the local background, grey levels x pixels
    double peak = 0;         ///< highest value above the local background, grey levels
    double background = 0;   ///< local background at the centroid, grey levels
    double fwhm = 0;         ///< full width at half maximum, pixels
    double elongation = 1;   ///< major / minor axis of the second moments, >= 1
    int pixels = 0;          ///< connected pixels above the threshold
    unsigned flags = 0;      ///< StarFlag bits

    bool usable() const { return flags == 0; }
    QPointF position() const { return {x, y}; }
};

/// The sources of one picture, brightest (largest flux) first, with the statistics they were
/// found against.
struct StarList {
    QVector<Star> stars;
    int width = 0, height = 0; ///< picture size, pixels
    double backgroundMedian = 0; ///< median background over the picture, grey levels (after inversion)
    double noiseSigma = 0;       ///< background noise, grey levels, never 0
    bool inverted = false;       ///< dark stars on a light background (a chart): values were inverted
};

/// A registration of picture k's stars on picture 1's.
struct StarMatch {
    SimilarityTransform transform;  ///< picture k -> picture 1
    QVector<QPair<int, int>> pairs; ///< (index in picture 1's list, index in picture k's list)
    int matched = 0;                ///< stars matched within tolerance after the final fit
    double rmsPixels = 0;           ///< residual RMS of the matched stars, pixels of picture 1
};

} // namespace vorlan
