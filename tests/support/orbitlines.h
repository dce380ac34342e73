#pragma once

// Orbit file lines as the Minor Planet Center writes them, for tests and benchmarks: MPCORB's
// header and minor planet lines with varied elements, and CometEls lines.

#include <QByteArray>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace vorlan::test {

/// The opening of MPCORB.DAT: prose, then the column heading and the line of dashes.
inline QByteArray mpcorbHeader() {
    return "MINOR PLANET CENTER ORBIT DATABASE (MPCORB)\n\nThis file contains published orbital elements.\n\n"
           "Des'n     H     G   Epoch     M        Peri.      Node       Incl.       e            n           a"
           "        Reference #Obs #Opp    Arc    rms  Perts   Computer\n\n"
           "----------------------------------------------------------------------------------------------------"
           "-------------------------------------------------------------------------------------------------\n";
}

/// An MPCORB line of the given packed designation and elements (degrees, AU, epoch packed).
inline QByteArray mpcorbLine(const char* packed, double h, double meanAnomaly, double perihelion, double node,
                             double inclination, double e, double a, const char* epoch = "K263F", char u = '0') {
    char line[256];
    const double n = 0.9856076686 / (a * std::sqrt(a));
    std::snprintf(line, sizeof line,
                  "%-7s %5.2f  0.15 %s %9.5f  %9.5f  %9.5f  %9.5f  %9.7f %11.8f %11.7f  %c MPO123456  1234  "
                  "12 1990-2025 0.52 M-v 3Ek MPCLINUX   0000      (%s)                   20250101\n",
                  packed, h, epoch, meanAnomaly, perihelion, node, inclination, e, n, a, u, packed);
    return line;
}

/// The i-th of a generated population of main-belt minor planets, numbered i + 1.
inline QByteArray generatedMpcorbLine(int i) {
    char packed[8];
    std::snprintf(packed, sizeof packed, "%05d", (i + 1) % 100000);
    const unsigned k = unsigned(i) * 2654435761u;
    return mpcorbLine(packed, 12 + (k % 1000) / 100.0, (k % 36000) / 100.0, ((k >> 7) % 36000) / 100.0,
                      ((k >> 11) % 36000) / 100.0, ((k >> 3) % 3000) / 100.0, ((k >> 5) % 3000) / 10000.0,
                      2.1 + ((k >> 9) % 1300) / 1000.0);
}

/// A CometEls line: packed designation (type and 7 characters, or number and type), perihelion date
/// (TT), q (AU), e, angles (degrees), H and K.
inline QByteArray cometLine(const char* packed, int year, int month, double day, double q, double e,
                            double perihelion, double node, double inclination, double h = 10, double k = 4) {
    char line[256];
    char field[16];
    // A numbered comet stands in columns 1-5, a provisional one (with its type) in 5-12.
    std::snprintf(field, sizeof field, std::strlen(packed) == 5 ? "%-12s" : "%12s", packed);
    std::snprintf(line, sizeof line,
                  "%s  %4d %02d %7.4f %9.6f  %8.6f  %8.4f  %8.4f  %8.4f  20260101  %4.1f %4.1f  %-56sMPC 00000\n",
                  field, year, month, day, q, e, perihelion, node, inclination, h, k, packed);
    return line;
}

} // namespace vorlan::test
