#pragma once

// Where the tests expect a picture's points once the picture is turned onto a canvas.

#include <QPointF>
#include <QSizeF>
#include <cmath>

namespace vorlan::test {

/// Where point p of a picture of size source (pixels, y down) lands on a canvas of size canvas
/// when the picture is turned counter-clockwise by degrees about its centre, which lands on the
/// canvas's centre.
inline QPointF turnedOnCanvas(QPointF p, double degrees, QSizeF source, QSizeF canvas) {
    const double a = degrees / 57.2957795130823;
    const double dx = p.x() - source.width() / 2, dy = source.height() / 2 - p.y();
    return {dx * std::cos(a) - dy * std::sin(a) + canvas.width() / 2,
            canvas.height() / 2 - (dx * std::sin(a) + dy * std::cos(a))};
}

} // namespace vorlan::test
