#pragma once

// How far two grabs of the screen differ: the measure of the flicker tests, where two blink
// phases must agree wherever the sky did not change.

#include <QImage>
#include <QRect>
#include <algorithm>
#include <cstdlib>
#include <functional>

namespace vorlan::test {

/// Largest difference of the three colour channels.
inline int channelDifference(QRgb a, QRgb b) {
    return std::max(
        {std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}

/// Share of the pixels inside `inside` (and, when given, for which `counts` holds) where two
/// RGB32 grabs differ by at most 2 grey levels in every channel.
inline double agreeing(const QImage& a, const QImage& b, const QRect& inside,
                       const std::function<bool(int x, int y)>& counts = {}) {
    qint64 same = 0, all = 0;
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        const auto* la = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* lb = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = inside.left(); x <= inside.right(); ++x) {
            if (counts && !counts(x, y)) continue;
            ++all;
            same += channelDifference(la[x], lb[x]) <= 2;
        }
    }
    return all > 0 ? double(same) / double(all) : 0.0;
}

} // namespace vorlan::test
