#include "registration/handregistration.h"

#include <complex>

namespace vorlan {

std::optional<SimilarityTransform> transformFromPoints(QPointF kPoint1, QPointF kPoint2, QPointF onePoint1,
                                                      QPointF onePoint2) {
    using C = std::complex<double>;
    auto pixel = [](QPointF twips) { return C(twips.x() / 15.0, twips.y() / 15.0); };
    const C from1 = pixel(kPoint1), from2 = pixel(kPoint2), to1 = pixel(onePoint1), to2 = pixel(onePoint2);
    if (from1 == from2 || to1 == to2) return std::nullopt;
    // z -> m z + t in complex numbers is a turn and a scale (m) and a shift (t).
    const C m = (to2 - to1) / (from2 - from1);
    const C t = to1 - m * from1;
    SimilarityTransform s;
    s.a = m.real();
    s.b = m.imag();
    s.tx = t.real();
    s.ty = t.imag();
    return s;
}

} // namespace vorlan
