#pragma once

// When a picture was taken: the middle of its exposure in UTC, which the motion of a candidate
// and the report to the Minor Planet Center are timed by. Read from the header the camera
// program wrote (FITS) or from the camera's own time stamp (EXIF of a JPEG).

#include <QDateTime>
#include <QString>
#include <optional>

namespace vorlan {

/// Mid-exposure time (UTC, milliseconds) from the first header of a FITS file that has DATE-OBS:
/// DATE-OBS as "YYYY-MM-DDThh:mm:ss[.sss]" (a trailing "Z" allowed), or as the date alone
/// ("YYYY-MM-DD") with the time of day in TIME-OBS ("hh:mm:ss[.sss]"); plus half of EXPTIME, or of EXPOSURE
/// when EXPTIME is absent (seconds). DATE-OBS is taken as the start of the exposure, in UTC; with neither
/// exposure keyword it is taken as it stands. No time when the file cannot be read, DATE-OBS is missing or
/// garbled, the time of day is nowhere, or an exposure keyword is present but not a number of seconds >= 0.
std::optional<QDateTime> fitsMidExposureUtc(const QString& path);

/// Mid-exposure time (UTC, milliseconds) from a JPEG's EXIF: DateTimeOriginal
/// ("YYYY:MM:DD hh:mm:ss") with SubSecTimeOriginal when present, taken as the start of the
/// exposure on the camera's clock; minus cameraClockOffsetMinutes (how far the camera's clock
/// runs ahead of UTC: 180 for a camera set to Moscow time); plus half of ExposureTime when
/// present. No time when there is no EXIF, DateTimeOriginal is missing or garbled (a camera
/// without a set clock writes blanks), or ExposureTime is present but not a number >= 0.
std::optional<QDateTime> exifMidExposureUtc(const QString& path, int cameraClockOffsetMinutes);

/// The picture file's mid-exposure time: fitsMidExposureUtc for a FITS file (its header is UTC by
/// convention, so the camera offset does not apply), else exifMidExposureUtc.
std::optional<QDateTime> pictureMidExposureUtc(const QString& path, int cameraClockOffsetMinutes);

} // namespace vorlan
