#pragma once

// Text forms of sky positions: right ascension in hours and minutes of time, declination in
// degrees and arc-minutes, as the readout, the plate solution and the cut-out caption show them.

#include <QString>

namespace vorlan {

/// The two pieces of a formatted coordinate.
struct AngleText {
    QString whole;   ///< hours ("05") or signed degrees ("+22", "-00")
    QString minutes; ///< minutes of time ("34.5", locale separator) or arc-minutes ("01")
};

/// Right ascension (radians) as hours in pattern "00" and minutes of time in "00.0". Minutes that
/// round to 60.0 carry into the hours ("06h 00.0m"), and 24h wraps to "00".
AngleText FormatRightAscension(double ra);
/// FormatRightAscension of the shared CoordRA.
AngleText FormatRightAscension();

/// Declination (radians) as a sign ("+" or "-"), whole degrees in "00" and arc-minutes rounded
/// to "00"; 59.5' and more carry into the degrees ("+11°00'").
AngleText FormatDeclination(double dec);
/// FormatDeclination of the shared CoordDec.
AngleText FormatDeclination();

/// "05h 34.5m  +22°01'": hours, minutes of time, two blanks, signed degrees, arc-minutes.
QString SkyPositionText(double ra, double dec);
/// SkyPositionText of the shared CoordRA and CoordDec.
QString SkyPositionText();

} // namespace vorlan
