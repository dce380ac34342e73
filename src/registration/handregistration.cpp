#include "registration/handregistration.h"

#include "stars/starmatch.h"
#include "view/twips.h"

#include <QVector>
#include <cmath>

namespace vorlan {

std::optional<SimilarityTransform> transformFromPoints(QPointF kPoint1, QPointF kPoint2, QPointF onePoint1,
                                                       QPointF onePoint2) {
    if (kPoint1 == kPoint2 || onePoint1 == onePoint2) return std::nullopt;
    return fitSimilarity({toPixels(kPoint1), toPixels(kPoint2)}, {toPixels(onePoint1), toPixels(onePoint2)},
                         false);
}

SimilarityTransform refineTransform(const StarList& reference, const StarList& other,
                                    const SimilarityTransform& guess) {
    // The brightest stars only: they are few enough to pair by a plain search and sharp enough
    // to fit to.
    constexpr int Brightest = 300;
    QVector<QPointF> ones;
    for (const Star& s : reference.stars)
        if (s.usable() && ones.size() < Brightest) ones.push_back(s.position());
    SimilarityTransform t = guess;
    for (double radius : {8.0, 3.0, 1.5}) {
        QVector<QPointF> from, to;
        int taken = 0;
        for (const Star& s : other.stars) {
            if (!s.usable() || taken++ >= Brightest) continue;
            const QPointF p = t.map(s.position());
            const QPointF* best = nullptr;
            double bestD = radius;
            for (const QPointF& q : ones) {
                const double d = std::hypot(q.x() - p.x(), q.y() - p.y());
                if (d < bestD) {
                    bestD = d;
                    best = &q;
                }
            }
            if (best) {
                from.push_back(s.position());
                to.push_back(*best);
            }
        }
        if (from.size() < 6) return t;
        t = fitSimilarity(from, to, guess.mirrored);
    }
    return t;
}

} // namespace vorlan
