#pragma once

// The pictures of a mover field (support/moverfield.h) as a camera program writes them: FITS
// files with their exposure times and a header WCS, for the window-less chain, the command line
// and their benchmark.

#include "support/moverfield.h"
#include "support/wcsheader.h"

#include <QDateTime>
#include <QTemporaryDir>

namespace vorlan::test {

/// The observation days of the three pictures writeMoverFits writes, as the 80-column lines
/// give them (columns 16-32).
inline const QString MoverFitsDays[] = {"2024 03 05.87517 ", "2024 03 05.88559 ", "2024 03 05.89601 "};

/// Three exposures a quarter of an hour apart, 1600 x 1200, each shifted against picture 1 and
/// none turned, 200 stars and ten movers: small enough for a test to search in a second.
inline MoverField smallMoverField() {
    return moverField(3, 4, 1600, 1200, 2.0, 200, 0.0);
}

/// Writes field's pictures (made without a turn) into dir as FITS files: exposures of 30 seconds
/// started field.hours apart from 2024-03-05 21:00 UTC, each with a TAN projection of 1.8" pixels,
/// north up, that places it on the same sky (10h 20m 30s, +12° 35' at picture 1's centre).
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
                                     .arg(155.125)
                                     .arg(12.5833333)));
        paths << path;
    }
    return paths;
}

} // namespace vorlan::test
