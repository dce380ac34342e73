#pragma once

// Where a minor planet or comet stands in the sky: two-body motion of its osculating orbit
// (orbitfile.h) and the observer's place from ERFA. Positions are astrometric: J2000 / ICRF right
// ascension and declination of the object as it was when the light left it (light time iterated),
// seen from the observatory, without aberration or light deflection, as star catalogues and the
// astrometry of a picture give them.
//
// Frames: heliocentric, equatorial J2000 (ICRF-aligned; the 0.02″ frame bias is left out), AU;
// times are Julian dates in TT (TDB taken equal to it: they differ by under 2 ms).

#include "common/outcome.h"
#include "sky/orbitfile.h"

#include <QDateTime>
#include <QString>
#include <vector>

namespace vorlan {

class JobControl;

/// An observer's place on the Earth: geocentric, in the terrestrial frame (ITRS), metres; the
/// geocentre for the code "500".
struct Observatory {
    QString code = QStringLiteral("500");
    double itrs[3] = {0, 0, 0};
};

/// The observatory of an MPC code from the Minor Planet Center's ObsCodes file (longitude and the
/// parallax constants ρ cos φ′, ρ sin φ′). "500" needs no file. Fails when the file cannot be read
/// or has no place for the code (a space telescope, an unknown code).
Outcome<Observatory> observatoryFromObsCodes(const QString& obsCodesPath, const QString& code);

/// The observatory at a geodetic longitude (degrees east), latitude (degrees) and height above
/// the WGS 84 ellipsoid (metres).
Observatory observatoryAt(double longitudeDeg, double latitudeDeg, double heightM);

/// The observer at one moment: the time in TT and its heliocentric position.
struct ObserverState {
    double tt = 0;        ///< Julian date, TT
    double at[3] = {};    ///< observer, heliocentric J2000 equatorial, AU
};

/// The observer at a UTC moment (leap seconds from ERFA; UT1 taken equal to UTC for the Earth's
/// rotation, under 0.5 km off).
ObserverState observerAt(const QDateTime& utc, const Observatory& where);

/// Heliocentric position of an orbit at tt (Julian date, TT), AU: elliptic orbits by Kepler's
/// equation, near-parabolic, parabolic and hyperbolic ones by universal variables.
void heliocentricPosition(const OrbitRecord& orbit, double tt, double out[3]);

/// An object's place as the observer sees it.
struct SkyPlace {
    double ra = 0;       ///< astrometric right ascension, J2000, radians in [0, 2π)
    double dec = 0;      ///< astrometric declination, J2000, radians
    double distance = 0; ///< from the observer, AU
    double sunDistance = 0;
    double magnitude = 0; ///< visual (asteroids: IAU H,G; comets: total); NaN when H is unknown
};

/// The astrometric place of an orbit for the observer, light time iterated.
SkyPlace astrometricPlace(const OrbitRecord& orbit, const ObserverState& observer);

/// An object near a sky position at one time.
struct NearbyObject {
    int index = -1; ///< into the orbit table
    SkyPlace place;
    /// Apparent motion, arc seconds a minute, along right ascension (× cos δ, eastward positive)
    /// and declination (northward positive).
    double motionRa = 0;
    double motionDec = 0;
};

/// Every orbit whose astrometric place lies within radius (radians) of centre (RA, Dec radians)
/// for the observer, with its motion. Works on the threads of the global pool (not to be called
/// from one of them); empty when control asks for a stop.
std::vector<NearbyObject> objectsNear(const std::vector<OrbitRecord>& orbits, const QDateTime& utc,
                                      const Observatory& where, double centreRa, double centreDec,
                                      double radius, JobControl* control = nullptr);

} // namespace vorlan
