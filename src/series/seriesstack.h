#pragma once

// Stacks of a registered series: the frames in time order split into equal groups, each group
// resampled onto the reference frame's pixels and combined into one deeper picture, either as
// they are (the stars stay points) or shifted along a motion (an asteroid stays a point). Works
// from a SeriesRegistration alone, so another grouping or motion never registers again.

#include "common/outcome.h"
#include "series/linearframe.h"
#include "series/seriesregistration.h"

#include <QDateTime>
#include <QPointF>
#include <QVector>
#include <optional>

namespace vorlan {

class JobControl;

/// How a group's values at one pixel become the stack's.
enum class StackCombine {
    ClippedMean, ///< the mean of the values within kappa sigma of the group's robust level
    Median,      ///< the median; holds every frame of a group resampled at once
};

/// How a frame's values are read between its pixel centres.
enum class StackResampling {
    Bilinear, ///< four pixels: quick, widens a star by up to half a pixel
    Bicubic,  ///< sixteen pixels (Catmull-Rom): keeps the stars as sharp as the frames show them
};

/// A motion across the reference frame, as the list "Движущиеся объекты" gives it.
struct SeriesMotion {
    double pixelsPerHour = 0;    ///< reference frame pixels per hour
    double directionDegrees = 0; ///< 0 up, 90 right (clockwise on the screen)
    /// Where the motion carries a point in the given hours: reference pixels, y down.
    QPointF shiftAfter(double hours) const;
    /// The motion that carries a point from `from` to `to` in the given hours (not 0).
    static SeriesMotion between(QPointF from, QPointF to, double hours);
};

struct StackOptions {
    int groups = 3;                                   ///< 3 or 2 (1 stacks the whole series)
    StackCombine combine = StackCombine::ClippedMean;
    double kappa = 3;                                 ///< the clipping width, noise sigmas
    StackResampling resampling = StackResampling::Bicubic;
    /// Each frame shifted back along this motion by its time from its stack's mid-time, so that an
    /// object with this motion stands still where it was at that mid-time.
    std::optional<SeriesMotion> motion;
    SeriesOptions series; ///< the memory budget and the workers
};

/// One stack, on the reference frame's pixels.
struct SeriesStack {
    LinearFrame picture; ///< linear values in the frames' units; NaN where no frame covered
    int frames = 0;
    std::optional<QDateTime> midTime;      ///< the mean of its frames' mid-exposure times (UTC)
    std::optional<QDateTime> first, last;  ///< its first and last frame's mid-exposure times
};

struct SeriesStacks {
    QVector<SeriesStack> stacks;
    bool stopped = false; ///< a stop came: the stacks are incomplete and not to be shown
};

/// The stackable frames of series (indices) in time order (list order when a frame has no time),
/// split into `groups` groups whose sizes differ by one at most, earlier groups no larger.
QVector<QVector<int>> stackGroups(const SeriesRegistration& series, int groups);

/// Stacks series as options say. The clipped mean is streamed: three frames of each group (its
/// first, middle and last) give its robust level (their median) and its noise as a function of
/// level (from the spread between two of them), then every other frame is read once, resampled
/// and added where it lies within kappa sigma of that level. Files are read one after another by workers as the
/// memory budget allows. Fails with a Russian reason when the series has fewer stackable frames
/// than groups, a motion is asked for and a frame has no time, or a median group does not fit.
Outcome<SeriesStacks> stackSeries(const SeriesRegistration& series, const StackOptions& options = {},
                                  JobControl* control = nullptr);

/// frame (its own pixels) resampled onto the reference frame's pixels (size) through toReference, as
/// the stacks read it; NaN where it falls off frame.
LinearFrame resampledFrame(const LinearFrame& frame, const SimilarityTransform& toReference, QSize size,
                           StackResampling resampling = StackResampling::Bicubic);

/// The stack's caption: "стопка k: N кадров, 12:03:10–12:21:40" (times of day in UTC; without them
/// when the frames have none).
QString stackCaption(int k, const SeriesStack& stack);

} // namespace vorlan
