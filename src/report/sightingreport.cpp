#include "report/sightingreport.h"

namespace vorlan {

QVector<Observation> sightingObservations(const QVector<Sighting>& sightings, const TimeOfSlot& time,
                                          const SkyOfPixel& sky, const ReportSettings& settings,
                                          const MagnitudeOf& magnitude) {
    QVector<Observation> observations;
    for (const Sighting& s : sightings) {
        const std::optional<QDateTime> t = time(s.first);
        const std::optional<SkyCoord> at = sky(s.second);
        if (!t || !at) continue;
        Observation o;
        o.designation = settings.designation;
        o.station = settings.station;
        o.utc = *t;
        o.ra = at->ra;
        o.dec = at->dec;
        if (magnitude) o.magnitude = magnitude(s);
        if (o.magnitude) o.band = QLatin1Char('V');
        observations << o;
    }
    return observations;
}

QVector<Sighting> rowSightings(const MovingSearchResult& result, const QVector<int>& pictureSlots,
                               const MoverRow& row) {
    QVector<Sighting> sightings;
    if (row.candidate >= 0)
        for (int i = 0; i < pictureSlots.size(); ++i)
            // Where a picture could not show it, the object is predicted, not observed.
            if (i != result.movers[row.candidate].unseen)
                sightings.push_back({pictureSlots[i], result.movers[row.candidate].at[i]});
    if (row.flash >= 0)
        sightings.push_back({pictureSlots[result.flashes[row.flash].picture], result.flashes[row.flash].at});
    return sightings;
}

} // namespace vorlan
