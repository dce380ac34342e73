#include "report/knownobjects.h"

#include "report/designations.h"
#include "report/mpcreport.h"

#include <algorithm>
#include <cmath>

namespace vorlan {

namespace {

constexpr double ArcsecPerRad = 206264.80624709636;

/// Arc seconds of runoff an orbit has gathered by a time, with an upper bound of a degree.
double runoff(const OrbitRecord& o, double tt) {
    return std::min(3600.0, double(o.runoffPerDay) * std::fabs(tt - o.epoch));
}

} // namespace

double separationArcsec(SkyCoord a, SkyCoord b) {
    const double d = a.ra - b.ra;
    const double y = std::hypot(std::cos(b.dec) * std::sin(d),
                                std::cos(a.dec) * std::sin(b.dec) - std::sin(a.dec) * std::cos(b.dec) * std::cos(d));
    const double x = std::sin(a.dec) * std::sin(b.dec) + std::cos(a.dec) * std::cos(b.dec) * std::cos(d);
    return std::atan2(y, x) * ArcsecPerRad;
}

std::vector<KnownObject> knownObjectsInPicture(const std::vector<OrbitRecord>& orbits, const SkyWcs& wcs,
                                               const QDateTime& utc, const Observatory& where,
                                               const KnownObjectOptions& options, JobControl* control) {
    const int w = wcs.width(), h = wcs.height();
    if (!wcs.isValid() || w <= 0 || h <= 0) return {};
    const std::optional<SkyCoord> centre = wcs.pictureToSky(QPointF(w / 2.0, h / 2.0));
    if (!centre) return {};
    double radius = 0;
    for (const QPointF corner : {QPointF(0, 0), QPointF(w, 0), QPointF(0, h), QPointF(w, h)})
        if (const std::optional<SkyCoord> c = wcs.pictureToSky(corner))
            radius = std::max(radius, separationArcsec(*centre, *c) / ArcsecPerRad);
    const double tt = observerAt(utc, where).tt;
    std::vector<KnownObject> known;
    for (const NearbyObject& n :
         objectsNear(orbits, utc, where, centre->ra, centre->dec, radius * 1.01 + 1e-5, control)) {
        const OrbitRecord& o = orbits[std::size_t(n.index)];
        if (!(n.place.magnitude <= options.magnitudeLimit)) continue;
        const SkyCoord sky{n.place.ra, n.place.dec};
        const std::optional<QPointF> p = wcs.skyToPicture(sky);
        if (!p || p->x() < 0 || p->y() < 0 || p->x() > w || p->y() > h) continue;
        KnownObject k;
        k.packed = o.packedDesignation();
        k.designation = unpackDesignation(k.packed);
        if (k.designation.isEmpty()) k.designation = k.packed;
        k.sky = sky;
        k.pixel = *p;
        k.magnitude = n.place.magnitude;
        k.motionRa = n.motionRa;
        k.motionDec = n.motionDec;
        k.toleranceArcsec = options.toleranceArcsec + runoff(o, tt);
        known.push_back(k);
    }
    std::sort(known.begin(), known.end(),
              [](const KnownObject& a, const KnownObject& b) { return a.magnitude < b.magnitude; });
    return known;
}

std::optional<std::pair<double, double>> candidateSkyMotion(const MovingCandidate& c, const SkyWcs& wcs) {
    if (!c.perHour || c.at.isEmpty()) return std::nullopt;
    const double direction = c.directionDegrees * M_PI / 180;
    // Direction 0 is up the picture, 90 to the right; picture pixels grow downwards.
    const QPointF step(c.speed * std::sin(direction), -c.speed * std::cos(direction));
    const std::optional<SkyCoord> a = wcs.pictureToSky(c.at[0]);
    const std::optional<SkyCoord> b = wcs.pictureToSky(c.at[0] + step);
    if (!a || !b) return std::nullopt;
    const double perMinute = ArcsecPerRad / 60;
    return std::pair(std::remainder(b->ra - a->ra, 2 * M_PI) * std::cos(a->dec) * perMinute,
                     (b->dec - a->dec) * perMinute);
}

int matchKnownObject(const std::vector<KnownObject>& known, SkyCoord candidate,
                     const std::optional<std::pair<double, double>>& motion) {
    int best = -1;
    double bestDistance = 0;
    for (std::size_t i = 0; i < known.size(); ++i) {
        const KnownObject& k = known[i];
        const double d = separationArcsec(candidate, k.sky);
        if (d > k.toleranceArcsec || (best >= 0 && d >= bestDistance)) continue;
        if (motion) {
            const double speed = std::hypot(k.motionRa, k.motionDec);
            if (std::hypot(motion->first - k.motionRa, motion->second - k.motionDec) > 0.25 * speed + 0.1) continue;
        }
        best = int(i);
        bestDistance = d;
    }
    return best;
}

QString knownObjectsText(const std::vector<KnownObject>& known, const std::vector<SkyCoord>& candidates) {
    QString text = QStringLiteral("Объект\tα (J2000)\tδ (J2000)\tV\tДвижение, ″/мин\tДо кандидата, ″\n");
    for (const KnownObject& k : known) {
        double nearest = -1;
        for (const SkyCoord& c : candidates) {
            const double d = separationArcsec(c, k.sky);
            if (nearest < 0 || d < nearest) nearest = d;
        }
        text += k.designation + '\t' + mpcRightAscension(k.sky.ra) + '\t' + mpcDeclination(k.sky.dec) + '\t' +
                (std::isnan(k.magnitude) ? QString() : QString::number(k.magnitude, 'f', 1)) + '\t' +
                QString::number(std::hypot(k.motionRa, k.motionDec), 'f', 2) + '\t' +
                (nearest < 0 ? QString() : QString::number(nearest, 'f', 1)) + '\n';
    }
    return text;
}

} // namespace vorlan
