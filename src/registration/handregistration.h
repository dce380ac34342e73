#pragma once

// Registration by hand: the transform between two pictures from the two reference points the user
// marked on each of them.

#include "stars/starlist.h"

#include <QPointF>
#include <optional>

namespace vorlan {

/// The similarity (not mirrored: two points cannot tell) carrying point 1 and point 2 of picture k
/// onto point 1 and point 2 of picture 1. Points in picture twips (pixels x 15, as the reference
/// points are kept); the transform works in continuous pixels. None when either picture's two
/// points coincide.
std::optional<SimilarityTransform> transformFromPoints(QPointF kPoint1, QPointF kPoint2, QPointF onePoint1,
                                                      QPointF onePoint2);

} // namespace vorlan
