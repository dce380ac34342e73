#include "deep/deepplan.h"

#include "series/seriesstack.h"

#include <cmath>

namespace vorlan {

namespace {

double hoursOf(const QDateTime& t) {
    return double(t.toMSecsSinceEpoch()) / 3.6e6;
}

} // namespace

double deepSearchSeconds(int frames, QSize size, int motions) {
    // Calibrated on the deep search benchmark on this two-core machine: 40 frames of 2000 x 1500
    // with 2709 trial motions took 5.3 s to remove the static sky (reading, resampling and
    // clipping: per frame and pixel) and 13.2 s to add along the motions and fit (per frame, half
    // resolution pixel and motion, the fits riding along).
    constexpr double PerFramePixel = 5.3 / (40 * 2000.0 * 1500);
    constexpr double PerSum = 13.2 / (40 * 1000.0 * 750 * 2709);
    const double pixels = double(size.width()) * size.height();
    return frames * pixels * PerFramePixel + frames * (pixels / 4) * motions * PerSum;
}

DeepPlan planDeepSearch(const SeriesRegistration& series, const DeepSearchOptions& options, double fwhm) {
    DeepPlan plan;
    if (series.reference >= 0) plan.size = series.frames[series.reference].size;
    double sum = 0;
    for (const SeriesFrame& f : series.frames)
        if (f.stackable() && f.midTime) {
            plan.hours.push_back(hoursOf(*f.midTime));
            sum += plan.hours.back();
        }
    plan.frames = int(plan.hours.size());
    if (plan.frames < 2) return plan;
    for (double& h : plan.hours)
        h -= sum / plan.frames;
    plan.motions = int(halfResolutionLattice(fwhm / 2.3548, plan.hours, options).points.size());
    plan.seconds = deepSearchSeconds(plan.frames, plan.size, plan.motions);
    return plan;
}

QVector<DeepSighting> deepSightings(const SeriesRegistration& series, const DeepSearchResult& result,
                                    const DeepCandidate& c) {
    QVector<DeepSighting> sightings;
    const double mid = hoursOf(result.midTime);
    for (const QVector<int>& group : stackGroups(series, 3)) {
        double sum = 0;
        int timed = 0;
        for (int i : group)
            if (const std::optional<QDateTime>& t = series.frames[i].midTime) {
                sum += hoursOf(*t);
                ++timed;
            }
        if (!timed) continue;
        const double hours = sum / timed;
        sightings.push_back({QDateTime::fromMSecsSinceEpoch(qint64(std::llround(hours * 3.6e6)), Qt::UTC),
                             c.atHours(hours - mid)});
    }
    return sightings;
}

MovingCandidate asMovingCandidate(const DeepCandidate& c, const QVector<DeepSighting>& sightings) {
    MovingCandidate m;
    for (const DeepSighting& s : sightings) {
        m.at << s.at;
        m.significance << c.snr;
    }
    m.speed = c.pixelsPerHour();
    m.perHour = true;
    m.directionDegrees = c.directionDegrees();
    return m;
}

} // namespace vorlan
