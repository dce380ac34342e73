#pragma once

// A photograph of a real patch of sky for the solving tests and the benchmark: the Tycho-2 stars
// of the installed astrometry.net index files (listed by astrometry.net's own query-starkd)
// drawn through a known TAN projection (sky/skyfield.h), as Gaussian stars on a noisy sky, with
// the star list a detection would hand over.

#include "sky/platesolver.h"
#include "sky/skyfield.h"
#include "stars/starlist.h"
#include "support/linearsky.h"
#include "support/skyframes.h"

#include <QProcess>
#include <QRandomGenerator>
#include <algorithm>

namespace vorlan::test {

/// A catalogue star, degrees and visual magnitude.
struct IndexStar {
    double ra, dec, mag;
};

/// The stars within radiusDeg of (raDeg, decDeg) as query-starkd lists them from the installed
/// index file that holds the most of them there: the one of the smallest quadrangles, nearest to
/// what a photograph shows.
inline QVector<IndexStar> catalogueStars(double raDeg, double decDeg, double radiusDeg) {
    QVector<IndexStar> best;
    for (const QString& index : AstrometryIndexFiles()) {
        QProcess query;
        query.start("query-starkd",
                    {"-r", QString::number(raDeg, 'f', 6), "-d", QString::number(decDeg, 'f', 6), "-R",
                     QString::number(radiusDeg, 'f', 6), "-T", index});
        query.waitForFinished(30000);
        QVector<IndexStar> stars;
        // "# RA, Dec, MAG_VT" then one "ra, dec, mag" line a star.
        for (const QByteArray& line : query.readAllStandardOutput().split('\n')) {
            const QList<QByteArray> f = line.split(',');
            if (f.size() == 3 && !line.startsWith('#'))
                stars << IndexStar{f[0].toDouble(), f[1].toDouble(), f[2].toDouble()};
        }
        if (stars.size() > best.size()) best = stars;
    }
    return best;
}

/// Adds a star of Gaussian profile (sigma pixels) with its peak (counts) at (x, y), continuous
/// picture pixels, to picture; values are clipped at 65535.
inline void drawStar(LinearData& picture, double x, double y, double peak, double sigma) {
    const int w = picture.width, h = picture.height;
    for (int py = std::max(0, int(y - 5 * sigma)); py <= std::min(h - 1, int(y + 5 * sigma)); ++py)
        for (int px = std::max(0, int(x - 5 * sigma)); px <= std::min(w - 1, int(x + 5 * sigma)); ++px) {
            // Pixel (px, py) has its centre at (px + 0.5, py + 0.5).
            const double dx = px + 0.5 - x, dy = py + 0.5 - y;
            double& v = picture.at(px, py);
            v = std::min(65535.0, v + peak * std::exp(-(dx * dx + dy * dy) / (2 * sigma * sigma)));
        }
}

/// A sky of 1000 counts with noise of sigma 15.
inline LinearData noisySky(int w, int h, QRandomGenerator& rng) {
    LinearData sky{w, h, 1, std::vector<double>(size_t(w) * h), {}};
    for (double& v : sky.values)
        v = 1000 + 15 * gaussian(rng);
    return sky;
}

/// The list of a w x h picture's stars, brightest first, as detection hands it over.
inline StarList brightestFirst(int w, int h, QVector<Star> stars) {
    std::sort(stars.begin(), stars.end(), [](const Star& a, const Star& b) { return a.flux > b.flux; });
    return StarList{stars, w, h};
}

struct CatalogField {
    TanPicture tan;
    StarList stars;     ///< what detection would find: picture pixels, brightest first
    LinearData picture; ///< counts, row 0 at the top
};

/// tan drawn from the catalogue: sky of 1000 counts with noise of sigma 15, stars of
/// Gaussian profile (sigma 1.3 pixels) at 30000 counts of peak for magnitude 7, clipped at 65535.
/// The star list carries each centre with centroid noise of 0.1 pixel.
inline CatalogField catalogField(const TanPicture& tan, quint32 seed) {
    CatalogField field{tan, {}, {}};
    const int w = tan.widthPx, h = tan.heightPx;
    const double halfDiagonal = tan.fieldDeg * std::hypot(1.0, double(h) / w) / 2;
    const QVector<IndexStar> sky = catalogueStars(tan.ra0 / Rad, tan.dec0 / Rad, halfDiagonal * 1.05);
    QRandomGenerator rng(seed);
    field.picture = noisySky(w, h, rng);
    const double sigma = 1.3;
    QVector<Star> stars;
    for (const IndexStar& s : sky) {
        double x = 0, y = 0;
        tan.project(s.ra * Rad, s.dec * Rad, x, y);
        if (!tan.inside(x, y)) continue;
        const double peak = 30000 * std::pow(10.0, -0.4 * (s.mag - 7));
        drawStar(field.picture, x, y, peak, sigma);
        stars << Star{x + 0.1 * gaussian(rng), y + 0.1 * gaussian(rng), peak * 2 * M_PI * sigma * sigma};
    }
    field.stars = brightestFirst(w, h, stars);
    return field;
}

/// The list detection might give for a picture of noise: count random sources.
inline StarList noiseStars(int w, int h, int count, quint32 seed) {
    QRandomGenerator rng(seed);
    QVector<Star> stars;
    for (int i = 0; i < count; ++i) {
        const double x = rng.bounded(double(w)), y = rng.bounded(double(h));
        stars << Star{x, y, 100 + rng.bounded(10000.0)};
    }
    return brightestFirst(w, h, stars);
}

/// A picture of noise: the sources of noiseStars, each its flux in counts of peak, on a noisy
/// sky. Nothing of the real sky is in it.
inline LinearData noisePicture(int w, int h, int count, quint32 seed) {
    QRandomGenerator rng(seed);
    LinearData picture = noisySky(w, h, rng);
    for (const Star& s : noiseStars(w, h, count, seed).stars)
        drawStar(picture, s.x, s.y, s.flux, 1.3);
    return picture;
}

} // namespace vorlan::test
