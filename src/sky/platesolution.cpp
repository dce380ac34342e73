#include "sky/platesolution.h"

#include "common/numberforms.h"
#include "common/vorlanerror.h"
#include "shell/sharedstate.h"
#include "sky/skymath.h"
#include "sky/skytext.h"
#include "view/twips.h"

#include <cmath>

namespace vorlan {

using namespace sky;

namespace {

const QString CrLf = QStringLiteral("\r\n");

/// Twips of the displayed picture to degrees at f twips per radian.
constexpr double PixelsToDegrees = TwipsPerPixel * DegPerRad;

int sign(double v) {
    return v > 0 ? 1 : (v < 0 ? -1 : 0);
}

float divide(double a, double b) {
    return ToSingle(checkedDivide(a, b));
}

/// Angle at the centre between the meridian to the pole and the great circle to the probe,
/// positive when the probe has the smaller right ascension. Taken from the bearing's sine and
/// cosine rather than the law of cosines with ArcCos: with positions held in floats the cosine
/// of a short side loses so many digits that ArcCos near 0° and 180° was off by tenths of a
/// degree.
double PoleAngle(double raC, double decC, double raT, double decT) {
    const double across = std::sin(raC - raT) * std::cos(decT);
    const double along =
        std::cos(decC) * std::sin(decT) - std::sin(decC) * std::cos(decT) * std::cos(raT - raC);
    double angle = 0;
    DirectionAngle(std::fabs(across), along, angle);
    return angle * sign(std::sin(raC - raT));
}

} // namespace

SkyFix SolveSkyPosition(TwipPoint p1, TwipPoint p2, TwipPoint target, const StarPair& stars) {
    const float dx = p2.x - p1.x;
    const float dy = p1.y - p2.y;
    double direction = 0;
    DirectionAngle(dy, dx, direction);
    const double a1 = direction;
    const float tx = target.x - p1.x;
    const float ty = p1.y - target.y;
    DirectionAngle(ty, tx, direction);
    const double a2 = direction;

    const float d12 = ToSingle(std::sqrt(double(dx) * dx + double(dy) * dy));
    const float d1t = ToSingle(std::sqrt(double(tx) * tx + double(ty) * ty));

    // The frame whose equator is the great circle through both stars, and the stars in it.
    const SkyPoint pole = GreatCirclePole(stars.ra1, stars.dec1, stars.ra2, stars.dec2);
    float ra1 = stars.ra1, dec1 = stars.dec1, l1 = 0, b1 = 0;
    ConvertPoleFrame(ra1, dec1, l1, b1, pole.lon, pole.lat, 1);
    float ra2 = stars.ra2, dec2 = stars.dec2, l2 = 0, b2 = 0;
    ConvertPoleFrame(ra2, dec2, l2, b2, pole.lon, pole.lat, 1);

    // Turn the picture so that star 1 -> star 2 lies along the frame's longitude axis: the
    // picture's right is decreasing longitude (east is left), so star 2 goes right when it has
    // the smaller frame longitude. Read from the frame itself, this holds for stars of equal or
    // opposite right ascension too, whose circle is an hour circle and whose pole lies on the
    // equator, on either side as rounding falls.
    const float turn = ToSingle(std::sin(double(l2) - double(l1)) < 0 ? -a1 : Pi - a1);
    const double turned = a2 + turn;
    const float u = ToSingle(d1t * std::cos(turned));
    const float v = ToSingle(d1t * std::sin(turned));

    const float separation = AngularDistance(stars.ra2, stars.ra1, stars.dec2, stars.dec1);
    const float f = divide(d12, separation);
    const float du = divide(u, f);
    const float dv = divide(v, f);

    float ra = 0, dec = 0;
    float l = ToSingle(double(l1) - du);
    float b = dv;
    ConvertPoleFrame(ra, dec, l, b, pole.lon, pole.lat, 2);
    return {ra, dec, f};
}

MarkedStars MarkedStarsFromState() {
    const SharedState& s = State();
    return {
        {s.Point1X1, s.Point1Y1}, {s.Point2X1, s.Point2Y1}, {s.StarRA1, s.StarDec1, s.StarRA2, s.StarDec2}};
}

SkyFix SolveAtScale(const MarkedStars& m, float scale, TwipPoint target) {
    const TwipPoint p1{m.point1.x * scale, m.point1.y * scale};
    const TwipPoint p2{m.point2.x * scale, m.point2.y * scale};
    return SolveSkyPosition(p1, p2, target, m.stars);
}

QString CentreDistanceText(int widthPx, int heightPx, float x, float y) {
    const double cx = RoundToInt32(toTwips(double(widthPx)) / 2);
    const double cy = RoundToInt32(toTwips(double(heightPx)) / 2);
    const int32_t d = RoundToInt32(std::sqrt((cx - x) * (cx - x) + (cy - y) * (cy - y)));
    const int32_t r = RoundToInt32(std::sqrt(cx * cx + cy * cy));
    const int32_t off = RoundToInt32(std::fabs(double(r) - d) * 100);
    return QStringLiteral("от центра=") + PatternForm(100 - checkedDivide(off, r), QStringLiteral("0.0")) +
           QStringLiteral("%");
}

QString PlateInfoLines(const PlateFacts& facts) {
    const float wDeg = ToSingle(Int(facts.widthDeg));
    const float hDeg = ToSingle(Int(facts.heightDeg));
    const float wPx = ToSingle(Int(facts.widthPx));
    const float hPx = ToSingle(Int(facts.heightPx));
    return QStringLiteral("центр: ") + SkyPositionText(facts.centreRa, facts.centreDec) + CrLf +
           QStringLiteral("размер в градусах ") + InvariantShortForm(wDeg) + QStringLiteral(" x ") +
           InvariantShortForm(hDeg) + CrLf + QStringLiteral("размер в пикселах ") + InvariantShortForm(wPx) +
           QStringLiteral(" x ") + InvariantShortForm(hPx) + CrLf;
}

QString PlateAngleLine(double angle) {
    return QStringLiteral("Угол отклонения от направления на полюс ") +
           PatternForm(angle * DegPerRad, QStringLiteral("0.000")) + CrLf;
}

PlateSolution SolvePlate(const PlateInput& in) {
    PlateSolution out;
    // One scale for everything: the marks, the centre, the sizes and the probe are all taken on
    // the picture as it is displayed now, at its exact scaled size rather than the frame's
    // whole pixels, so the result is the same at any zoom.
    const double widthPx = double(in.pictureWidth) * in.displayScale;
    const double heightPx = double(in.pictureHeight) * in.displayScale;
    out.centre = {ToSingle(toTwips(widthPx) / 2), ToSingle(toTwips(heightPx) / 2)};
    out.centreSky = SolveAtScale(in.marked, in.displayScale, out.centre);
    out.centreText = SkyPositionText(out.centreSky.ra, out.centreSky.dec);

    const float f = out.centreSky.scale;
    PlateFacts facts;
    facts.centreRa = out.centreSky.ra;
    facts.centreDec = out.centreSky.dec;
    facts.widthDeg = checkedDivide(widthPx * PixelsToDegrees, f);
    facts.heightDeg = checkedDivide(heightPx * PixelsToDegrees, f);
    // The displayed size over the display scale: the picture's own pixels.
    facts.widthPx = in.pictureWidth;
    facts.heightPx = in.pictureHeight;
    out.infoText = PlateInfoLines(facts);

    // Without the readout the probe leaves the centre in place and the angle says nothing.
    out.probe = {out.centre.x, 1};
    out.probeRa = out.centreSky.ra;
    out.probeDec = out.centreSky.dec;
    if (in.readoutActive) {
        const SkyFix top = SolveAtScale(in.marked, in.displayScale, out.probe);
        out.probeRa = top.ra;
        out.probeDec = top.dec;
    }
    out.angle = PoleAngle(out.centreSky.ra, out.centreSky.dec, out.probeRa, out.probeDec);
    out.angleLine = PlateAngleLine(out.angle);
    return out;
}

} // namespace vorlan
