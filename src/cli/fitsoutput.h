#pragma once

// FITS files the subcommands write as other programs of the field take them: a stack as a
// picture of 32-bit floats (BITPIX -32) with the sky mapping of the frame it lies on and the
// mean time of its frames, and a solution as astrometry.net's .wcs file (a header alone).

#include "common/outcome.h"
#include "series/seriesstack.h"
#include "sky/skywcs.h"

#include <QString>

namespace vorlan {

/// Writes stack to path (replacing a file there only once the new one is complete): its values
/// as 32-bit floats, rows from the bottom as FITS keeps them, NaN where no frame covered; wcs's
/// cards when it is valid; DATE-OBS and DATE-AVG the stack's mean mid-exposure time (UTC, to
/// the millisecond; no EXPTIME, so that a reader takes DATE-OBS as the time of the stack) and
/// NCOMBINE its frames. A failure names the file and the reason.
Outcome<void> writeStackFits(const QString& path, const SeriesStack& stack, const SkyWcs& wcs);

/// Writes wcs to path as solve-field writes its solutions: a primary HDU without pixels whose
/// header holds the WCS cards and the picture size (IMAGEW, IMAGEH). Replaces a file there only
/// once complete; a failure names the file and the reason.
Outcome<void> writeWcsFile(const QString& path, const SkyWcs& wcs);

/// Where the solution of a picture goes, as solve-field names it: its name with the last
/// extension replaced by ".wcs", beside it ("m31.fits" -> "m31.wcs").
QString wcsFilePath(const QString& picturePath);

} // namespace vorlan
