#pragma once

// Two nights of one field for the matched-brightness tests: a background of 30 with a fixed grain
// of +-6 and Gaussian stars, seen shifted and through a straight line per channel (another
// exposure, another sky), clipped to 0..255.

#include "view/tonemap.h"

#include <QImage>
#include <QPoint>
#include <QVector>
#include <algorithm>
#include <array>
#include <cmath>

namespace vorlan::test {

struct NightStar {
    QPointF at;              ///< sky pixels
    double amplitude, sigma; ///< grey levels above the background, pixels
};

/// The sky with `stars` as a grey (or colour) picture of `size`: pixel p shows sky pixel p - shift,
/// each channel (red, green, blue) through its line.
inline QImage nightPicture(QSize size, QPoint shift, const QVector<NightStar>& stars,
                           const std::array<ToneLine, 3>& lines = {}, bool grey = true) {
    QImage img(size, grey ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
    auto level = [](double v) { return int(std::clamp(std::lround(v), 0L, 255L)); };
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x) {
            const int sx = x - shift.x(), sy = y - shift.y();
            double v = 30 + int(((quint32(sx) * 2654435761u ^ quint32(sy) * 40503u) >> 7) % 13) - 6;
            for (const NightStar& s : stars) {
                const double d2 = (sx - s.at.x()) * (sx - s.at.x()) + (sy - s.at.y()) * (sy - s.at.y());
                v += s.amplitude * std::exp(-d2 / (2 * s.sigma * s.sigma));
            }
            if (grey)
                img.scanLine(y)[x] = uchar(level(lines[0].at(v)));
            else
                reinterpret_cast<QRgb*>(img.scanLine(y))[x] =
                    qRgb(level(lines[0].at(v)), level(lines[1].at(v)), level(lines[2].at(v)));
        }
    return img;
}

} // namespace vorlan::test
