#include "sky/skytext.h"

#include "common/numberforms.h"
#include "shell/sharedstate.h"
#include "sky/skymath.h"

#include <cmath>

namespace vorlan {

AngleText FormatRightAscension(double ra) {
    const double degrees = ra * sky::DegPerRad;
    const int16_t hours = RoundToInt16(Int(degrees / 15));
    const float minutes = ToSingle((degrees - 15.0 * hours) * 4);
    return {PatternForm(hours, QStringLiteral("00")), PatternForm(minutes, QStringLiteral("00.0"))};
}

AngleText FormatRightAscension() {
    return FormatRightAscension(State().CoordRA);
}

AngleText FormatDeclination(double dec) {
    const QString sign = dec < 0 ? QStringLiteral("-") : QStringLiteral("+");
    const double degrees = std::fabs(dec) * sky::DegPerRad;
    const double whole = Fix(degrees);
    const double minutes = (degrees - whole) * 60;
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
