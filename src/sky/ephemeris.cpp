#include "sky/ephemeris.h"

#include "common/jobrunner.h"
#include "sky/poolparts.h"

#include <QDir>
#include <QFile>
#include <QThreadPool>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <erfa.h>

namespace vorlan {

namespace {

constexpr double GaussK = 0.01720209895;
constexpr double Mu = GaussK * GaussK;
/// Speed of light, AU a day.
constexpr double LightSpeed = 173.1446326846693;
/// The Earth's equatorial radius the parallax constants of ObsCodes are in, metres.
constexpr double EarthRadius = 6378137.0;
constexpr double AuMetres = 149597870700.0;
constexpr double ArcsecPerRad = 206264.80624709636;
/// Half the time between the two places the motion is taken from, minutes.
constexpr double MotionHalfStep = 5;

/// Stumpff's functions c2 and c3 of z.
void stumpff(double z, double& c2, double& c3) {
    if (std::fabs(z) < 1e-3) {
        c2 = 0.5 - z * (1.0 / 24 - z * (1.0 / 720 - z / 40320));
        c3 = 1.0 / 6 - z * (1.0 / 120 - z * (1.0 / 5040 - z / 362880));
    } else if (z > 0) {
        const double s = std::sqrt(z);
        c2 = (1 - std::cos(s)) / z;
        c3 = (s - std::sin(s)) / (z * s);
    } else {
        const double s = std::sqrt(-z);
        c2 = (std::cosh(s) - 1) / -z;
        c3 = (std::sinh(s) - s) / (-z * s);
    }
}

/// Position in the orbit's plane (x towards perihelion, y 90° ahead) dt days after perihelion,
/// by the universal variable χ from perihelion: √μ dt = e χ³ c3(αχ²) + q χ, whose derivative in
/// χ is the radius r = q + e χ² c2 (always positive, so a bracketed Newton iteration converges).
void universalPlane(double q, double e, double dt, double& x, double& y) {
    const double alpha = (1 - e) / q;
    const double target = std::sqrt(Mu) * dt;
    auto f = [&](double chi, double& r) {
        double c2, c3;
        stumpff(alpha * chi * chi, c2, c3);
        r = q + e * chi * chi * c2;
        return e * chi * chi * chi * c3 + q * chi - target;
    };
    double r = q;
    // Bracket the root: f grows with χ and f(0) = -target.
    double lo = std::min(0.0, target / q), hi = std::max(0.0, target / q);
    while (f(lo, r) > 0)
        lo *= 2;
    while (f(hi, r) < 0)
        hi = hi * 2 + 1e-3;
    double chi = std::cbrt(6 * target / std::max(e, 1e-12));
    if (!(chi > lo && chi < hi)) chi = 0.5 * (lo + hi);
    for (int i = 0; i < 100; ++i) {
        const double value = f(chi, r);
        if (value > 0)
            hi = chi;
        else
            lo = chi;
        double next = chi - value / r;
        if (!(next > lo && next < hi)) next = 0.5 * (lo + hi);
        if (std::fabs(next - chi) <= 1e-15 * std::max(1.0, std::fabs(chi))) {
            chi = next;
            break;
        }
        chi = next;
    }
    double c2, c3;
    stumpff(alpha * chi * chi, c2, c3);
    const double fLagrange = 1 - chi * chi * c2 / q;
    const double gLagrange = dt - chi * chi * chi * c3 / std::sqrt(Mu);
    x = fLagrange * q;
    y = gLagrange * std::sqrt(Mu * (1 + e) / q);
}

/// Position in the orbit's plane by Kepler's equation, for e well below 1.
void keplerPlane(double q, double e, double dt, double& x, double& y) {
    const double a = q / (1 - e);
    double m = std::remainder(GaussK / (a * std::sqrt(a)) * dt, 2 * M_PI);
    double big = e < 0.8 ? m + e * std::sin(m) : (m < 0 ? -M_PI : M_PI);
    for (int i = 0; i < 50; ++i) {
        const double step = (big - e * std::sin(big) - m) / (1 - e * std::cos(big));
        big -= step;
        // Newton's step squares the error: after a step under 1e-8 what is left is below 1e-15.
        if (std::fabs(step) < 1e-8) break;
    }
    x = a * (std::cos(big) - e);
    y = a * std::sqrt((1 - e) * (1 + e)) * std::sin(big);
}

double length(const double v[3]) {
    return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

/// Observer-to-object vector with the light time taken off the object's time.
void lightTimeVector(const OrbitRecord& o, const ObserverState& s, double helio[3], double toObject[3]) {
    double tau = 0;
    for (int i = 0; i < 3; ++i) {
        heliocentricPosition(o, s.tt - tau, helio);
        for (int k = 0; k < 3; ++k)
            toObject[k] = helio[k] - s.at[k];
        tau = length(toObject) / LightSpeed;
    }
}

void raDec(const double v[3], double& ra, double& dec) {
    eraC2s(const_cast<double*>(v), &ra, &dec);
    ra = eraAnp(ra);
}

double visualMagnitude(const OrbitRecord& o, const double helio[3], const double toObject[3]) {
    const double r = length(helio), delta = length(toObject);
    if (std::isnan(o.h)) return NAN;
    if (o.comet) return o.h + 5 * std::log10(delta) + 2.5 * o.g * std::log10(r);
    const double cosPhase = (helio[0] * toObject[0] + helio[1] * toObject[1] + helio[2] * toObject[2]) / (r * delta);
    const double halfTan = std::tan(0.5 * std::acos(std::clamp(cosPhase, -1.0, 1.0)));
    const double phi1 = std::exp(-3.33 * std::pow(halfTan, 0.63));
    const double phi2 = std::exp(-1.87 * std::pow(halfTan, 1.22));
    return o.h + 5 * std::log10(r * delta) - 2.5 * std::log10((1 - o.g) * phi1 + o.g * phi2);
}

Failure obsCodesFailure(const QString& path, const QString& why) {
    return Failure{BadFile, QStringLiteral("Файл обсерваторий \"%1\": %2").arg(QDir::toNativeSeparators(path), why)};
}

} // namespace

Outcome<Observatory> observatoryFromObsCodes(const QString& obsCodesPath, const QString& code) {
    Observatory o;
    o.code = code.trimmed().toUpper();
    if (o.code == QLatin1String("500")) return o;
    QFile f(obsCodesPath);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return obsCodesFailure(obsCodesPath, QStringLiteral("не открывается"));
    while (!f.atEnd()) {
        const QByteArray line = f.readLine();
        if (line.size() < 30 || QString::fromLatin1(line.left(3)) != o.code || line[3] != ' ') continue;
        // Longitude, ρ cos φ′ and ρ sin φ′ in columns 5-32, blank separated; the name follows at once.
        const QList<QByteArray> f = line.mid(3, 29).simplified().split(' ');
        bool a = false, b = false, c = false;
        const double lon = f.value(0).toDouble(&a);
        const double cosPart = f.value(1).toDouble(&b);
        const double sinPart = f.value(2).toDouble(&c);
        if (!(a && b && c)) break;
        const double l = lon * M_PI / 180;
        o.itrs[0] = cosPart * std::cos(l) * EarthRadius;
        o.itrs[1] = cosPart * std::sin(l) * EarthRadius;
        o.itrs[2] = sinPart * EarthRadius;
        return o;
    }
    return obsCodesFailure(obsCodesPath, QStringLiteral("нет места обсерватории %1").arg(o.code));
}

Observatory observatoryAt(double longitudeDeg, double latitudeDeg, double heightM) {
    Observatory o;
    o.code.clear();
    eraGd2gc(1 /* WGS 84 */, longitudeDeg * M_PI / 180, latitudeDeg * M_PI / 180, heightM, o.itrs);
    return o;
}

ObserverState observerAt(const QDateTime& utc, const Observatory& where) {
    const QDateTime u = utc.toUTC();
    const QDate d = u.date();
    const QTime t = u.time();
    double utc1 = 0, utc2 = 0, tai1 = 0, tai2 = 0, tt1 = 0, tt2 = 0;
    eraDtf2d("UTC", d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second() + t.msec() / 1000.0, &utc1,
             &utc2);
    eraUtctai(utc1, utc2, &tai1, &tai2);
    eraTaitt(tai1, tai2, &tt1, &tt2);
    ObserverState s;
    s.tt = tt1 + tt2;
    double helio[2][3], bary[2][3];
    eraEpv00(tt1, tt2, helio, bary);
    double site[3] = {0, 0, 0};
    if (where.itrs[0] != 0 || where.itrs[1] != 0 || where.itrs[2] != 0) {
        double toTerrestrial[3][3];
        eraC2t06a(tt1, tt2, utc1, utc2, 0, 0, toTerrestrial);
        eraTrxp(toTerrestrial, const_cast<double*>(where.itrs), site);
    }
    for (int k = 0; k < 3; ++k)
        s.at[k] = helio[0][k] + site[k] / AuMetres;
    return s;
}

void heliocentricPosition(const OrbitRecord& o, double tt, double out[3]) {
    double x, y;
    if (o.e < 0.9)
        keplerPlane(o.q, o.e, tt - o.perihelionTime, x, y);
    else
        universalPlane(o.q, o.e, tt - o.perihelionTime, x, y);
    for (int k = 0; k < 3; ++k)
        out[k] = x * o.p[k] + y * o.w[k];
}

SkyPlace astrometricPlace(const OrbitRecord& o, const ObserverState& s) {
    double helio[3], toObject[3];
    lightTimeVector(o, s, helio, toObject);
    SkyPlace p;
    raDec(toObject, p.ra, p.dec);
    p.distance = length(toObject);
    p.sunDistance = length(helio);
    p.magnitude = visualMagnitude(o, helio, toObject);
    return p;
}

std::vector<NearbyObject> objectsNear(const std::vector<OrbitRecord>& orbits, const QDateTime& utc,
                                      const Observatory& where, double centreRa, double centreDec, double radius,
                                      JobControl* control) {
    const ObserverState now = observerAt(utc, where);
    double centre[3];
    eraS2c(centreRa, centreDec, centre);
    // The first pass leaves the light time out: in that time an object moves across the sky by at
    // most its heliocentric speed over the speed of light (under 70″ even at 0.1 AU from the Sun).
    const double passRadius = radius + 0.1 * M_PI / 180;
    const double passCos = std::cos(std::min(passRadius, M_PI));
    const int parts = std::max(1, QThreadPool::globalInstance()->maxThreadCount()) * 4;
    std::vector<std::vector<int>> found(static_cast<std::size_t>(parts));
    std::atomic<bool> stop{false};
    const std::size_t n = orbits.size();
    runPoolParts(
        parts,
        [&](int part) {
            const std::size_t begin = n * std::size_t(part) / std::size_t(parts);
            const std::size_t end = n * std::size_t(part + 1) / std::size_t(parts);
            double helio[3], v[3];
            for (std::size_t i = begin; i < end; ++i) {
                if ((i & 4095) == 0 && stop.load(std::memory_order_relaxed)) return;
                heliocentricPosition(orbits[i], now.tt, helio);
                for (int k = 0; k < 3; ++k)
                    v[k] = helio[k] - now.at[k];
                const double d = v[0] * centre[0] + v[1] * centre[1] + v[2] * centre[2];
                if (d >= passCos * length(v)) found[std::size_t(part)].push_back(int(i));
            }
        },
        [&] {
            if (control && control->stopRequested()) stop = true;
        });
    if (stop) return {};
    const ObserverState before = observerAt(utc.addMSecs(qint64(-MotionHalfStep * 60000)), where);
    const ObserverState after = observerAt(utc.addMSecs(qint64(MotionHalfStep * 60000)), where);
    const double radiusCos = std::cos(std::min(radius, M_PI));
    std::vector<NearbyObject> near;
    for (const std::vector<int>& part : found)
        for (int i : part) {
            NearbyObject o;
            o.index = i;
            o.place = astrometricPlace(orbits[std::size_t(i)], now);
            double at[3];
            eraS2c(o.place.ra, o.place.dec, at);
            if (at[0] * centre[0] + at[1] * centre[1] + at[2] * centre[2] < radiusCos) continue;
            const SkyPlace a = astrometricPlace(orbits[std::size_t(i)], before);
            const SkyPlace b = astrometricPlace(orbits[std::size_t(i)], after);
            const double minutes = 2 * MotionHalfStep;
            o.motionRa = std::remainder(b.ra - a.ra, 2 * M_PI) * std::cos(o.place.dec) * ArcsecPerRad / minutes;
            o.motionDec = (b.dec - a.dec) * ArcsecPerRad / minutes;
            near.push_back(o);
        }
    return near;
}

} // namespace vorlan
