#include "cli/fitsoutput.h"

#include "common/fileerror.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <fitsio.h>
#include <functional>

namespace vorlan {

namespace {

/// The cards the file's own structure sets, never copied from a WCS; where the file holds a
/// picture of its own, also the picture size and the times (wcslib renders the reference
/// frame's observation time with its WCS; a stack has a time of its own).
bool ownCard(const QString& card, bool hasPicture) {
    const QString key = card.left(8).trimmed();
    static const QStringList own = {"SIMPLE", "BITPIX", "EXTEND", "END"};
    return own.contains(key) || key.startsWith(QLatin1String("NAXIS")) ||
           (hasPicture && (key == QLatin1String("IMAGEW") || key == QLatin1String("IMAGEH") ||
                           key.startsWith(QLatin1String("DATE-")) || key.startsWith(QLatin1String("MJD-"))));
}

QString cfitsioReason(int status) {
    char text[FLEN_STATUS] = {};
    fits_get_errstatus(status, text);
    return QString::fromLatin1(text);
}

/// Creates path's FITS file beside it under a temporary name, lets fill write it (cfitsio
/// status in and out), and puts it in place of path only when all of it was written.
Outcome<void> writeFitsFile(const QString& path, const std::function<void(fitsfile*, int&)>& fill) {
    const QString part = path + QStringLiteral(".part");
    QFile::remove(part);
    int status = 0;
    fitsfile* f = nullptr;
    fits_create_file(&f, QFile::encodeName(part).constData(), &status);
    if (status) return Failure{BadFile, fileWriteFailure(path, cfitsioReason(status))};
    fill(f, status);
    int closing = 0;
    fits_close_file(f, &closing);
    if (status || closing) {
        QFile::remove(part);
        return Failure{BadFile, fileWriteFailure(path, cfitsioReason(status ? status : closing))};
    }
    // rename() replaces the old file in one step: it is never missing nor half written.
    if (std::rename(QFile::encodeName(part).constData(), QFile::encodeName(path).constData()) != 0) {
        const int error = errno;
        QFile::remove(part);
        return Failure{saveErrorNumber(error), fileWriteFailure(path, error)};
    }
    return {};
}

void writeWcsCards(fitsfile* f, const SkyWcs& wcs, bool hasPicture, int& status) {
    if (!wcs.isValid()) return;
    for (const QString& card : wcs.toHeaderText().split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        if (!ownCard(card, hasPicture)) fits_write_record(f, card.toLatin1().constData(), &status);
}

} // namespace

Outcome<void> writeStackFits(const QString& path, const SeriesStack& stack, const SkyWcs& wcs) {
    return writeFitsFile(path, [&](fitsfile* f, int& status) {
        const LinearFrame& picture = stack.picture;
        long naxes[2] = {picture.width, picture.height};
        fits_create_img(f, FLOAT_IMG, 2, naxes, &status);
        for (int y = 0; y < picture.height && !status; ++y) {
            // FITS row 1 is the picture's bottom row.
            long first[2] = {1, long(picture.height - y)};
            fits_write_pix(f, TFLOAT, first, picture.width, const_cast<float*>(picture.row(y)), &status);
        }
        writeWcsCards(f, wcs, true, status);
        if (stack.midTime) {
            QByteArray when = stack.midTime->toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")).toLatin1();
            fits_write_key(f, TSTRING, "DATE-OBS", when.data(), "mean mid-exposure time of the frames, UTC", &status);
            fits_write_key(f, TSTRING, "DATE-AVG", when.data(), "the same", &status);
        }
        int frames = stack.frames;
        fits_write_key(f, TINT, "NCOMBINE", &frames, "frames stacked", &status);
    });
}

Outcome<void> writeWcsFile(const QString& path, const SkyWcs& wcs) {
    return writeFitsFile(path, [&](fitsfile* f, int& status) {
        fits_create_img(f, BYTE_IMG, 0, nullptr, &status);
        writeWcsCards(f, wcs, false, status);
    });
}

QString wcsFilePath(const QString& picturePath) {
    const QFileInfo info(picturePath);
    const QString name = info.fileName();
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    return info.dir().filePath((dot > 0 ? name.left(dot) : name) + QStringLiteral(".wcs"));
}

} // namespace vorlan
