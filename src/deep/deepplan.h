#pragma once

// The deep search as the user meets it: what a search of a series will cost before it starts, and
// what a found object is reported by.

#include "deep/deepsearch.h"
#include "stars/movingsearch.h"

#include <QDateTime>
#include <QPointF>
#include <QSize>
#include <QVector>

namespace vorlan {

/// The star width the estimate takes before the stack is made and measured, pixels.
constexpr double TypicalFwhm = 3.0;

/// What a deep search of a series will search, and about how long it will take.
struct DeepPlan {
    int frames = 0;             ///< stackable frames with their time
    QSize size;                 ///< the reference frame's pixels
    std::vector<double> hours;  ///< each of those frames' time from their mean
    int motions = 0;            ///< trial motions at half resolution
    double seconds = 0;         ///< the estimate of the whole search on this machine
};

/// The plan of a deep search of series with these options, for stars fwhm pixels wide.
DeepPlan planDeepSearch(const SeriesRegistration& series, const DeepSearchOptions& options,
                        double fwhm = TypicalFwhm);

/// The estimated seconds of a deep search: frames of this size, motions trial motions.
double deepSearchSeconds(int frames, QSize size, int motions);

/// Where and when a found object is reported: the place it has in a stack along its motion.
struct DeepSighting {
    QDateTime utc;
    QPointF at; ///< reference pixels
};

/// The sightings of candidate c of result, a series of the deep search: the series' stackable
/// frames in time order split into three groups as the stacks split them, each stacked along the
/// motion at its frames' mean time, where the fit puts the object then. Start, middle, end.
QVector<DeepSighting> deepSightings(const SeriesRegistration& series, const DeepSearchResult& result,
                                    const DeepCandidate& c);

/// A candidate as the reports of the moving search take it: its place at each sighting, the
/// stacked signal-to-noise for each, its motion per hour, no change of brightness.
MovingCandidate asMovingCandidate(const DeepCandidate& c, const QVector<DeepSighting>& sightings);

/// A deep search listed in "Движущиеся объекты": the series searched and what was found.
struct DeepListed {
    SeriesRegistration series;
    DeepSearchResult result;
};

} // namespace vorlan
