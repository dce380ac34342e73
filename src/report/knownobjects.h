#pragma once

// Which known minor planets and comets a picture shows, and which of the moving candidates are
// one of them: the orbit table (sky/orbitfile.h) propagated to the picture's mid-exposure time
// (sky/ephemeris.h) and put on the picture through its WCS.

#include "sky/ephemeris.h"
#include "sky/skywcs.h"
#include "stars/movingsearch.h"
#include "stars/starlist.h"

#include <QImage>
#include <QPointF>
#include <QString>
#include <optional>
#include <vector>

namespace vorlan {

/// A known object inside a picture.
struct KnownObject {
    QString packed;      ///< packed designation (the orbit file's)
    QString designation; ///< readable designation: "(433)", "2024 AB12", "C/2023 A3"
    SkyCoord sky;        ///< astrometric J2000 place, radians
    QPointF pixel;       ///< picture pixels (y down, see skywcs.h)
    double magnitude = 0;         ///< V; NaN when the orbit file has no H
    double motionRa = 0;          ///< arc seconds a minute along RA (× cos δ), eastward positive
    double motionDec = 0;         ///< arc seconds a minute, northward positive
    double toleranceArcsec = 10;  ///< how far a candidate may be from it and still be it
};

/// How the known objects of a picture are chosen and matched.
struct KnownObjectOptions {
    /// Objects fainter than this (V) are left out; so are those whose magnitude is unknown.
    double magnitudeLimit = 20.0;
    /// Largest distance of a candidate from the predicted place, arc seconds, before the orbit's
    /// own uncertainty (its runoff since the epoch) is added.
    double toleranceArcsec = 10;
};

/// A star of a catalogue: its J2000 place (radians) and visual magnitude.
struct ReferenceStar {
    SkyCoord sky;
    double magnitude = 0;
};

/// The magnitude limit of the known objects, and how it came about.
struct MagnitudeLimit {
    double limit = 20;
    bool fromPicture = false; ///< from the picture's stars through a zero point (else the fixed V 20)
    int matched = 0;          ///< catalogue stars matched to the picture's stars
    double zeroPoint = 0;     ///< V of a star of flux 1 (grey levels × pixels), when fromPicture
    double slope = 1;         ///< magnitudes of V an instrumental magnitude (-2.5 lg flux)
    QString note;             ///< for the list's status line: "предел V 17.3 ..." in Russian
};

/// The limit a picture reaches: its faintest usable detected star plus half a magnitude, on the
/// photometric scale of the catalogue stars that fall within 2.5 pixels of an unflagged detected
/// star (through wcs): V = zero point + slope × (-2.5 lg flux), the zero point the median over
/// them. The slope is 1 (a linear picture) for fewer than 8 such stars, else measured, since a
/// picture stretched for display is not linear. Fewer than three such stars give no zero point:
/// the fixed V 20, and the note says why.
MagnitudeLimit pictureMagnitudeLimit(const StarList& stars, const SkyWcs& wcs,
                                     const std::vector<ReferenceStar>& catalogue);

/// The stars within radius (radians) of centre from the installed astrometry.net index files
/// (Tycho-2), as its query-starkd lists them from the file that holds the most there. Empty when
/// the tool or the index files are missing.
std::vector<ReferenceStar> indexStarsNear(SkyCoord centre, double radius);

/// The limit picture 1 reaches (pictureMagnitudeLimit): its stars detected, the index stars of
/// its field through its WCS. Runs query-starkd: off the GUI thread.
MagnitudeLimit magnitudeLimitOf(const QImage& picture, const SkyWcs& wcs);

/// The known objects whose places fall on the picture of the WCS (its width × height pixels) at
/// utc for the observer, brightest first. Empty when the WCS has no picture size, or control asks
/// for a stop.
std::vector<KnownObject> knownObjectsInPicture(const std::vector<OrbitRecord>& orbits, const SkyWcs& wcs,
                                               const QDateTime& utc, const Observatory& where,
                                               const KnownObjectOptions& options, JobControl* control = nullptr);

/// A candidate's motion on the sky, arc seconds a minute (RA × cos δ eastward, Dec northward), from
/// its speed and direction in picture 1's pixels per hour; none when its speed is per picture.
std::optional<std::pair<double, double>> candidateSkyMotion(const MovingCandidate& candidate, const SkyWcs& wcs);

/// The known object a candidate is (index into known), or -1: the nearest one within its
/// tolerance whose motion agrees with the candidate's (within a quarter of the known speed plus
/// 0.1″ a minute; any motion when the candidate's is unknown).
int matchKnownObject(const std::vector<KnownObject>& known, SkyCoord candidate,
                     const std::optional<std::pair<double, double>>& motion);

/// Angular distance between two sky positions (radians), arc seconds.
double separationArcsec(SkyCoord a, SkyCoord b);

/// The list "Известные объекты в поле" as text: a heading line, then one line an object with
/// its designation, RA and Dec as the report line writes them, V to 0.1, its motion (″/мин) and
/// the distance to the nearest candidate (″; empty when there are none), tab separated.
QString knownObjectsText(const std::vector<KnownObject>& known, const std::vector<SkyCoord>& candidates);

} // namespace vorlan
