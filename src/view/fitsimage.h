#pragma once

#include "view/picturefile.h"

#include <QImage>
#include <QString>

namespace vorlan {

/// True when the file begins as a FITS file does ("SIMPLE  =") or its name ends in .fits, .fit,
/// .fts or .fz (so a damaged FITS file is reported as FITS, not as an unknown picture).
bool isFitsFile(const QString& path);

/// Decodes the first HDU of a FITS file that holds a two-dimensional image, or a cube of three
/// planes taken as red, green and blue; tile-compressed images included. Every BITPIX with
/// BSCALE/BZERO is read, blank (BLANK or NaN) pixels are shown black, and the linear data is
/// mapped to 8 bits by the automatic stretch. Row 1 of the image is its bottom row, so it comes
/// out at the bottom of the picture. Grey comes out in greyFormat, colour as RGB32. The header's
/// size is checked against memoryBudget (bytes) before any pixel is read; failures come back as
/// a failure with a Russian reason.
DecodedPicture decodeFitsFile(const QString& path, qint64 memoryBudget, QImage::Format greyFormat);

} // namespace vorlan
