#pragma once

// The Minor Planet Center's orbit files read into a compact table of two-body orbits:
//
//   MPCORB.DAT (also gzip-compressed, and the daily files in its format such as NEA.txt): one
//   minor planet a line, the mean anomaly, perihelion, node, inclination (J2000 ecliptic,
//   degrees), eccentricity and semi-major axis at an osculation epoch (TT);
//   CometEls.txt: one comet a line, its time of perihelion (TT), perihelion distance and the
//   same angles.
//
// Every orbit is kept the one way propagation wants it: the time of perihelion, the perihelion
// distance, the eccentricity, and the orbit's orientation as two unit vectors in the J2000
// equatorial frame (towards perihelion, and 90° ahead of it in the direction of motion). A line
// that cannot be read is skipped and counted; header and blank lines are passed over.
//
// The text is read a block at a time into one reused buffer (a gzip file inflated on the way),
// never mapped: a file that a download rewrites under a mapping would kill the program. Parsing
// still costs twice what reading the table back does, more for a compressed file, so the table
// is kept in a binary cache file in the user's cache folder, one per source file, rebuilt when
// the source's size, modification time or first bytes change. The cache is this machine's own:
// native byte order, no portability.

#include "common/outcome.h"

#include <QDateTime>
#include <QString>
#include <cstdint>
#include <vector>

namespace vorlan {

class JobControl;

/// One orbit, fixed size so that the cache is the table's bytes.
struct OrbitRecord {
    double perihelionTime = 0; ///< JD, TT
    double q = 0;              ///< perihelion distance, AU
    double e = 0;              ///< eccentricity
    double p[3] = {};          ///< unit vector towards perihelion, J2000 equatorial
    double w[3] = {};          ///< unit vector 90° ahead of p in the orbit's plane, J2000 equatorial
    double epoch = 0;          ///< JD TT of the elements (of the perihelion for a comet)
    float h = 0;               ///< absolute magnitude H (a comet's total one); NaN when unknown
    float g = 0;               ///< slope G of the H,G system; a comet's activity slope K
    /// How fast the position grows uncertain, arc seconds a day away from the epoch (from the
    /// uncertainty parameter U of MPCORB); 0 when unknown.
    float runoffPerDay = 0;
    uint8_t comet = 0;  ///< 1 for a comet (magnitude H + 5 lg Δ + 2.5 K lg r)
    char packed[8] = {}; ///< packed designation, blank padded: 5 or 7 characters, 8 for a comet's provisional one

    /// The packed designation as text, without its padding.
    QString packedDesignation() const;
};

/// The orbits of one file.
struct OrbitCatalogue {
    std::vector<OrbitRecord> orbits;
    int skipped = 0;        ///< damaged lines left out
    bool fromCache = false; ///< read from the cache instead of parsing the file
    bool stopped = false;   ///< a stop was asked for: orbits holds what was read till then
};

/// Parses orbit lines in memory (MPCORB's and CometEls' formats, one or both, any line ends).
/// Reports progress in bytes through control and stops when it asks (both optional). Runs on the
/// threads of the global pool, so it must not be called from one of them.
OrbitCatalogue parseOrbitText(const char* data, std::size_t size, JobControl* control = nullptr);

/// Parses an orbit file, plain or gzip-compressed; no cache.
Outcome<OrbitCatalogue> readOrbitFile(const QString& path, JobControl* control = nullptr);

/// The orbits of a file through its cache: the cache when it is current, else the parsed file
/// (a cache is then written, unless the parse was stopped). A cache that cannot be written is
/// no failure: the orbits are there, only the next start parses again.
Outcome<OrbitCatalogue> loadOrbitFile(const QString& path, JobControl* control = nullptr);

/// Where the cache of a source file lives (QStandardPaths::CacheLocation).
QString orbitCachePath(const QString& sourcePath);

/// Julian date of a calendar date with a day fraction (proleptic Gregorian), in whatever time
/// scale the date is given.
double julianDate(int year, int month, double day);

} // namespace vorlan
