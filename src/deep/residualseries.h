#pragma once

// The moving part of a registered series: every frame resampled onto the reference frame's pixels
// less the sigma-clipped stack of all of them, so that stars, galaxies and gradients, which stand
// in every frame, fall away and what moves stays. Scaled by each frame's own robust noise, so that
// a sum of frames is read in noise sigmas whatever the sky did during the night.

#include "common/outcome.h"
#include "series/seriesregistration.h"

#include <QVector>
#include <cstdint>
#include <vector>

namespace vorlan {

class JobControl;

struct ResidualSeries {
    /// Stored residual values are noise sigmas times this, rounded; Masked where nothing is known.
    static constexpr float Scale = 1000;
    static constexpr qint16 Masked = INT16_MIN;
    /// Half-resolution values stop here (noise sigmas): a cosmic ray, a trail or a hot pixel in one
    /// frame then weighs no more than a few frames' worth of noise in a sum.
    static constexpr float HalfClip = 5;

    int width = 0, height = 0;  ///< the reference frame's pixels
    QVector<int> frames;        ///< indices into the series, in time order
    double midHours = 0;        ///< the mean of the frames' mid-exposure times, hours since 1970 (UTC)
    std::vector<double> hours;  ///< each frame's time from midHours
    double fwhm = 0;            ///< the stars' width on the stack, pixels
    std::vector<float> noise;   ///< each frame's robust noise, its own units
    /// Each frame's residual, reference pixels, row by row, scaled so that the star's profile
    /// fitted anywhere on it (profile-weighted sum over the root of the weights' squares) has unit noise.
    std::vector<std::vector<qint16>> full;
    int halfWidth = 0, halfHeight = 0;
    /// Each frame's residual binned 2 x 2, filtered with the star's profile scaled to unit noise,
    /// clipped at HalfClip.
    std::vector<std::vector<float>> half;

    double psfSigma() const { return fwhm / 2.3548; }
    /// Frame i's residual at pixel (x, y) in full's units; NaN where it is masked or off the picture.
    float at(int i, int x, int y) const {
        if (x < 0 || y < 0 || x >= width || y >= height) return NAN;
        const qint16 v = full[size_t(i)][size_t(y) * width + x];
        return v == Masked ? NAN : v / Scale;
    }
};

struct ResidualOptions {
    double fwhm = 0;             ///< the stars' width, pixels; 0 measures it on the stack
    double starSigmas = 3;       ///< a pixel of the stack this many frame noises above the sky is masked
    SeriesOptions series;        ///< the memory budget and the workers
};

/// The residuals of the registered frames of series (at least five, each with its time): the
/// static sky is the whole series stacked by the clipped mean; masked are the stars and
/// galaxies of that stack (bright ones and their bleed more widely), the frames' edges, and each
/// frame's sensor defects (a pixel far sharper than a star: hot pixels, most cosmic rays). Each
/// file is read once more after the stack. With a control it reports progress and obeys a stop
/// (a failure "Поиск прерван." then).
Outcome<ResidualSeries> residualSeries(const SeriesRegistration& series, const ResidualOptions& options = {},
                                       JobControl* control = nullptr);

/// Stores frame k of out (full and half, both sized to the frames already) from its residual r:
/// reference pixels row by row, noise sigmas, NaN where masked. out's sizes and fwhm must be set.
void setResidualFrame(ResidualSeries& out, int k, const std::vector<float>& r);

/// The reason of a stopped search.
Failure searchStopped();

} // namespace vorlan
