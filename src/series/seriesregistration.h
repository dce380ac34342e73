#pragma once

// A series of frames of one field, each registered onto the first good frame (the reference):
// the list the window "Серия" shows and that every stacking of the series works from, so that
// another grouping or another motion never registers the frames again.

#include "stars/similaritytransform.h"

#include <QDateTime>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QVector>
#include <optional>

namespace vorlan {

class JobControl;

/// One frame of a series and what registration found out about it.
struct SeriesFrame {
    QString path;
    std::optional<QDateTime> midTime; ///< middle of the exposure, UTC (FITS header or EXIF); none when unknown
    double exposureSeconds = 0;       ///< 0 when the file names none
    QSize size;                       ///< pixels; empty when the file could not be read
    int stars = 0;                    ///< usable stars found
    /// This frame's pixels -> the reference frame's pixels (continuous picture pixels, y down);
    /// none when it could not be registered.
    std::optional<SimilarityTransform> toReference;
    int matched = 0;            ///< stars paired with the reference frame's
    double residualPixels = 0;  ///< RMS of those pairs after the fit, reference pixels
    bool bySky = false;         ///< registered through the header WCSs, the stars having failed
    QString reason;             ///< Russian: why it was not registered; empty when it was
    bool leftOut = false;       ///< not stacked: it failed, or the user left it out

    bool stackable() const { return toReference.has_value() && !leftOut; }
};

struct SeriesRegistration {
    QVector<SeriesFrame> frames; ///< in the order they were given
    int reference = -1;          ///< index of the reference frame; -1 when no frame is good
    bool stopped = false;        ///< a stop came before every frame was done: the rest are unregistered
};

struct SeriesOptions {
    /// Bytes the series may hold decoded at once; 0 for the picture budget of the machine. It sets
    /// how many frames are worked on side by side.
    qint64 memoryBudget = 0;
    /// Frames worked on side by side at most; 0 for one a processor.
    int workers = 0;
    /// How far a camera's clock runs ahead of UTC, minutes (EXIF times only).
    int cameraClockOffsetMinutes = 0;

    qint64 budget() const;
    /// Workers for frames of framePixels pixels, each holding bytesPerPixel bytes a pixel while worked on.
    int workersFor(qint64 framePixels, int bytesPerPixel) const;
};

/// Registers every frame of paths onto the first good frame (one that can be read and shows
/// enough stars): stars detected on the stretched frame and matched by triangles; where the stars
/// fail and both frames carry a WCS in their headers, the WCSs register it. A frame that cannot be
/// read, shows too few stars or another field keeps its reason and is left out. Frames are read
/// one after another by several workers (as many as the memory budget allows), each file decoded
/// once. With a control it reports its progress in Russian and obeys a stop.
SeriesRegistration registerSeries(const QStringList& paths, const SeriesOptions& options = {},
                                  JobControl* control = nullptr);

/// The frame's line of the list: registration residual and stars, or the reason it failed.
QString seriesFrameState(const SeriesFrame& frame);

} // namespace vorlan
