#pragma once

#include <QLineF>
#include <array>

namespace vorlan {

/// The six marker lines (items 0 to 5) around the box centre (c, r), pixels of the picture
/// area: a 200 x 200 square with 100-pixel whiskers left and right at mid height. Item order:
/// 0 top, 1 right side, 2 bottom, 3 left side, 4 left whisker, 5 right whisker.
std::array<QLineF, 6> markerBoxLines(float c, float r);

} // namespace vorlan
