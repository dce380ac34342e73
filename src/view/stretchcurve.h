#pragma once

#include <QtGlobal>

namespace vorlan {

/// The midtones transfer function: maps x in [0, 1] to [0, 1] with 0 -> 0, m -> 0.5, 1 -> 1.
/// m is the midtones balance in (0, 1); m = 0.5 is the identity.
double midtonesTransfer(double m, double x);

/// The automatic screen stretch of linear data (the midtones transfer with shadows clipped below
/// the median): samples at or below the shadows point are black, at or above the highlights point
/// white, and the median of the sky background lands on TargetBackground of full scale, so a
/// linear exposure shows a dark grey sky with distinct stars. Values are in the data's own units.
struct StretchCurve {
    /// Share of full scale where the median lands: dark enough that faint stars and a moving
    /// speck stand out against the sky while blinking.
    static constexpr double TargetBackground = 0.15;
    /// Shadows are clipped this many normalised median absolute deviations below the median.
    static constexpr double ShadowsClipping = 2.8;

    double shadows = 0;    ///< data value shown black
    double highlights = 1; ///< data value shown white
    double midtones = 0.5; ///< balance of the transfer between them
    bool flat = false;     ///< every sample has one value: shown at the target background grey

    /// The curve for data with this median, median absolute deviation (not normalised) and range.
    static StretchCurve fromStatistics(double median, double mad, double lowest, double highest);

    /// The 8-bit level (0..255) shown for a data value.
    uchar toByte(double v) const;
};

} // namespace vorlan
