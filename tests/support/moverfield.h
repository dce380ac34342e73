#pragma once

// A field of the sky taken two or three times with moving objects in it, for the moving-object
// search's tests and benchmark: about 2000 stars over a 6000 x 4000 picture with real noise
// (support/starsky.h draws each star only in a small window round it), the later pictures shifted
// and turned against picture 1, and ten objects of known brightness and motion.

#include "stars/movingsearch.h"
#include "support/starsky.h"

#include <QPointF>
#include <QVector>
#include <cmath>

namespace vorlan::test {

/// An object that moves by step (picture 1's pixels) from each picture to the next.
struct MovingObject {
    QPointF at;          ///< in picture 1, picture 1's pixels
    QPointF step;        ///< per picture, picture 1's pixels
    double peakSnr = 10; ///< height of its profile over the sky, in noise sigmas
    QPointF in(int picture) const { return at + step * picture; }
};

struct MoverField {
    QVector<SkyPicture> pictures;
    QVector<SimilarityTransform> toPicture1; ///< picture k's pixels -> picture 1's
    QVector<double> hours;                   ///< each picture's mid-exposure time
    QVector<MovingObject> objects;
    QVector<SkyStar> sky; ///< the stars, picture 1's pixels
    double noise = 4;     ///< of the sky, grey levels
};

/// count pictures (1 to 3) of the same field, taken a quarter of an hour apart: stars with FWHM
/// fwhm, and ten objects with peak signal-to-noise from 5 to 50 (evenly on a logarithmic scale)
/// moving 4 to 50 pixels from one picture to the next in all directions, none near a star or the
/// edges of the overlap. The sensor has 30 hot pixels, and a satellite crosses picture 2. Each
/// further picture is turned by turn degrees more, and mirrored when asked.
inline MoverField moverField(int count, quint32 seed = 2, int width = 6000, int height = 4000,
                             double fwhm = 1.6, int stars = 2000, double turn = 0.2, bool mirrored = false) {
    MoverField f;
    f.sky = randomSky(QRectF(0, 0, width, height), stars, seed, 12, 230);
    QRandomGenerator rng(seed + 100);
    for (int i = 0; i < 10; ++i) {
        MovingObject o;
        o.peakSnr = 5 * std::pow(10.0, i / 9.0);
        const double length = 4 + 46 * i / 9.0, angle = rng.bounded(2 * M_PI);
        const double margin = std::min(300.0, std::min(width, height) / 5.0);
        o.step = QPointF(length * std::sin(angle), -length * std::cos(angle));
        // Away from the edges and from every star, at every place it takes.
        for (bool clear = false; !clear;) {
            o.at =
                QPointF(margin + rng.bounded(width - 2 * margin), margin + rng.bounded(height - 2 * margin));
            clear = true;
            for (const SkyStar& s : f.sky)
                for (int k = 0; k < 3 && clear; ++k)
                    clear = std::hypot(s.x - o.in(k).x(), s.y - o.in(k).y()) > 8;
        }
        f.objects.push_back(o);
    }
    for (int k = 0; k < count; ++k) {
        const SimilarityTransform toPicture1 =
            k == 0 ? SimilarityTransform()
                   : skyTransform(QSizeF(width, height), QSizeF(width, height), turn * k, 1.0, mirrored,
                                  QPointF(23.37 * k, -41.71 * k));
        QVector<SkyStar> shown = f.sky;
        for (const MovingObject& o : f.objects)
            shown.push_back({o.in(k).x(), o.in(k).y(), o.peakSnr * f.noise});
        f.pictures.push_back(viewSky(shown, QSize(width, height), toPicture1, seed * 10 + k,
                                     {.fwhm = fwhm, .noise = f.noise, .hotPixels = 30, .trail = k == 1}));
        f.toPicture1.push_back(toPicture1);
        f.hours.push_back(0.25 * k);
    }
    return f;
}

/// The first count pictures of a field as the search takes them: their sources found as the
/// window finds them, placed on picture 1 by the transforms they were made with, and timed.
inline QVector<SearchPicture> searchPictures(const MoverField& field, int count) {
    QVector<SearchPicture> pictures;
    for (int k = 0; k < count; ++k) {
        const QImage& picture = field.pictures[k].image;
        pictures << SearchPicture{.stars = detectForMovingSearch(picture),
                                  .toPicture1 = field.toPicture1[k],
                                  .picture = picture,
                                  .hours = field.hours[k]};
    }
    return pictures;
}

} // namespace vorlan::test
