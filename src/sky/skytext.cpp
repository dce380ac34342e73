#include "sky/skytext.h"

#include "common/numberforms.h"
#include "shell/sharedstate.h"
#include "sky/skymath.h"

#include <cmath>

namespace vorlan {

namespace {

/// Minutes that round up to a whole 60 carry into the unit above: "60.0" minutes of time and
/// "60" arc-minutes are no positions anyone writes.
bool roundsToSixty(double minutes, const QString& pattern) {
    return PatternForm(minutes, pattern).startsWith(QStringLiteral("60"));
}

} // namespace

AngleText FormatRightAscension(double ra) {
    const double degrees = ra * sky::DegPerRad;
    int hours = RoundToInt16(Int(degrees / 15));
    float minutes = ToSingle((degrees - 15.0 * hours) * 4);
    if (roundsToSixty(minutes, QStringLiteral("00.0"))) {
        minutes = 0;
        hours = (hours + 1) % 24;
    }
    return {PatternForm(hours, QStringLiteral("00")), PatternForm(minutes, QStringLiteral("00.0"))};
}

AngleText FormatRightAscension() {
    return FormatRightAscension(State().CoordRA);
}

AngleText FormatDeclination(double dec) {
    const QString sign = dec < 0 ? QStringLiteral("-") : QStringLiteral("+");
    const double degrees = std::fabs(dec) * sky::DegPerRad;
    double whole = Fix(degrees);
    double minutes = (degrees - whole) * 60;
    if (roundsToSixty(minutes, QStringLiteral("00"))) {
        minutes = 0;
        whole += 1;
    }
    return {sign + PatternForm(whole, QStringLiteral("00")), PatternForm(minutes, QStringLiteral("00"))};
}

AngleText FormatDeclination() {
    return FormatDeclination(State().CoordDec);
}

QString SkyPositionText(double ra, double dec) {
    const AngleText h = FormatRightAscension(ra);
    const AngleText d = FormatDeclination(dec);
    return h.whole + QStringLiteral("h ") + h.minutes + QStringLiteral("m ") + QStringLiteral(" ") + d.whole +
           QStringLiteral("°") + d.minutes + QStringLiteral("'");
}

QString SkyPositionText() {
    return SkyPositionText(State().CoordRA, State().CoordDec);
}

} // namespace vorlan
