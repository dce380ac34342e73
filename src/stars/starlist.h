#pragma once

// What star detection hands to everything built on it (registration, solving, the moving-object
// search, brightness matching). Positions are continuous picture pixels: pixel column i spans
// [i, i + 1), so the centre of the top-left pixel is (0.5, 0.5) and x * 15 is the position in
// picture twips, the unit of the reference points.

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

/// A similarity transform from the pixels of picture k to the pixels of picture 1:
///   x1 = a * x - b * m * y + tx
///   y1 = b * x + a * m * y + ty      with m = -1 when mirrored, else 1.
/// scale = hypot(a, b), turn = atan2(b, a) (radians, positive from +x towards +y, i.e. clockwise
/// on the screen since y grows downwards).
struct SimilarityTransform {
    double a = 1, b = 0, tx = 0, ty = 0;
    bool mirrored = false;

    double scale() const { return std::hypot(a, b); }
    double turnRadians() const { return std::atan2(b, a); }
    double turnDegrees() const { return turnRadians() * 180.0 / M_PI; }
    QPointF map(QPointF p) const {
        const double m = mirrored ? -1.0 : 1.0;
        return {a * p.x() - b * m * p.y() + tx, b * p.x() + a * m * p.y() + ty};
    }
    /// The transform from picture 1's pixels back to picture k's.
    SimilarityTransform inverted() const {
        const double m = mirrored ? -1.0 : 1.0;
        const double d = a * a + b * b; // determinant is m * d
        SimilarityTransform r;
        r.mirrored = mirrored;
        // Inverse of [[a, -b m], [b, a m]] is (1 / (m d)) [[a m, b m], [-b, a]].
        r.a = a / d;
        r.b = -b * m / d;
        // With r.mirrored = mirrored, r's matrix is [[r.a, -r.b m], [r.b, r.a m]]; check:
        // [[a/d, b/d], [-b m/d, a m/d]] equals the inverse above.
        const QPointF t = QPointF(-(r.a * tx - r.b * m * ty), -(r.b * tx + r.a * m * ty));
        r.tx = t.x();
        r.ty = t.y();
        return r;
    }
};

/// The outcome of matching picture k's stars to picture 1's.
struct StarMatch {
    bool ok = false;
    SimilarityTransform transform; ///< picture k -> picture 1, valid when ok
    QVector<QPair<int, int>> pairs; ///< (index in picture 1's list, index in picture k's list)
    int matched = 0;                ///< stars matched within tolerance after the final fit
    double rmsPixels = 0;           ///< residual RMS of the matched stars, pixels of picture 1
    QString reason;                 ///< Russian reason when !ok
};

} // namespace vorlan
