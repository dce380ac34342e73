#pragma once

// When a picture was taken: the middle of its exposure in UTC, which the motion of a candidate
// and the report to the Minor Planet Center are timed by. Read from the header the camera
// program wrote (FITS) or from the camera's own time stamp (EXIF of a JPEG).

#include "common/outcome.h"

#include <QDateTime>
#include <QString>

namespace vorlan {

/// The failure number of a picture that holds no time stamp at all, as against one whose time
/// stamp cannot be used (InvalidValue).
inline constexpr int NoTimeStamp = ErrorNumber::InvalidArgument;

/// The times a picture may claim: years 1900 to 2100, and exposures up to a day (seconds).
inline constexpr int EarliestYear = 1900;
inline constexpr int LatestYear = 2100;
inline constexpr double LongestExposure = 86400;

/// Mid-exposure time (UTC, milliseconds) from the first header of a FITS file that has DATE-OBS:
/// DATE-OBS as "YYYY-MM-DDThh:mm:ss[.sss]" (a trailing "Z" allowed), or as the date alone
/// ("YYYY-MM-DD") with the time of day in TIME-OBS ("hh:mm:ss[.sss]"); plus half of EXPTIME, or of
/// EXPOSURE when EXPTIME is absent (seconds). DATE-OBS is taken as the start of the exposure, in
/// UTC; with neither exposure keyword it is taken as it stands. Refused, with the card and why:
/// the file cannot be read, DATE-OBS is missing (NoTimeStamp), garbled or outside the years
/// above, the time of day is nowhere, or an exposure keyword is not seconds from 0 to a day.
Outcome<QDateTime> fitsMidExposureUtc(const QString& path);

/// Mid-exposure time (UTC, milliseconds) from a JPEG's EXIF: DateTimeOriginal
/// ("YYYY:MM:DD hh:mm:ss") with SubSecTimeOriginal when present, taken as the start of the
/// exposure on the camera's clock; minus cameraClockOffsetMinutes (how far the camera's clock
/// runs ahead of UTC: 180 for a camera set to Moscow time); plus half of ExposureTime when
/// present. Refused, with the tag and why: no EXIF or no DateTimeOriginal (NoTimeStamp), a
/// garbled stamp (a camera without a set clock writes blanks) or one outside the years above,
/// an ExposureTime that is not seconds from 0 to a day.
Outcome<QDateTime> exifMidExposureUtc(const QString& path, int cameraClockOffsetMinutes);

/// The picture file's mid-exposure time: fitsMidExposureUtc for a FITS file (its header is UTC by
/// convention, so the camera offset does not apply), else exifMidExposureUtc.
Outcome<QDateTime> pictureMidExposureUtc(const QString& path, int cameraClockOffsetMinutes);

} // namespace vorlan
