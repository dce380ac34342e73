#pragma once

// A series of frames of one field as a night's run gives it, for the series tests and benchmark:
// every frame drifted and turned a little against the first, with sensor noise, stars, moving
// objects and the defects a run collects, written as 16-bit FITS files with their times.

#include "stars/similaritytransform.h"
#include "support/linearsky.h"
#include "support/wcsheader.h"

#include <QDateTime>
#include <QDir>
#include <QRandomGenerator>
#include <QVector>

namespace vorlan::test {

struct SeriesScene {
    int width = 1000, height = 750, frames = 30;
    int stars = 400;
    double background = 1000, sigma = 20, psfSigma = 0.7; ///< counts; pixels
    double turnDegrees = 0.2;                             ///< each frame against the one before
    struct Mover {
        QPointF start;        ///< frame 1's pixels at the first frame
        QPointF step;         ///< pixels a frame
        double peakSnr = 3.5; ///< its peak over the noise sigma in one frame
    };
    QVector<Mover> movers;
    QDateTime start = QDateTime(QDate(2026, 3, 1), QTime(21, 0), Qt::UTC);
    int cadenceSeconds = 60;
    double exposureSeconds = 50;
    quint32 seed = 7;
    /// Frames changed after drawing: a trail across frame trailFrame, a hot pixel in hotFrame.
    int trailFrame = -1, hotFrame = -1;
    /// Sensor pixels bright in every frame (they move with the pointing, not with the sky).
    QVector<QPoint> hotPixels;
    /// Cosmic ray hits, each one to three pixels in a row, in every third frame.
    int cosmicRays = 0;
    /// Each frame's header carries a WCS that registers it as drawn (frames not turned only),
    /// fieldDegrees across its width.
    bool withWcs = false;
    double fieldDegrees = 0.5;
    double centreRa = 1.0, centreDec = 0.5; ///< radians: where the WCS puts the frame's centre
};

/// A scene smaller than the default, where size does not change what is tested.
inline SeriesScene smallerScene(int width, int height, int frames, int stars) {
    SeriesScene s;
    s.width = width;
    s.height = height;
    s.frames = frames;
    s.stars = stars;
    return s;
}

/// A short night for the deep search: 18 frames a minute apart, a sky solution of about 1.1″ a
/// pixel in every header, and one mover of per-frame peak SNR 1.2, which no frame shows but 18
/// frames added along its motion make a point of about 10 sigmas.
inline SeriesScene faintMoverScene() {
    SeriesScene s = smallerScene(320, 240, 18, 50);
    s.psfSigma = 1.4;
    s.turnDegrees = 0;
    s.withWcs = true;
    s.fieldDegrees = 0.1;
    s.movers = {{QPointF(110, 150), QPointF(1.3, -0.6), 1.2}};
    return s;
}

/// The mean mid-exposure time of frames first to last (0 the first) of scene s: a mover then
/// stands at moverAt(s, m, (first + last) / 2.0).
inline QDateTime meanFrameTime(const SeriesScene& s, int first, int last) {
    const double frame = (first + last) / 2.0;
    return s.start.addMSecs(qint64(std::llround((frame * s.cadenceSeconds + s.exposureSeconds / 2) * 1000)));
}

struct WrittenSeries {
    QStringList paths;
    QVector<SimilarityTransform> toFirst; ///< each frame's pixels -> frame 1's
};

/// Where mover m is at time frame + fraction (in frames), frame 1's pixels.
inline QPointF moverAt(const SeriesScene& s, int m, double frame) {
    return s.movers[m].start + s.movers[m].step * frame;
}

inline void addGaussian(LinearData& d, QPointF at, double amplitude, double sigma) {
    const double r = 4 * sigma;
    for (int y = std::max(0, int(at.y() - r)); y <= std::min(d.height - 1, int(at.y() + r)); ++y)
        for (int x = std::max(0, int(at.x() - r)); x <= std::min(d.width - 1, int(at.x() + r)); ++x) {
            const double dx = x + 0.5 - at.x(), dy = y + 0.5 - at.y();
            d.at(x, y) += amplitude * std::exp(-(dx * dx + dy * dy) / (2 * sigma * sigma));
        }
}

/// Draws and writes the scene's frames into dir as frame00.fits, frame01.fits, ...
inline WrittenSeries writeSeries(const SeriesScene& s, const QString& dir) {
    QRandomGenerator rng(s.seed);
    QVector<QPair<QPointF, double>> sky; // frame 1's pixels, peak counts
    for (int i = 0; i < s.stars; ++i)
        sky.push_back({QPointF(-50 + rng.bounded(s.width + 100.0), -50 + rng.bounded(s.height + 100.0)),
                       s.sigma * 8 * std::pow(30.0, rng.generateDouble())});
    WrittenSeries out;
    QPointF drift;
    const QPointF centre(s.width / 2.0, s.height / 2.0);
    for (int f = 0; f < s.frames; ++f) {
        if (f > 0) {
            const double angle = rng.bounded(2 * M_PI), length = 1 + rng.bounded(2.0);
            drift += QPointF(length * std::cos(angle), length * std::sin(angle));
        }
        const double turn = s.turnDegrees * f * M_PI / 180;
        SimilarityTransform t{std::cos(turn), std::sin(turn), 0, 0, false};
        const QPointF c = t.map(centre);
        t.tx = centre.x() - c.x() + drift.x();
        t.ty = centre.y() - c.y() + drift.y();
        out.toFirst.push_back(t);
        const SimilarityTransform back = t.inverted();
        LinearData d = linearStarField(s.width, s.height, 0, s.background, s.sigma, 65535, s.seed * 1000 + f);
        for (const auto& [at, peak] : sky)
            addGaussian(d, back.map(at), peak, s.psfSigma);
        for (int m = 0; m < s.movers.size(); ++m)
            addGaussian(d, back.map(moverAt(s, m, f)), s.movers[m].peakSnr * s.sigma, s.psfSigma);
        if (f == s.trailFrame)
            for (int x = 0; x < s.width; ++x)
                d.at(x, std::clamp(s.height / 3 + x / 4, 0, s.height - 1)) += 40 * s.sigma;
        if (f == s.hotFrame) d.at(s.width / 2, s.height / 2) = 60000;
        for (const QPoint& p : s.hotPixels)
            d.at(p.x(), p.y()) = 30000;
        for (int c = 0; f % 3 == 1 && c < s.cosmicRays; ++c) {
            const int x = 2 + int(rng.bounded(s.width - 6)), y = int(rng.bounded(s.height)), length = 1 + int(rng.bounded(3));
            for (int k = 0; k < length; ++k)
                d.at(x + k, y) += s.sigma * (30 + rng.bounded(200.0));
        }
        const QDateTime begins = s.start.addSecs(qint64(f) * s.cadenceSeconds);
        out.paths << QDir(dir).filePath(QStringLiteral("frame%1.fits").arg(f, 2, 10, QLatin1Char('0')));
        QStringList cards = {QStringLiteral("DATE-OBS= '%1'").arg(begins.toString(Qt::ISODate).chopped(1)),
                             QStringLiteral("EXPTIME = %1").arg(s.exposureSeconds)};
        if (s.withWcs) {
            // One sky point at frame 1's pixel p and this frame's p - drift; FITS rows count upwards.
            QStringList wcs = tanHeaderCards(TanPicture{s.centreRa, s.centreDec, s.fieldDegrees, 0, s.width, s.height});
            wcs[2] = QStringLiteral("CRPIX1  = %1").arg(s.width / 2.0 + 0.5 - t.tx, 0, 'f', 6);
            wcs[3] = QStringLiteral("CRPIX2  = %1").arg(s.height / 2.0 + 0.5 + t.ty, 0, 'f', 6);
            cards += wcs;
        }
        writeFitsWithCards(out.paths.back(), d, cards);
    }
    return out;
}

} // namespace vorlan::test
