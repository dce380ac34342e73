#pragma once

// Registration by hand: the transform between two pictures from the two reference points the user
// marked on each of them, and that transform made exact by the stars the two pictures share.

#include "stars/starlist.h"

#include <QPointF>
#include <optional>

namespace vorlan {

/// The similarity (not mirrored: two points cannot tell) carrying point 1 and point 2 of picture k
/// onto point 1 and point 2 of picture 1. Points in picture twips (pixels x TwipsPerPixel, as the reference
/// points are kept); the transform works in continuous pixels. None when either picture's two
/// points coincide.
std::optional<SimilarityTransform> transformFromPoints(QPointF kPoint1, QPointF kPoint2, QPointF onePoint1,
                                                       QPointF onePoint2);

/// A transform of picture k to picture 1 known to a few pixels (two clicked stars) made exact: the
/// usable stars of other that it carries within 8, then 3, then 1.5 pixels of a usable star of
/// reference are paired and the similarity (with guess's mirror) fitted to them by least squares.
/// guess as it is when fewer than 6 stars pair up.
SimilarityTransform refineTransform(const StarList& reference, const StarList& other,
                                    const SimilarityTransform& guess);

} // namespace vorlan
