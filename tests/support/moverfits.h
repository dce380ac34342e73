#pragma once

// Exposures of a field with moving objects as FITS files a camera program writes: start time,
// exposure, and a TAN projection of 1.8" pixels, north up, that places each on the same sky.

#include "support/moverfield.h"
#include "support/wcsheader.h"

#include <QStringList>
#include <QTemporaryDir>

namespace vorlan::test {

/// Where picture 1's projection has its tangent point: 10h 20m 30s, +12° 35'.
inline const SkyCoord MoverFitsCentre{(10 + 20.5 / 60) * M_PI / 12, (12 + 35 / 60.0) * M_PI / 180};

/// Writes field's pictures into dir as mover1.fits, mover2.fits, ...: exposures of 30 seconds
/// started field.hours apart from 2024-03-05 21:00:00 UTC. field must be made without a turn, so
/// that each later picture is picture 1 shifted. The paths, picture 1 first.
inline QStringList writeMoverFits(const QTemporaryDir& dir, const MoverField& field) {
    QStringList paths;
    const QDateTime start(QDate(2024, 3, 5), QTime(21, 0), Qt::UTC);
    for (int k = 0; k < field.pictures.size(); ++k) {
        const QImage& image = field.pictures[k].image;
        // Picture k's pixel p lies on picture 1's pixel p + shift; FITS y grows upwards.
        const QPointF shift = field.toPicture1[k].map(QPointF(0, 0));
        const QString path = dir.filePath(QStringLiteral("mover%1.fits").arg(k + 1));
        const QDateTime begun = start.addMSecs(qint64(field.hours[k] * 3600000));
        writeFitsWithCards(path, countsOf(image),
                           cards(QStringLiteral("DATE-OBS = '%1'|EXPTIME = 30.0|CTYPE1 = 'RA---TAN'|"
                                                "CTYPE2 = 'DEC--TAN'|CRPIX1 = %2|CRPIX2 = %3|CRVAL1 = %4|"
                                                "CRVAL2 = %5|CD1_1 = -0.0005|CD2_2 = 0.0005")
                                     .arg(begun.toString(Qt::ISODateWithMs).chopped(1))
                                     .arg(image.width() / 2.0 + 0.5 - shift.x())
                                     .arg(image.height() / 2.0 + 0.5 + shift.y())
                                     .arg(MoverFitsCentre.ra * 180 / M_PI, 0, 'g', 15)
                                     .arg(MoverFitsCentre.dec * 180 / M_PI, 0, 'g', 15)));
        paths << path;
    }
    return paths;
}

} // namespace vorlan::test
