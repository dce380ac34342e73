#pragma once

// FITS pictures with a world coordinate system in their header, for the WCS tests and the
// readout: header cards of a known TAN projection (sky/skyfield.h) with or without a distortion,
// a writer that puts cards into a FITS file through cfitsio, and astrometry.net's own reading of
// such a file to compare with.

#include "sky/skyfield.h"
#include "sky/skywcs.h"
#include "support/linearsky.h"

#include <QPointF>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <optional>

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

/// tan's WCS as the program reads it, with its picture size; cards stand for tan's own when given
/// (with a distortion, mirrored).
inline SkyWcs tanWcs(const TanPicture& tan, QStringList cards = {}) {
    if (cards.isEmpty()) cards = tanHeaderCards(tan);
    cards << QStringLiteral("IMAGEW  = %1").arg(tan.widthPx)
          << QStringLiteral("IMAGEH  = %1").arg(tan.heightPx);
    return SkyWcs::fromHeaderText(cards.join(QLatin1Char('\n'))).valueOr(SkyWcs());
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

/// The grey levels of a Grayscale8 picture as the counts of a FITS picture, rows as shown.
inline LinearData countsOf(const QImage& picture) {
    LinearData counts{picture.width(), picture.height(), 1, {}, {}};
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            counts.values.push_back(picture.constScanLine(y)[x]);
    return counts;
}

/// FITS cards from "KEY = value" texts with bars between them: each key padded to eight characters.
inline QStringList cards(const QString& barred) {
    QStringList out;
    for (const QString& c : barred.split('|'))
        out << QString("%1= %2").arg(c.section('=', 0, 0).trimmed(), -8).arg(c.section('=', 1).trimmed());
    return out;
}

/// A camera's distortion as astrometry.net fits it, second and third order, 6" at the corners,
/// with an inverse polynomial beside it.
inline const QStringList Sip =
    cards("A_ORDER = 3|A_0_2 = 5.0E-7|A_1_1 = 1.0E-6|A_2_0 = 2.0E-6|A_3_0 = 1.1E-9|"
          "A_1_2 = -7.0E-10|B_ORDER = 3|B_0_2 = 2.0E-6|B_1_1 = -8.0E-7|B_2_0 = 6.0E-7|"
          "B_0_3 = 1.2E-9|B_2_1 = 5.0E-10|AP_ORDER = 2|AP_0_2 = -5.0E-7|AP_1_1 = -1.0E-6|"
          "AP_2_0 = -2.0E-6|BP_ORDER = 2|BP_0_2 = -2.0E-6|BP_1_1 = 8.0E-7|BP_2_0 = -6.0E-7");

inline QStringList withSip(QStringList tan) {
    tan.replaceInStrings("'RA---TAN'", "'RA---TAN-SIP'").replaceInStrings("'DEC--TAN'", "'DEC--TAN-SIP'");
    return tan + Sip;
}

/// astrometry.net's position of a FITS pixel of a file (its own wcs-xy2rd, an implementation
/// independent of wcslib).
inline std::optional<SkyCoord> anSky(const QString& file, QPointF fits) {
    QProcess run;
    run.start("wcs-xy2rd",
              {"-w", file, "-x", QString::number(fits.x(), 'f', 6), "-y", QString::number(fits.y(), 'f', 6)});
    run.waitForFinished(10000);
    // "Pixel (1.000000, 1.000000) -> RA,Dec (84.12345, -1.2345)"
    static const QRegularExpression re(R"(RA,Dec \(([-0-9.eE+]+), ([-0-9.eE+]+)\))");
    const QRegularExpressionMatch m = re.match(QString::fromLatin1(run.readAllStandardOutput()));
    if (!m.hasMatch()) return std::nullopt;
    return SkyCoord{m.captured(1).toDouble() * Rad, m.captured(2).toDouble() * Rad};
}

/// Great-circle distance in arc-seconds; huge when either position is missing.
inline double arcsec(std::optional<SkyCoord> a, std::optional<SkyCoord> b) {
    return a && b ? arcMinutesBetween(a->ra, a->dec, b->ra, b->dec) * 60 : 1e9;
}

/// The sky position an 80-column MPC line gives: "HH MM SS.ss" in columns 33-43, "sDD MM SS.s"
/// in 45-55.
inline SkyCoord mpcLineSky(const QString& line) {
    auto value = [](const QString& text, double radiansPerUnit) {
        const QStringList p = text.trimmed().split(' ');
        const double v = std::fabs(p[0].toDouble()) + p[1].toDouble() / 60 + p[2].toDouble() / 3600;
        return (text.trimmed().startsWith('-') ? -v : v) * radiansPerUnit;
    };
    return {value(line.mid(32, 11), M_PI / 12), value(line.mid(44, 11), M_PI / 180)};
}

/// A dark picture of the given size, for headers whose picture does not matter.
inline LinearData blankPicture(int w, int h) {
    return LinearData{w, h, 1, std::vector<double>(size_t(w) * h, 100.0), {}};
}

} // namespace vorlan::test
