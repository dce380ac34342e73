#pragma once

// An independent model of a photograph for the sky tests: real stars projected gnomonically
// (TAN) onto a picture of known centre, scale and rotation, north up and east left when the
// rotation is 0. Written from the textbook formulas with the full-precision π, so it shares
// nothing with the program's own spherical code.

#include <QString>
#include <QVector>
#include <cmath>

namespace vorlan::test {

inline constexpr double Rad = M_PI / 180;

struct CatalogueStar {
    const char* name;
    double raH, raM, raS;
    int sign; // of the declination
    double decD, decM, decS;

    double ra() const { return (raH + raM / 60 + raS / 3600) * 15 * Rad; }
    double dec() const { return sign * (decD + decM / 60 + decS / 3600) * Rad; }
};

// J2000 positions.
inline const QVector<CatalogueStar> Pleiades = {
    {"Alcyone", 3, 47, 29.08, +1, 24, 6, 18.5},   {"Electra", 3, 44, 52.54, +1, 24, 6, 48.0},
    {"Atlas", 3, 49, 9.74, +1, 24, 3, 12.3},      {"Maia", 3, 45, 49.61, +1, 24, 22, 3.9},
    {"Merope", 3, 46, 19.57, +1, 23, 56, 54.1},   {"Taygeta", 3, 45, 12.50, +1, 24, 28, 2.2},
    {"Celaeno", 3, 44, 48.22, +1, 24, 17, 22.1},  {"Pleione", 3, 49, 11.22, +1, 24, 8, 12.2},
    {"Asterope", 3, 45, 54.48, +1, 24, 33, 16.2},
};

inline const QVector<CatalogueStar> OrionBelt = {
    {"Mintaka", 5, 32, 0.40, -1, 0, 17, 56.7},  {"Alnilam", 5, 36, 12.81, -1, 1, 12, 6.9},
    {"Alnitak", 5, 40, 45.53, -1, 1, 56, 33.3}, {"Sigma Ori", 5, 38, 44.77, -1, 2, 36, 0.3},
    {"Meissa", 5, 35, 8.28, +1, 9, 56, 3.0},    {"Eta Ori", 5, 24, 28.62, -1, 2, 23, 49.7},
};

inline const QVector<CatalogueStar> LittleDipper = {
    {"Kochab", 14, 50, 42.33, +1, 74, 9, 19.8},
    {"Pherkad", 15, 20, 43.72, +1, 71, 50, 2.5},
    {"11 UMi", 15, 17, 5.89, +1, 71, 49, 26.0},
    {"5 UMi", 14, 27, 31.50, +1, 75, 41, 45.9},
};

// A field round the north celestial pole with a mark exactly on it.
inline const QVector<CatalogueStar> PoleField = {
    {"Pole", 0, 0, 0, +1, 90, 0, 0},
    {"Polaris", 2, 31, 49.09, +1, 89, 15, 50.8},
    {"Lambda UMi", 17, 16, 56.4, +1, 89, 2, 15.7},
    {"2 UMi", 1, 8, 44.9, +1, 86, 15, 25.0},
    {"Delta UMi", 17, 32, 13.0, +1, 86, 35, 11.3},
};

/// A synthetic photograph: widthPx x heightPx pixels, the tangent point at its centre.
struct TanPicture {
    double ra0, dec0;   ///< tangent point, radians
    double fieldDeg;    ///< width of the field in degrees (at the tangent point)
    double rotationDeg; ///< north turned counter-clockwise from the picture's up
    int widthPx = 800;
    int heightPx = 600;

    /// Picture pixel (x right, y down) of a sky position.
    void project(double ra, double dec, double& x, double& y) const {
        const double cosc =
            std::sin(dec0) * std::sin(dec) + std::cos(dec0) * std::cos(dec) * std::cos(ra - ra0);
        const double xi = std::cos(dec) * std::sin(ra - ra0) / cosc; // east
        const double eta =
            (std::cos(dec0) * std::sin(dec) - std::sin(dec0) * std::cos(dec) * std::cos(ra - ra0)) /
            cosc; // north
        const double pxPerUnit = widthPx / (2 * std::tan(fieldDeg * Rad / 2));
        const double t = rotationDeg * Rad;
        // East to the left: the picture's right is -xi; then turn counter-clockwise by t.
        const double right = -xi * std::cos(t) - eta * std::sin(t);
        const double up = -xi * std::sin(t) + eta * std::cos(t);
        x = widthPx / 2.0 + right * pxPerUnit;
        y = heightPx / 2.0 - up * pxPerUnit;
    }
    /// Sky position of a picture pixel (the inverse of project).
    void skyAt(double x, double y, double& ra, double& dec) const {
        const double pxPerUnit = widthPx / (2 * std::tan(fieldDeg * Rad / 2));
        const double right = (x - widthPx / 2.0) / pxPerUnit;
        const double up = (heightPx / 2.0 - y) / pxPerUnit;
        const double t = rotationDeg * Rad;
        const double xi = -(right * std::cos(t) + up * std::sin(t));
        const double eta = -right * std::sin(t) + up * std::cos(t);
        const double below = std::cos(dec0) - eta * std::sin(dec0);
        ra = ra0 + std::atan2(xi, below);
        dec = std::atan2((std::sin(dec0) + eta * std::cos(dec0)) * std::cos(ra - ra0), below);
    }
    bool inside(double x, double y) const { return x >= 0 && y >= 0 && x < widthPx && y < heightPx; }
};

/// Great-circle distance in arc-minutes, full precision.
inline double arcMinutesBetween(double ra1, double dec1, double ra2, double dec2) {
    const double c = std::sin(dec1) * std::sin(dec2) + std::cos(dec1) * std::cos(dec2) * std::cos(ra1 - ra2);
    const double s =
        std::hypot(std::cos(dec2) * std::sin(ra1 - ra2),
                   std::cos(dec1) * std::sin(dec2) - std::sin(dec1) * std::cos(dec2) * std::cos(ra1 - ra2));
    return std::atan2(s, c) / Rad * 60;
}

} // namespace vorlan::test
