#include "registration/autoregistration.h"

#include "common/jobrunner.h"
#include "common/numberforms.h"
#include "stars/stardetect.h"
#include "stars/starmatch.h"

#include <QLineF>
#include <algorithm>
#include <cmath>

namespace vorlan {

bool AutoRegistration::anyRegistered() const {
    return !stopped && std::any_of(pictures.begin(), pictures.end(),
                                   [](const RegisteredPicture& p) { return p.match.ok(); });
}

namespace {

/// Reference stars stay this far (pixels) from every picture's edge: their captions then have
/// the seven characters of a marked point, and no cut-off star is taken.
constexpr double EdgeMargin = 16;
/// The pair is chosen among this many of the brightest candidates.
constexpr int BrightestCandidates = 12;

bool inside(QPointF p, int w, int h) {
    return p.x() >= EdgeMargin && p.y() >= EdgeMargin && p.x() <= w - EdgeMargin && p.y() <= h - EdgeMargin;
}

/// A star of picture 1 and where each registered picture shows it.
struct Candidate {
    int index = 0;       ///< in picture 1's list
    int matchedIn = 0;   ///< registered pictures that matched it themselves
    QVector<QPointF> at; ///< per picture in others (unused for pictures not registered)
};

QVector<Candidate> candidates(const StarList& one, const QVector<StarList>& others,
                              const QVector<Outcome<StarMatch>>& matches, bool keepOffEdges) {
    QVector<Candidate> found;
    for (int i = 0; i < one.stars.size(); ++i) {
        const Star& s = one.stars[i];
        if (!s.usable() || (keepOffEdges && !inside(s.position(), one.width, one.height))) continue;
        Candidate c;
        c.index = i;
        c.at.resize(others.size());
        bool fits = true;
        for (int k = 0; k < others.size() && fits; ++k) {
            if (!matches[k].ok()) continue;
            const StarMatch& m = matches[k].value();
            const auto pair = std::find_if(m.pairs.begin(), m.pairs.end(),
                                           [i](const QPair<int, int>& p) { return p.first == i; });
            if (pair != m.pairs.end() && others[k].stars[pair->second].usable()) {
                c.at[k] = others[k].stars[pair->second].position();
                ++c.matchedIn;
            } else {
                c.at[k] = m.transform.inverted().map(s.position());
            }
            fits = !keepOffEdges || inside(c.at[k], others[k].width, others[k].height);
        }
        if (fits && c.matchedIn > 0) found.push_back(c);
    }
    // Stars every picture matched first, then the brightest: the list is brightest first already.
    std::stable_sort(found.begin(), found.end(),
                     [](const Candidate& a, const Candidate& b) { return a.matchedIn > b.matchedIn; });
    return found;
}

/// A registration the pictures' WCSs imply, for pictures whose stars did not match (a chart
/// against a photograph, a sparse field): the usable stars of other that t carries within 3 pixels
/// of a usable star of one are paired, so the reference stars are chosen among them. Fails when
/// fewer than two pair up.
Outcome<StarMatch> matchThroughSky(const StarList& one, const StarList& other, const SimilarityTransform& t) {
    constexpr double Reach = 3;
    StarMatch m;
    m.transform = t;
    double squares = 0;
    for (int j = 0; j < other.stars.size(); ++j) {
        if (!other.stars[j].usable()) continue;
        const QPointF p = t.map(other.stars[j].position());
        int best = -1;
        double bestD = Reach;
        for (int i = 0; i < one.stars.size(); ++i) {
            const double d = QLineF(p, one.stars[i].position()).length();
            if (d < bestD && one.stars[i].usable()) {
                bestD = d;
                best = i;
            }
        }
        if (best < 0) continue;
        m.pairs.append({best, j});
        squares += bestD * bestD;
    }
    m.matched = int(m.pairs.size());
    if (m.matched < 2)
        return Failure{InvalidValue, QStringLiteral("По координатам неба на снимках нет общих звёзд.")};
    m.rmsPixels = std::sqrt(squares / m.matched);
    return m;
}

} // namespace

ReferenceStars chooseReferenceStars(const StarList& one, const QVector<StarList>& others,
                                    const QVector<Outcome<StarMatch>>& matches) {
    ReferenceStars chosen;
    QVector<Candidate> pool = candidates(one, others, matches, true);
    if (pool.size() < 2) pool = candidates(one, others, matches, false);
    if (pool.size() < 2) return chosen;
    const int n = std::min<int>(BrightestCandidates, int(pool.size()));
    // Among the brightest, the two farthest apart; a star matched everywhere beats one that is not.
    int bestA = 0, bestB = 1;
    double best = -1;
    for (int a = 0; a < n; ++a)
        for (int b = a + 1; b < n; ++b) {
            const double d =
                QLineF(one.stars[pool[a].index].position(), one.stars[pool[b].index].position()).length();
            const int matched = std::min(pool[a].matchedIn, pool[b].matchedIn);
            const double score = matched * 1e9 + d;
            if (score > best) {
                best = score;
                bestA = a;
                bestB = b;
            }
        }
    chosen.found = true;
    const Candidate& first = pool[bestA];
    const Candidate& second = pool[bestB];
    chosen.points.push_back({one.stars[first.index].position(), one.stars[second.index].position()});
    for (int k = 0; k < others.size(); ++k)
        chosen.points.push_back({first.at[k], second.at[k]});
    return chosen;
}

AutoRegistration registerOnPicture1(const QImage& one, const QVector<QPair<int, QImage>>& others,
                                    JobControl* control,
                                    const QVector<std::optional<SimilarityTransform>>& skyGuesses) {
    AutoRegistration result;
    const int steps = 1 + 2 * int(others.size());
    int step = 0;
    auto report = [&](const QString& text) {
        if (control) control->progress(step, steps, text);
        ++step;
        if (control && control->stopRequested()) result.stopped = true;
        return !result.stopped;
    };

    if (!report(QStringLiteral("Совмещение: звёзды снимка 1"))) return result;
    const StarList stars1 = detectStars(one);
    QVector<StarList> lists;
    QVector<Outcome<StarMatch>> matches;
    for (const auto& [picture, image] : others) {
        if (!report(QStringLiteral("Совмещение: звёзды снимка %1").arg(picture))) return result;
        lists.push_back(detectStars(image));
        MatchOptions options;
        options.picture = picture;
        matches.push_back(matchStars(stars1, lists.back(), options));
        const int i = int(matches.size()) - 1;
        if (!matches.back().ok() && i < skyGuesses.size() && skyGuesses[i])
            matches.back() = matchThroughSky(stars1, lists.back(), *skyGuesses[i]);
    }

    // A stop taken inside the last detection or match leaves them unfinished.
    if (control && control->stopRequested()) {
        result.stopped = true;
        return result;
    }
    const ReferenceStars reference = chooseReferenceStars(stars1, lists, matches);
    if (reference.found) result.points = reference.points[0];
    for (int i = 0; i < others.size(); ++i) {
        RegisteredPicture r;
        r.picture = others[i].first;
        r.match = matches[i];
        if (r.match.ok() && !reference.found)
            r.match =
                Failure{InvalidValue, QStringLiteral("Не найдено двух общих звёзд вдали от краёв снимков.")};
        if (r.match.ok()) {
            r.points = reference.points[1 + i];
            if (needsTurn(r.match.value().transform)) {
                const QImage& picture = others[i].second;
                r.turn = pictureTurn(r.match.value().transform, picture.size());
                if (!report(QStringLiteral("Совмещение: поворот снимка %1").arg(r.picture))) return result;
                r.turned = turnPicture(picture, r.turn, control,
                                       QStringLiteral("Совмещение: поворот снимка %1").arg(r.picture));
                if (control && control->stopRequested()) {
                    result.stopped = true;
                    return result;
                }
                if (r.turned.isNull()) r.match = Failure{InvalidValue, turnedTooLargeReason(r.turn.size)};
            }
        }
        result.pictures.push_back(r);
    }
    return result;
}

QString registrationSummary(int picture, const StarMatch& match) {
    const SimilarityTransform& t = match.transform;
    // Shown turned by the registration's turn, clockwise on the screen; announced as the
    // rotation window announces its turns, counter-clockwise positive.
    QString line = QStringLiteral("Снимок %1: звёзд %2, поворот %3°, масштаб %4")
                       .arg(picture)
                       .arg(match.matched)
                       .arg(PatternForm(-t.turnDegrees(), QStringLiteral("0.00")),
                            PatternForm(t.scale(), QStringLiteral("0.0000")));
    if (t.mirrored) line += QStringLiteral(", зеркально");
    return line +
           QStringLiteral(", невязка %1 пикс.").arg(PatternForm(match.rmsPixels, QStringLiteral("0.000")));
}

QString registrationFailure(int picture, const Failure& failure) {
    return QStringLiteral("Снимок %1 не совмещён.\n").arg(picture) + failure.reason;
}

} // namespace vorlan
