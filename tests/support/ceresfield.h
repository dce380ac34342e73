#pragma once

// The sky round the minor planet (1) Ceres on 2026-03-16 with two other known objects beside it,
// for the known objects' tests: the places PyEphem gives (numbers from
// tools/orbitreference/ephemeris_reference.py), an MPCORB file of their orbits, and FITS pictures
// centred on Ceres with a dot where it stands.

#include "sky/skywcs.h"
#include "support/orbitlines.h"
#include "support/starsky.h"
#include "support/wcsheader.h"

#include <QTemporaryDir>

namespace vorlan::test {

inline const double Deg = M_PI / 180;

/// PyEphem's geocentric astrometric places at the first picture's mid-exposure (2026-03-16 02:00
/// UTC) and 40 minutes later, degrees, with V.
struct Reference {
    const char* designation;
    double ra, dec, magnitude, laterRa, laterDec;
};
inline const Reference Ceres{"(1)", 348.91254344, -13.34063340, 9.08, 348.92278212, -13.33662244};
inline const Reference Ahead{"2024 AB1", 348.93722332, -13.33091112, 19.94, 348.94746147, -13.32689893};
inline const Reference Behind{"(620000)", 348.87552852, -13.35520737, 19.64, 348.88576799, -13.35119826};

inline QByteArray ceresOrbitFile() {
    const double peri = 73.27343, node = 80.25221, incl = 10.58780, e = 0.0794013, a = 2.7660512;
    return mpcorbHeader() + mpcorbLine("00001", 3.34, 188.70269, peri, node, incl, e, a) +
           mpcorbLine("K24A01B", 14.2, 188.74269, peri, node, incl, e, a) +
           mpcorbLine("~0000", 13.9, 188.64269, peri, node, incl, e, a) +
           // Far from the field, and one too faint for the default limit in it.
           mpcorbLine("00004", 3.25, 26.80058, 151.53712, 103.70233, 7.14406, 0.0901676, 2.3614349) +
           mpcorbLine("K24A02C", 19.0, 188.70269, peri, node, incl, e, a);
}

/// Picture 1 at 1.8″ a pixel, north up, its centre on (1); a dot where (1) is at each time.
inline QString ceresPicture(const QTemporaryDir& dir, const QString& name, const QString& start, double dotRa, double dotDec) {
    const QString tan = QStringLiteral("CTYPE1 = 'RA---TAN'|CTYPE2 = 'DEC--TAN'|CRPIX1 = 800.5|CRPIX2 = 600.5|"
                                       "CRVAL1 = %1|CRVAL2 = %2|CD1_1 = -0.0005|CD2_2 = 0.0005")
                            .arg(Ceres.ra, 0, 'g', 15)
                            .arg(Ceres.dec, 0, 'g', 15);
    const SkyWcs wcs = SkyWcs::fromHeaderText(cards(tan + "|IMAGEW = 1600|IMAGEH = 1200").join('\n')).value();
    QVector<SkyStar> sky = randomSky(QRectF(40, 40, 1520, 1120), 150, 7, 20, 160);
    const QPointF dot = *wcs.skyToPicture({dotRa * Deg, dotDec * Deg});
    sky.push_back({dot.x(), dot.y(), 120});
    const QString path = dir.filePath(name);
    writeFitsWithCards(path, countsOf(renderSky(sky, {.width = 1600, .height = 1200, .fwhm = 2.5}).image),
                       cards(QStringLiteral("DATE-OBS = '%1'|EXPTIME = 30.0|").arg(start) + tan));
    return path;
}

} // namespace vorlan::test
