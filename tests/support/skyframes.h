#pragma once

// Frames as the blink shows them, for the GIF tests and the benchmark: a night sky with a
// light-pollution gradient, sensor noise (brightness and, in colour, some of each channel's own)
// and stars of several tints; and its partner from a second exposure.

#include "view/picturerows.h"

#include <QImage>
#include <QRandomGenerator>
#include <algorithm>
#include <cmath>

namespace vorlan::test {

inline double gaussian(QRandomGenerator& rng) {
    const double u1 = 1.0 - rng.generateDouble(), u2 = rng.generateDouble();
    return std::sqrt(-2 * std::log(u1)) * std::cos(2 * M_PI * u2);
}

/// Adds a Gaussian spot of the given colour and radius (sigma, pixels) at (cx, cy).
inline void addSpot(QImage& img, double cx, double cy, double radius, QRgb tint) {
    for (int y = std::max(0, int(cy - 3 * radius)); y <= std::min(img.height() - 1, int(cy + 3 * radius));
         ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = std::max(0, int(cx - 3 * radius)); x <= std::min(img.width() - 1, int(cx + 3 * radius));
             ++x) {
            const double f = std::exp(-((x - cx) * (x - cx) + (y - cy) * (y - cy)) / (2 * radius * radius));
            auto add = [f](int v, int t) { return std::min(255, v + int(f * t)); };
            line[x] = qRgb(add(qRed(line[x]), qRed(tint)), add(qGreen(line[x]), qGreen(tint)),
                           add(qBlue(line[x]), qBlue(tint)));
        }
    }
}

/// The sky of one exposure, RGB32, one star per 2000 pixels; grey (red = green = blue everywhere)
/// unless colour. The stars are the same for every noiseSeed.
inline QImage skyFrame(int w, int h, bool colour, quint32 noiseSeed = 1) {
    QImage img(w, h, QImage::Format_RGB32);
    QRandomGenerator noise(noiseSeed), rng(7);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const double level = 22 + 18.0 * (x + y) / (w + h) + 5 * gaussian(noise);
            auto channel = [&](double tint) {
                return std::clamp(int(std::lround(level + tint + (colour ? 2.5 * gaussian(noise) : 0.0))), 0,
                                  255);
            };
            const int red = channel(3), green = channel(0); // one noise draw after another, in order
            line[x] = colour ? qRgb(red, green, channel(-4)) : greyColour(uchar(green));
        }
    }
    static const QRgb tints[] = {qRgb(255, 255, 255), qRgb(255, 200, 140), qRgb(170, 200, 255),
                                 qRgb(255, 150, 90)};
    for (int i = 0; i < w * h / 2000; ++i) {
        const QRgb tint = tints[colour ? rng.bounded(4) : 0];
        const double scale = 0.2 + 0.8 * rng.generateDouble();
        addSpot(img, rng.bounded(double(w)), rng.bounded(double(h)), 0.8 + 2 * rng.generateDouble(),
                qRgb(int(qRed(tint) * scale), int(qGreen(tint) * scale), int(qBlue(tint) * scale)));
    }
    return img;
}

/// The second exposure of skyFrame(w, h, colour): the same stars, the upper half the same pixels,
/// the lower half other noise, and an object of one pixel radius at (x, y) that was not there.
inline QImage partnerFrame(const QImage& frame, bool colour, double x, double y) {
    QImage img = skyFrame(frame.width(), frame.height(), colour, 2);
    for (int row = 0; row < frame.height() / 2; ++row)
        std::copy_n(frame.constScanLine(row), frame.bytesPerLine(), img.scanLine(row));
    addSpot(img, x, y, 1.0, qRgb(150, 150, 150));
    return img;
}

} // namespace vorlan::test
