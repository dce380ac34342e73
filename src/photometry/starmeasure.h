#pragma once

// The star measurement on the photometry cut-out: the star's pixels, the local background and
// the fields the photometry window shows. Positions are cut-out pixels, (0, 0) top left.

#include "photometry/photometrycut.h"

#include <QString>
#include <QVector>
#include <cstdint>
#include <optional>

namespace vorlan {

/// One row run of star pixels, columns left..right inclusive.
struct StarRun {
    int y = 0;
    int left = 0;
    int right = 0;
};

/// The star pixels of one measurement: their count n, brightness sum S and red sum SR.
struct StarScan {
    bool found = false;
    int x0 = 0, y0 = 0; ///< the click, rounded
    int64_t n = 0;
    int64_t S = 0;
    double SR = 0;
    QVector<StarRun> runs;
};

/// Dark pixels round the star: their count nB and brightness sum SB.
struct StarBackground {
    int64_t nB = 0;
    int64_t SB = 0;
};

/// Collects the connected patch of star pixels (brightness above threshold, 0..255) round the
/// click (x, y), cut-out pixels: the run of the click row that holds the clicked pixel or its
/// right neighbour, then row by row down and up, each row's run found round the middle of the
/// run above (below) it. Rows and columns 0..399 only; positions outside picture 1 and ring
/// pixels end a run. found is false when the click row has no run there.
StarScan ScanStar(const PhotometryCut& cut, float threshold, double x, double y);

/// Background of a star clicked at (x0, y0): the pixels of picture 1 in the 201 x 201 square
/// round it, clipped to the cut-out, whose brightness is below threshold. Ring pixels and
/// positions outside picture 1 are not counted.
StarBackground EstimateBackground(const PhotometryCut& cut, float threshold, int x0, int y0);

/// The four comparison-star texts of the photometry window.
struct ComparisonTexts {
    QString z;  ///< integrated light of the bright star
    QString m;  ///< its magnitude
    QString z2; ///< integrated light of the second star (empty: one-star mode)
    QString m2; ///< its magnitude
};

/// What a measurement writes into the photometry window; an empty field keeps its contents.
struct StarFields {
    std::optional<QString> LblInfo1, TxtInfo, LblInfo2, txtKb, lblZV, Label7;
    std::optional<double> magnitude; ///< the number lblZV shows, when it shows one
};

/// The texts of a measurement: background-corrected intensity divided by uv² (uv: the odd
/// magnification 1..13), colour index, coefficient k and relative magnitude against one or two
/// comparison stars. The mode is decided by the texts at the start of the measurement, the
/// values read from the texts at its end. Numbers use the locale's decimal separator. A value
/// that cannot be computed (no background, no light, a comparison light of 0 or not a number)
/// is replaced by a short note in the field concerned.
StarFields ReportStar(const StarScan& star, const StarBackground& bg, int uv, const ComparisonTexts& atStart,
                      const ComparisonTexts& now);

} // namespace vorlan
