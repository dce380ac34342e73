#include "view/stretchcurve.h"

#include <algorithm>
#include <cmath>

namespace vorlan {

double midtonesTransfer(double m, double x) {
    if (x <= 0) return 0;
    if (x >= 1) return 1;
    if (m == 0.5) return x;
    return (m - 1) * x / ((2 * m - 1) * x - m);
}

StretchCurve StretchCurve::fromStatistics(double median, double mad, double lowest, double highest) {
    StretchCurve c;
    // 1.4826 turns the median absolute deviation of normal noise into its standard deviation.
    c.shadows = std::max(lowest, median - ShadowsClipping * 1.4826 * mad);
    c.highlights = highest;
    if (!(highest > c.shadows)) {
        c.flat = true;
        return c;
    }
    const double background = (median - c.shadows) / (highest - c.shadows);
    // A noiseless background sits exactly on the shadows point and has nothing to lift: a plain
    // linear ramp from it to the brightest sample then shows what there is.
    if (background <= 0) return c;
    // The transfer is its own inverse in this sense: the balance that takes the background to
    // the target is the transfer of the background with the target as balance.
    c.midtones = std::clamp(midtonesTransfer(TargetBackground, background), 1e-7, 1.0 - 1e-7);
    return c;
}

uchar StretchCurve::toByte(double v) const {
    if (flat) return uchar(std::lround(TargetBackground * 255));
    if (!(v > shadows)) return 0;
    if (v >= highlights) return 255;
    const double y = midtonesTransfer(midtones, (v - shadows) / (highlights - shadows));
    return uchar(std::lround(y * 255));
}

} // namespace vorlan
