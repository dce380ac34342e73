#include "sky/skymath.h"

#include "common/vorlanerror.h"

#include <cfloat>
#include <cmath>

namespace vorlan {

using namespace sky;

float ToSingle(double v) {
    if (!std::isfinite(v) || std::fabs(v) > double(FLT_MAX)) throw overflowError();
    return float(v);
}

void DirectionAngle(double y, double x, double& angle) {
    if (x == 0) {
        if (y > 0)
            angle = HalfPi;
        else if (y < 0)
            angle = ThreeHalfPi;
        return;
    }
    double a = std::atan(checkedDivide(y, x));
    if (x < 0) a += Pi;
    if (a < 0) a += TwoPi;
    angle = a;
}

double NormalizeToRadians(double degrees) {
    double v = checkedFinite(degrees);
    const float turns = float(std::fabs(std::floor(v / 360)));
    const float sign = v > 0 ? 1.0f : (v < 0 ? -1.0f : 0.0f);
    const float whole = turns * 360.0f * sign;
    v -= whole;
    // The float product leaves at most a few turns for huge inputs; beyond that the loops below
    // would subtract 360 from a number too large to change, so reduce it directly.
    if (std::fabs(v) > 1.0e6) v = std::fmod(v, 360.0);
    while (v > 360)
        v -= 360;
    while (v < 0)
        v += 360;
    return v / DegPerRad;
}

double ArcSin(double x) {
    if (std::fabs(x) >= 1) return x > 0 ? HalfPi : -HalfPi;
    return std::atan(x / std::sqrt(1 - x * x));
}

double ArcCos(double x) {
    if (std::fabs(x) >= 1) return x > 0 ? 0.0 : Pi;
    return ArcCosHalfPi - std::atan(x / std::sqrt(1 - x * x));
}

float AngularDistance(float lonA, float lonB, float latA, float latB) {
    const double a = latA, b = latB;
    const float c = ToSingle(std::sin(a) * std::sin(b) +
                             std::cos(b) * std::cos(a) * std::cos(double(lonB) - double(lonA)));
    return ToSingle(HalfPi - double(float(ArcSin(c))));
}

namespace {

/// cos of a float latitude, 0 at the poles. A declination of ±90° held in a float lies a hair
/// beyond the pole; its tiny negative cosine would let the construction run on and put the pole
/// star's arbitrary right ascension into the result.
double cosLatitude(float lat) {
    return std::fabs(lat) >= float(HalfPi) ? 0.0 : std::cos(double(lat));
}

} // namespace

SkyPoint GreatCirclePole(float lon1, float lat1, float lon2, float lat2) {
    const double sinLat1 = std::sin(double(lat1)), sinLat2 = std::sin(double(lat2));
    const float a1 = ToSingle(cosLatitude(lat1) * std::cos(double(lon1)));
    const float b1 = ToSingle(cosLatitude(lat1) * std::sin(double(lon1)));
    const float a2 = ToSingle(cosLatitude(lat2) * std::cos(double(lon2)));
    const float b2 = ToSingle(cosLatitude(lat2) * std::sin(double(lon2)));
    const double ratio = checkedDivide(a2, a1);
    const double y = checkedDivide(sinLat1 * ratio - sinLat2, b2 - ratio * b1);
    const double x = checkedDivide(-sinLat1 - b1 * y, a1);
    double lon = 0;
    DirectionAngle(y, x, lon);
    double lat = 0;
    DirectionAngle(1, std::sqrt(x * x + y * y), lat);
    return {ToSingle(lon), ToSingle(lat)};
}

void ConvertPoleFrame(float& lon, float& lat, float& frameLon, float& frameLat, float poleLon, float poleLat,
                      int16_t mode) {
    // Every sine and cosine in double: the float overloads would lose digits the stored floats
    // still carry.
    const double sinP = std::sin(double(poleLat));
    const double cosP = std::cos(double(poleLat));
    if (mode == 1) {
        const double dLon = double(lon) - double(poleLon);
        const double sinLat = std::sin(double(lat)), cosLat = std::cos(double(lat));
        const float b = ToSingle(ArcSin(sinLat * sinP + cosLat * cosP * std::cos(dLon)));
        const double cosB = std::cos(double(b));
        const double n = checkedDivide(sinLat * cosP - cosLat * sinP * std::cos(dLon), cosB);
        const double d = checkedDivide(cosLat * std::sin(dLon), cosB);
        double l = 0;
        DirectionAngle(n, d, l);
        frameLat = b;
        frameLon = ToSingle(l);
    } else if (mode == 2) {
        const double l = frameLon;
        const double sinB = std::sin(double(frameLat)), cosB = std::cos(double(frameLat));
        const float dec = ToSingle(ArcSin(sinB * sinP + cosB * cosP * std::sin(l)));
        const double cosDec = std::cos(double(dec));
        const double n = checkedDivide(cosB * std::cos(l), cosDec);
        const double d = checkedDivide(sinB * cosP - cosB * sinP * std::sin(l), cosDec);
        double turn = 0;
        DirectionAngle(n, d, turn);
        lat = dec;
        lon = ToSingle(NormalizeToRadians((poleLon + turn) * DegPerRad));
    } else {
        throw VorlanError(InvalidArgument, QStringLiteral("Недопустимый вызов процедуры"));
    }
}

} // namespace vorlan
