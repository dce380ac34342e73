#pragma once

// Synthetic sky pictures with known truth, for the star detection and registration tests and the
// benchmark: Gaussian stars (integrated over each pixel) over a noisy background, seen by one or
// more pictures through known similarity transforms; each picture may add stars of its own, hot
// pixels at fixed sensor positions, a satellite trail, a bright galaxy, a black (clipped)
// background, or be drawn as a chart (dark stars on white).

#include "stars/starlist.h"

#include <QImage>
#include <QLineF>
#include <QRandomGenerator>
#include <QVector>
#include <algorithm>
#include <cmath>
#include <vector>

namespace vorlan::test {

/// A star of the sky, in picture 1's pixels; peak is the height of its Gaussian above the
/// background, grey levels.
struct SkyStar {
    double x, y, peak;
};

/// The transform from picture k to picture 1 for a picture turned by turnDegrees (clockwise on
/// the screen) about its centre, scaled (picture 1 pixels per picture k pixel), mirrored top to
/// bottom first, and with its centre landing at picture 1's centre + shift.
inline SimilarityTransform skyTransform(QSizeF k, QSizeF one, double turnDegrees, double scale, bool mirrored,
                                        QPointF shift) {
    SimilarityTransform t;
    t.mirrored = mirrored;
    t.a = scale * std::cos(turnDegrees * M_PI / 180);
    t.b = scale * std::sin(turnDegrees * M_PI / 180);
    const QPointF c(k.width() / 2, k.height() / 2);
    const QPointF target = QPointF(one.width() / 2, one.height() / 2) + shift;
    const QPointF mapped = t.map(c);
    t.tx = target.x() - mapped.x();
    t.ty = target.y() - mapped.y();
    return t;
}

/// count stars over region, peaks from faintest to brightest with many more faint than bright
/// ones, as star counts go.
inline QVector<SkyStar> randomSky(QRectF region, int count, quint32 seed, double faintest = 12,
                                  double brightest = 240) {
    QRandomGenerator rng(seed);
    QVector<SkyStar> sky;
    for (int i = 0; i < count; ++i) {
        const double u = rng.generateDouble();
        sky.push_back({region.left() + rng.generateDouble() * region.width(),
                       region.top() + rng.generateDouble() * region.height(),
                       faintest * std::pow(brightest / faintest, u * u)});
    }
    return sky;
}

/// How one picture shows the sky, and what else is on it.
struct SkyView {
    int width = 800, height = 600;
    SimilarityTransform toSky; ///< this picture's pixels -> picture 1's pixels
    double fwhm = 3.0;         ///< of every star, this picture's pixels
    double background = 30;    ///< grey levels
    double noise = 3;          ///< Gaussian sigma, grey levels (each channel of a colour picture)
    bool colour = false;       ///< RGB32, else Grayscale8
    bool chart = false;        ///< drawn as 255 - value: dark stars on a light ground
    double ownFraction = 0;    ///< of the stars shown, this fraction belong to this picture alone
    int hotPixels = 0;         ///< at sensor positions that are the same in every picture
    bool trail = false;        ///< a satellite trail across the picture
    double glowPeak = 0;       ///< a galaxy: a broad Gaussian glow ...
    double glowSigma = 150;    ///< ... of this sigma, pixels ...
    QPointF glowCentre;        ///< ... centred here
    quint32 seed = 1;
};

struct SkyPicture {
    QImage image;
    struct Shown {
        QPointF at;  ///< centre, this picture's pixels
        double peak; ///< grey levels above the background
        bool shared; ///< a sky star (also in the other pictures), not one of this picture's own
    };
    QVector<Shown> stars;
    QVector<QPoint> hotPixels;
    QLineF trail; ///< empty when there is none
};

/// Pixel (i, j) of the unit-free Gaussian integrated over that pixel, by rows and columns.
inline void gaussianCover(double centre, double sigma, int first, int n, std::vector<double>& out) {
    out.resize(n);
    const double s = 1 / (sigma * std::sqrt(2.0));
    for (int i = 0; i < n; ++i)
        out[i] = 0.5 * (std::erf((first + i + 1 - centre) * s) - std::erf((first + i - centre) * s));
}

/// Renders what view sees of sky.
inline SkyPicture renderSky(const QVector<SkyStar>& sky, const SkyView& view) {
    SkyPicture out;
    const int w = view.width, h = view.height;
    QRandomGenerator rng(view.seed);
    const SimilarityTransform fromSky = view.toSky.inverted();
    for (const SkyStar& s : sky) {
        const QPointF p = fromSky.map(QPointF(s.x, s.y));
        if (p.x() > -10 && p.y() > -10 && p.x() < w + 10 && p.y() < h + 10)
            out.stars.push_back({p, s.peak, true});
    }
    if (view.ownFraction > 0) {
        const int own = int(std::lround(out.stars.size() * view.ownFraction / (1 - view.ownFraction)));
        for (const SkyStar& s : randomSky(QRectF(0, 0, w, h), own, rng.generate()))
            out.stars.push_back({QPointF(s.x, s.y), s.peak, false});
    }

    std::vector<float> v(size_t(w) * h);
    const double sigma = view.fwhm / (2 * std::sqrt(2 * std::log(2.0)));
    const int reach = int(std::ceil(4 * sigma)) + 1;
    std::vector<double> gx, gy;
    for (const SkyPicture::Shown& s : out.stars) {
        const int x0 = std::max(0, int(s.at.x()) - reach), x1 = std::min(w - 1, int(s.at.x()) + reach);
        const int y0 = std::max(0, int(s.at.y()) - reach), y1 = std::min(h - 1, int(s.at.y()) + reach);
        if (x0 > x1 || y0 > y1) continue;
        gaussianCover(s.at.x(), sigma, x0, x1 - x0 + 1, gx);
        gaussianCover(s.at.y(), sigma, y0, y1 - y0 + 1, gy);
        const double volume = s.peak * 2 * M_PI * sigma * sigma;
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
                v[size_t(y) * w + x] += float(volume * gx[x - x0] * gy[y - y0]);
    }
    if (view.trail) {
        out.trail = QLineF(0, h * 0.3, w, h * 0.8);
        const QPointF d = out.trail.p2() - out.trail.p1();
        const double len = std::hypot(d.x(), d.y());
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const double dist =
                    ((x + 0.5 - out.trail.x1()) * d.y() - (y + 0.5 - out.trail.y1()) * d.x()) / len;
                if (std::abs(dist) < 4)
                    v[size_t(y) * w + x] += float(70 * std::exp(-dist * dist / (2 * 0.8 * 0.8)));
            }
    }
    if (view.glowPeak > 0)
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const double dx = x + 0.5 - view.glowCentre.x(), dy = y + 0.5 - view.glowCentre.y();
                v[size_t(y) * w + x] += float(
                    view.glowPeak * std::exp(-(dx * dx + dy * dy) / (2 * view.glowSigma * view.glowSigma)));
            }
    // Hot pixels sit where the sensor has them: the same seed for every picture.
    QRandomGenerator sensor(4711);
    for (int i = 0; i < view.hotPixels; ++i)
        out.hotPixels.push_back(QPoint(2 + sensor.bounded(w - 4), 2 + sensor.bounded(h - 4)));

    // Gaussian noise from a table, which keeps 24-megapixel pictures quick to make.
    static const std::vector<float> normal = [] {
        std::vector<float> t(4096);
        for (size_t i = 0; i < t.size(); ++i) {
            // Quantiles of the normal distribution by bisection on erf: an exact spread.
            const double p = (i + 0.5) / t.size();
            double lo = -6, hi = 6;
            for (int k = 0; k < 50; ++k) {
                const double mid = (lo + hi) / 2;
                (0.5 * (1 + std::erf(mid / std::sqrt(2.0))) < p ? lo : hi) = mid;
            }
            t[i] = float((lo + hi) / 2);
        }
        return t;
    }();
    quint64 state = rng.generate64() | 1;
    auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    const float bg = float(view.background), noise = float(view.noise);
    auto level = [&](float value, quint64 bits) {
        const float n = value + bg + noise * normal[bits & 4095];
        const int q = std::clamp(int(n + 0.5f), 0, 255); // below 0 truncates to 0 as well
        return view.chart ? 255 - q : q;
    };
    out.image = QImage(w, h, view.colour ? QImage::Format_RGB32 : QImage::Format_Grayscale8);
    for (int y = 0; y < h; ++y) {
        const float* row = &v[size_t(y) * w];
        uchar* line = out.image.scanLine(y);
        for (int x = 0; x < w; ++x) {
            const quint64 r = next();
            if (view.colour)
                reinterpret_cast<QRgb*>(line)[x] =
                    qRgb(level(row[x], r), level(row[x], r >> 12), level(row[x], r >> 24));
            else
                line[x] = uchar(level(row[x], r));
        }
    }
    for (const QPoint& p : out.hotPixels) {
        uchar* line = out.image.scanLine(p.y());
        if (view.colour)
            reinterpret_cast<QRgb*>(line)[p.x()] = qRgb(255, 255, 255);
        else
            line[p.x()] = 255;
    }
    return out;
}

/// What a picture of `size` pixels sees of sky through toSky (its pixels -> picture 1's), with its
/// own noise seed; the rest as view says.
inline SkyPicture viewSky(const QVector<SkyStar>& sky, QSize size, const SimilarityTransform& toSky, quint32 seed,
                          SkyView view = {}) {
    view.width = size.width();
    view.height = size.height();
    view.toSky = toSky;
    view.seed = seed;
    return renderSky(sky, view);
}

} // namespace vorlan::test
