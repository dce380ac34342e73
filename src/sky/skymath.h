#pragma once

// Angle helpers shared by the plate solution, the cursor readout, the rotation alignment and
// the photometry window. Angles are radians. The constants are the program's own decimal values,
// not the full-precision ones: results must round the way they always have, so that positions
// saved in older project files and typed by users come out the same.

#include <cstdint>

namespace vorlan {

namespace sky {
/// π as the program has always written it (15 digits, slightly below the double π).
inline constexpr double Pi = 3.14159265358979;
/// π/2 of ArcSin, AngularDistance and the plate solution.
inline constexpr double HalfPi = Pi / 2;
/// π/2 of ArcCos: a separate, shorter literal.
inline constexpr double ArcCosHalfPi = 1.570796326795;
inline constexpr double ThreeHalfPi = 4.712388980384685;
inline constexpr double TwoPi = 6.28318530717958;
/// Degrees per radian.
inline constexpr double DegPerRad = 57.2957795130823;
} // namespace sky

/// Rounds a 64-bit value into a 32-bit float, throwing Overflow when it does not fit (or is not a
/// number), as every store into a float field of the program must.
float ToSingle(double v);

/// Direction of the plane vector (x, y) in radians, in [0, 2π), counted counter-clockwise from
/// +x. For x = y = 0 the output keeps whatever it held (callers multiply it by a zero length).
void DirectionAngle(double y, double x, double& angle);

/// Degrees in, radians out, wrapped into [0°, 360°] first.
double NormalizeToRadians(double degrees);

/// Arc sine in radians; arguments at or beyond ±1 give ±π/2 instead of failing.
double ArcSin(double x);

/// Arc cosine in radians; arguments at or beyond ±1 give 0 or π instead of failing.
double ArcCos(double x);

/// Angular distance in radians between two sky positions (radians). Identical positions give a
/// tiny value of about -4.4E-8, not 0: the cosine is held in a float before the arc sine.
float AngularDistance(float lonA, float lonB, float latA, float latB);

/// A sky position or a position in a rotated frame, radians.
struct SkyPoint {
    float lon = 0;
    float lat = 0;
};

/// The pole (with positive z) of the great circle through two sky positions, radians. Throws
/// VorlanError when the construction divides by zero: a star at a celestial pole (a float
/// latitude of ±90° or beyond), a star with cos δ·cos α exactly 0, two identical positions.
SkyPoint GreatCirclePole(float lon1, float lat1, float lon2, float lat2);

/// Rotation between the sky and the frame whose pole is (poleLon, poleLat), radians.
/// mode 1: reads (lon, lat) on the sky and writes (frameLon, frameLat);
/// mode 2: reads (frameLon, frameLat) and writes (lon, lat), right ascension in [0, 2π].
/// In the frame the celestial north pole lies at frameLon = π/2. Throws VorlanError when a
/// position sits exactly at a pole of the frame or of the sky.
void ConvertPoleFrame(float& lon, float& lat, float& frameLon, float& frameLat, float poleLon, float poleLat,
                      int16_t mode);

} // namespace vorlan
