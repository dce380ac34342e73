#pragma once

// FITS pictures with a world coordinate system in their header, for the WCS tests and the
// readout: header cards of a known TAN projection (sky/skyfield.h) and a writer that puts cards
// into a FITS file through cfitsio.

#include "sky/skyfield.h"
#include "support/linearsky.h"

#include <QStringList>

namespace vorlan::test {

/// The cards of tan's projection in the CD form: the tangent point at the picture's centre,
/// FITS pixel (w/2 + 0.5, h/2 + 0.5), east to the left (CD1_1 < 0 when unturned), north turned
/// counter-clockwise by tan.rotationDeg. The FITS y axis grows upwards, so FITS row 1 is the
/// picture's bottom row.
inline QStringList tanHeaderCards(const TanPicture& tan) {
    const double degPerPx = 2 * std::tan(tan.fieldDeg * Rad / 2) / tan.widthPx / Rad;
    const double c = std::cos(tan.rotationDeg * Rad), s = std::sin(tan.rotationDeg * Rad);
    auto card = [](const char* key, double v) {
        return QStringLiteral("%1= %2").arg(key, -8).arg(v, 20, 'G', 17);
    };
    return {QStringLiteral("CTYPE1  = 'RA---TAN'"),
            QStringLiteral("CTYPE2  = 'DEC--TAN'"),
            card("CRPIX1", tan.widthPx / 2.0 + 0.5),
            card("CRPIX2", tan.heightPx / 2.0 + 0.5),
            card("CRVAL1", tan.ra0 / Rad),
            card("CRVAL2", tan.dec0 / Rad),
            card("CD1_1", -degPerPx * c),
            card("CD1_2", -degPerPx * s),
            card("CD2_1", -degPerPx * s),
            card("CD2_2", degPerPx * c)};
}

/// Writes picture as a 16-bit FITS file whose header carries cards as well. Returns cfitsio's
/// status, 0 when written.
inline int writeFitsWithCards(const QString& path, const LinearData& picture, const QStringList& cards) {
    int status = writeFits(path, picture, FitsLayout{});
    if (status) return status;
    fitsfile* f = nullptr;
    fits_open_diskfile(&f, QFile::encodeName(path).constData(), READWRITE, &status);
    for (const QString& card : cards)
        fits_write_record(f, card.toLatin1().constData(), &status);
    int closing = 0;
    if (f) fits_close_file(f, &closing);
    return status ? status : closing;
}

/// A dark picture of the given size, for headers whose picture does not matter.
inline LinearData blankPicture(int w, int h) {
    return LinearData{w, h, 1, std::vector<double>(size_t(w) * h, 100.0), {}};
}

} // namespace vorlan::test
