#pragma once

// What the observation times and the report lines take from the user, kept between runs (in the
// user's configuration folder, Vorlan/Vorlan.ini).

#include "report/mpcreport.h"
#include "sky/ephemeris.h"

#include <QString>
#include <QStringList>

namespace vorlan {

/// Whether path is the Minor Planet Center's list of observatories (ObsCodes), told by its name.
bool isObsCodesFile(const QString& path);

struct ReportSettings {
    /// How far the camera's clock runs ahead of UTC, minutes (180 for a camera set to Moscow time);
    /// applies to the EXIF time stamps of JPEG pictures, not to FITS headers.
    int cameraClockOffsetMinutes = 0;
    /// The observatory code of the Minor Planet Center; "500" (geocentric) until the observer has one.
    QString station = QStringLiteral("500");
    /// The observer's temporary designation of the object being reported.
    QString designation = QStringLiteral("VRL0001");
    /// The Minor Planet Center's files the known objects come from: orbit files (MPCORB.DAT[.gz],
    /// NEA.txt, CometEls.txt) and optionally ObsCodes (told by its name), in the order chosen.
    QStringList orbitFiles;
    /// Whether picture 1 shows the known objects of its field.
    bool showKnownObjects = false;
    /// Known objects fainter than this (V) are not shown, when the limit is typed.
    double knownMagnitudeLimit = 20.0;
    /// The limit is what picture 1 reaches: its faintest stars plus half a magnitude.
    bool knownLimitAuto = true;
    /// The observer's place typed by hand (degrees east, degrees, metres above the WGS 84
    /// ellipsoid), used when ObsCodes does not give the station's.
    bool placeTyped = false;
    double longitudeDeg = 0;
    double latitudeDeg = 0;
    double heightM = 0;

    /// Who sends the ADES report, and who measured (names separated by ";" or ",").
    QString submitter;
    QString measurers;
    /// The telescope of the ADES report: its design ("Reflector", "Refractor", ...), aperture in
    /// metres, and detector "CCD" or "CMO" (CMOS).
    QString telescopeDesign = QStringLiteral("Reflector");
    double apertureMetres = 0.2;
    QString detector = QStringLiteral("CCD");

    /// The orbit files among orbitFiles (ObsCodes left out).
    QStringList orbitFilesOnly() const;
    /// The observer: the station's place in ObsCodes, else the place typed, else the geocentre.
    Observatory observatory() const;

    /// The obsContext of an ADES report from these settings.
    AdesContext adesContext() const;

    /// The settings as last saved; the defaults above for what was never saved.
    static ReportSettings load();
    void save() const;

    bool operator==(const ReportSettings&) const = default;
};

} // namespace vorlan
