#pragma once

// One astrometric observation of a moving object in the two forms the Minor Planet Center takes:
// the 80-column optical line and a row of ADES in its pipe-separated form (PSV).

#include <QChar>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVector>
#include <optional>

namespace vorlan {

/// One position of an object at one time.
struct Observation {
    /// The observer's temporary designation: letters and digits only, at most 7 (others dropped);
    /// an empty one becomes "VRL0001".
    QString designation = QStringLiteral("VRL0001");
    /// Columns 1-12 of the 80-column line for a known object (its packed number and/or provisional
    /// designation, see designations.h); when set it stands in place of the temporary designation.
    QString knownColumns;
    QDateTime utc;                   ///< mid-exposure time, UTC
    double ra = 0;                   ///< right ascension, J2000, radians (any value; wrapped into [0, 2π))
    double dec = 0;                  ///< declination, J2000, radians (clamped into [-π/2, π/2])
    std::optional<double> magnitude; ///< measured brightness, when photometry gave one
    QChar band;                      ///< its photometric band ('R', 'V', 'G', ...), or none
    /// The observatory code: three letters or digits; anything else becomes "500" (geocentric).
    QString station = QStringLiteral("500");
    /// ADES astCat: the MPC's code of the star catalogue the sky solution was fitted to ("Tyc2",
    /// "UCAC4", "Gaia2", ...); "UNK" when unknown or empty.
    QString catalogue = QStringLiteral("UNK");
    /// ADES mode: "CCD" or "CMO" (a CMOS camera).
    QString mode = QStringLiteral("CCD");
};

/// What an ADES submission says of who observed, with what (its obsContext): taken from the
/// settings. Texts are ADES's: a name at most 100 characters, no "|".
struct AdesContext {
    QString station = QStringLiteral("500");      ///< the observatory's MPC code
    QString submitter;                            ///< who sends the report
    QStringList measurers;                        ///< who measured the positions, at least one
    QString design = QStringLiteral("Reflector"); ///< telescope design: Reflector, Refractor, ...
    double apertureMetres = 0.2;                  ///< > 0
    QString detector = QStringLiteral("CCD");     ///< "CCD" or "CMO"

    /// What the settings still lack for a submission (Russian, ", " between), empty when
    /// nothing.
    QString missing() const;
};

/// The header block of an ADES PSV submission, each line ended by "\n":
///   # version=2017, # observatory / ! mpcCode, # submitter / ! name, # measurers / ! name for
///   each, # telescope / ! design, ! aperture (metres), ! detector.
QString adesPsvContext(const AdesContext& context);

/// The observation as the Minor Planet Center's 80-column optical line, exactly 80 ASCII
/// characters with blanks in every unused column:
///   1-5 blank (no number), 6-12 designation left-aligned, 13-14 blank (no discovery mark, no
///   note), 15 "C" (CCD), 16-32 "YYYY MM DD.ddddd" (UTC, day to 0.00001), 33-44 "HH MM SS.ss" (RA),
///   45-56 "sDD MM SS.s" (Dec), 57-65 blank, 66-70 magnitude as F4.1 ("17.2") and 71 the band,
///   both blank when unknown, 72-77 blank, 78-80 observatory code.
/// Each field rounds to its last digit with carries into the fields before it: RA 23 59 59.996
/// gives 00 00 00.00, a day fraction of .999996 the next day's .00000.
QString mpcObservationLine(const Observation& o);

/// The ADES PSV field names line for adesPsvRow, padded as its rows are:
///   trkSub|mode|stn|obsTime|ra|dec|astCat|mag|band
/// (trkSub: the temporary designation; mode: "CCD"; stn: the observatory code; obsTime: ISO 8601
/// UTC to the millisecond with "Z"; ra, dec: decimal degrees to 0.000001; astCat: the catalogue;
/// mag to 0.1 and band, empty when unknown). A submission puts "# version=2017" and the
/// observatory and contact blocks before it.
QString adesPsvHeader();

/// The observation as one ADES PSV row under adesPsvHeader().
QString adesPsvRow(const Observation& o);

/// Right ascension (radians, any value) as the 80-column line writes it: "HH MM SS.ss".
QString mpcRightAscension(double ra);
/// Declination (radians) as the 80-column line writes it: "sDD MM SS.s".
QString mpcDeclination(double dec);

/// A complete ADES PSV submission: adesPsvContext(), adesPsvHeader() and one row an observation
/// in the context's detector mode, each line ended by "\n".
QString adesSubmission(const QVector<Observation>& observations, const AdesContext& context);

/// The line that says what the settings lack (AdesContext::missing) for an ADES submission.
QString adesLackingText(const QString& lacking);

/// Observations as the clipboard and the notepad take them: the 80-column lines, an empty line,
/// and a complete ADES PSV submission: adesPsvContext(), adesPsvHeader() and the ADES rows in the
/// context's detector mode. Each line ended by "\n". When the context lacks what a submission
/// needs, one line saying what to fill in stands instead of the submission.
QString reportText(const QVector<Observation>& observations, const AdesContext& context);

} // namespace vorlan
