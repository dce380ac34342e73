#include "sky/wcsregistration.h"

#include "stars/starmatch.h"

#include <QRectF>
#include <QVector>
#include <cmath>

namespace vorlan {

namespace {

/// Residuals of the pairs under t: root mean square and largest, pixels.
std::pair<double, double> residuals(const SimilarityTransform& t, const QVector<QPointF>& from,
                                    const QVector<QPointF>& to) {
    double sum = 0, largest = 0;
    for (qsizetype i = 0; i < from.size(); ++i) {
        const QPointF d = t.map(from[i]) - to[i];
        const double r2 = d.x() * d.x() + d.y() * d.y();
        sum += r2;
        largest = std::max(largest, std::sqrt(r2));
    }
    return {std::sqrt(sum / double(std::max<qsizetype>(1, from.size()))), largest};
}

} // namespace

Outcome<WcsRegistration> RegistrationFromWcs(const SkyWcs& wcs1, const SkyWcs& wcs2, int grid) {
    if (!wcs1.isValid() || !wcs2.isValid() || wcs1.width() <= 0 || wcs1.height() <= 0 || wcs2.width() <= 0 ||
        wcs2.height() <= 0)
        return Failure{
            InvalidArgument,
            QStringLiteral("Для совмещения по координатам у обоих снимков должна быть система координат.")};
    WcsRegistration r;
    grid = std::max(grid, 2);
    const QRectF picture1(0, 0, wcs1.width(), wcs1.height());
    QVector<QPointF> from, to;
    for (int j = 0; j < grid; ++j)
        for (int i = 0; i < grid; ++i) {
            // Cell centres, so the grid keeps half a cell off the edges.
            const QPointF p2((i + 0.5) * wcs2.width() / grid, (j + 0.5) * wcs2.height() / grid);
            const std::optional<SkyCoord> sky = wcs2.pictureToSky(p2);
            if (!sky) continue;
            const std::optional<QPointF> p1 = wcs1.skyToPicture(*sky);
            if (!p1 || !picture1.contains(*p1)) continue;
            from << p2;
            to << *p1;
        }
    r.points = int(from.size());
    if (r.points < 3) return Failure{InvalidValue, QStringLiteral("Снимки 1 и 2 не перекрываются на небе.")};
    // The handedness is the one that fits: a mirrored pair leaves a residual of the field's size.
    double best = INFINITY;
    for (bool mirrored : {false, true}) {
        const SimilarityTransform t = fitSimilarity(from, to, mirrored);
        const auto [rms, largest] = residuals(t, from, to);
        if (rms < best) {
            best = rms;
            r.transform = t;
            r.rmsPixels = rms;
            r.maxPixels = largest;
        }
    }
    return r;
}

std::optional<SimilarityTransform> wcsGuess(const SkyWcs* wcs1, const SkyWcs& wcs2) {
    if (!wcs1) return std::nullopt;
    const Outcome<WcsRegistration> r = RegistrationFromWcs(*wcs1, wcs2);
    if (!r.ok() || r.value().rmsPixels >= 1) return std::nullopt;
    return r.value().transform;
}

} // namespace vorlan
