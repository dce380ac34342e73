#pragma once

// The similarity transform that registration hands between pictures: shift, turn, one scale and
// a mirror, in continuous picture pixels (the centre of the top-left pixel at (0.5, 0.5)).

#include <QPointF>
#include <cmath>

namespace vorlan {

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

} // namespace vorlan
