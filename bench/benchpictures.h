#pragma once

// What the window benchmarks share: 6000 x 4000 sky photo stand-ins to decode, and letting the
// window repaint.

#include "support/fixture.h"

#include <QCoreApplication>
#include <QImage>
#include <QRandomGenerator>
#include <algorithm>

namespace vorlan::test {

constexpr int PicW = 6000;
constexpr int PicH = 4000;

/// A sky photo stand-in: sensor noise over a few thousand stars, so the JPEG decoder has real
/// detail to work through instead of flat black blocks.
inline QImage noisyStarField(quint32 seed) {
    QRandomGenerator rng(seed);
    QVector<Star> stars;
    for (int i = 0; i < 3000; ++i)
        stars.push_back({rng.bounded(double(PicW)), rng.bounded(double(PicH)), 1.5 + rng.bounded(5.0),
                         80 + int(rng.bounded(176))});
    QImage img = starField(PicW, PicH, stars);
    for (int y = 0; y < PicH; ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < PicW; ++x) {
            const int n = int(rng.generate() & 31);
            const QRgb c = line[x];
            line[x] =
                qRgb(std::min(255, qRed(c) + n), std::min(255, qGreen(c) + n), std::min(255, qBlue(c) + n));
        }
    }
    return img;
}

/// Lets the window handle what is pending, its repaint included.
inline void settle() {
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

} // namespace vorlan::test
