#include "report/knownobjects.h"

#include "report/designations.h"
#include "report/mpcreport.h"
#include "sky/platesolver.h"
#include "stars/stardetect.h"

#include <QProcess>

#include <algorithm>
#include <cmath>

namespace vorlan {

namespace {

constexpr double ArcsecPerRad = 206264.80624709636;

/// Arc seconds of runoff an orbit has gathered by a time, with an upper bound of a degree.
double runoff(const OrbitRecord& o, double tt) {
    return std::min(3600.0, double(o.runoffPerDay) * std::fabs(tt - o.epoch));
}

/// The centre of the picture of wcs and the radius (radians) of the circle round it through its
/// farthest corner; none when the WCS has no picture size.
std::optional<SkyCoord> fieldCircle(const SkyWcs& wcs, double& radius) {
    const int w = wcs.width(), h = wcs.height();
    if (!wcs.isValid() || w <= 0 || h <= 0) return std::nullopt;
    const std::optional<SkyCoord> centre = wcs.pictureToSky(QPointF(w / 2.0, h / 2.0));
    if (!centre) return std::nullopt;
    radius = 0;
    for (const QPointF corner : {QPointF(0, 0), QPointF(w, 0), QPointF(0, h), QPointF(w, h)})
        if (const std::optional<SkyCoord> c = wcs.pictureToSky(corner))
            radius = std::max(radius, separationArcsec(*centre, *c) / ArcsecPerRad);
    return centre;
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
    double radius = 0;
    const std::optional<SkyCoord> centre = fieldCircle(wcs, radius);
    if (!centre) return {};
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

namespace {

double median(std::vector<double> v) {
    const auto middle = v.begin() + std::ptrdiff_t(v.size() / 2);
    std::nth_element(v.begin(), middle, v.end());
    if (v.size() % 2 == 1) return *middle;
    return (*middle + *std::max_element(v.begin(), middle)) / 2;
}

} // namespace

MagnitudeLimit pictureMagnitudeLimit(const StarList& list, const SkyWcs& wcs,
                                     const std::vector<ReferenceStar>& catalogue) {
    constexpr double Reach = 2.5; // pixels between a catalogue place and a detected centre
    MagnitudeLimit m;
    double faintest = 0;
    for (const Star& s : list.stars)
        if (s.usable() && s.flux > 0 && (faintest == 0 || s.flux < faintest)) faintest = s.flux;
    // Each matched star: its catalogue V and its instrumental magnitude -2.5 lg flux.
    std::vector<double> catalogueV, instrumental;
    if (faintest > 0)
        for (const ReferenceStar& c : catalogue) {
            const std::optional<QPointF> p = wcs.skyToPicture(c.sky);
            if (!p) continue;
            const Star* nearest = nullptr;
            double best = Reach * Reach;
            for (const Star& s : list.stars) {
                const double d = (s.x - p->x()) * (s.x - p->x()) + (s.y - p->y()) * (s.y - p->y());
                if (d <= best) best = d, nearest = &s;
            }
            // A saturated or otherwise flagged star's flux says nothing of its brightness.
            if (nearest && nearest->usable() && nearest->flux > 0) {
                catalogueV.push_back(c.magnitude);
                instrumental.push_back(-2.5 * std::log10(nearest->flux));
            }
        }
    const std::size_t n = catalogueV.size();
    m.matched = int(n);
    if (n < 3) {
        m.note = n == 0 ? QStringLiteral("предел V 20: нет звёзд каталога для нуль-пункта")
                        : QStringLiteral("предел V 20: мало звёзд каталога для нуль-пункта (%1)").arg(n);
        return m;
    }
    // The pictures shown are stretched for the eye, not linear: a faint star's grey levels are
    // lifted against a bright one's, and V then grows faster than the instrumental magnitude.
    // With stars enough the scale's slope is measured too (the median of the pairs' slopes,
    // which outliers and variables do not move); with few it is taken as 1, a linear picture.
    double slope = 1;
    if (n >= 8) {
        std::vector<double> slopes;
        for (std::size_t i = 0; i < n; ++i)
            for (std::size_t j = i + 1; j < n; ++j)
                if (std::fabs(instrumental[j] - instrumental[i]) > 0.05)
                    slopes.push_back((catalogueV[j] - catalogueV[i]) / (instrumental[j] - instrumental[i]));
        if (!slopes.empty()) slope = std::clamp(median(slopes), 0.5, 3.0);
    }
    std::vector<double> zeroPoints(n);
    for (std::size_t i = 0; i < n; ++i)
        zeroPoints[i] = catalogueV[i] - slope * instrumental[i];
    m.zeroPoint = median(zeroPoints);
    m.slope = slope;
    const double reached = m.zeroPoint - slope * 2.5 * std::log10(faintest);
    m.limit = std::clamp(reached + 0.5, 5.0, 30.0);
    m.fromPicture = true;
    m.note = QStringLiteral("предел V %1: звёзды снимка до %2 + 0.5 (нуль-пункт по %3 звёздам каталога)")
                 .arg(QString::number(m.limit, 'f', 1), QString::number(reached, 'f', 1))
                 .arg(n);
    return m;
}

std::vector<ReferenceStar> indexStarsNear(SkyCoord centre, double radius) {
    constexpr double Deg = 180 / M_PI;
    std::vector<ReferenceStar> best;
    for (const QString& index : AstrometryIndexFiles()) {
        QProcess query;
        query.start(QStringLiteral("query-starkd"),
                    {QStringLiteral("-r"), QString::number(centre.ra * Deg, 'f', 6), QStringLiteral("-d"),
                     QString::number(centre.dec * Deg, 'f', 6), QStringLiteral("-R"),
                     QString::number(radius * Deg, 'f', 6), QStringLiteral("-T"), index});
        if (!query.waitForFinished(30000)) {
            query.kill();
            query.waitForFinished();
            continue;
        }
        std::vector<ReferenceStar> stars;
        // "# RA, Dec, MAG_VT" then "ra, dec, mag" a star, degrees.
        for (const QByteArray& line : query.readAllStandardOutput().split('\n')) {
            const QList<QByteArray> f = line.split(',');
            bool ra = false, dec = false, mag = false;
            if (f.size() != 3 || line.startsWith('#')) continue;
            const ReferenceStar s{{f[0].toDouble(&ra) / Deg, f[1].toDouble(&dec) / Deg}, f[2].trimmed().toDouble(&mag)};
            if (ra && dec && mag) stars.push_back(s);
        }
        if (stars.size() > best.size()) best = std::move(stars);
    }
    return best;
}

MagnitudeLimit magnitudeLimitOf(const QImage& picture, const SkyWcs& wcs) {
    double radius = 0;
    const std::optional<SkyCoord> centre = fieldCircle(wcs, radius);
    if (!centre) return pictureMagnitudeLimit({}, wcs, {});
    return pictureMagnitudeLimit(detectStars(picture), wcs, indexStarsNear(*centre, radius));
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
