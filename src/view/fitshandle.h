#pragma once

// The one way the program opens a FITS file, and the owner that closes it.

#include <QFile>
#include <QString>
#include <fitsio.h>
#include <memory>

namespace vorlan {

struct FitsCloser {
    void operator()(fitsfile* f) const {
        int status = 0;
        fits_close_file(f, &status);
    }
};
using FitsHandle = std::unique_ptr<fitsfile, FitsCloser>;

/// Opens the file at path for reading, the name taken as it is (no cfitsio filter syntax in
/// brackets). On failure the handle is empty and status holds cfitsio's error.
inline FitsHandle openFitsForReading(const QString& path, int& status) {
    fitsfile* raw = nullptr;
    fits_open_diskfile(&raw, QFile::encodeName(path).constData(), READONLY, &status);
    return FitsHandle(raw); // cfitsio leaves it null when the file did not open
}

} // namespace vorlan
