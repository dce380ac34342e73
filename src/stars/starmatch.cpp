#include "stars/starmatch.h"

#include "common/jobrunner.h"

#include <QLocale>
#include <QRectF>
#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>
#include <vector>

namespace vorlan {

namespace {

/// How far apart the side ratios of two triangles may be and still be called alike.
constexpr double ShapeTolerance = 0.005;
/// Triangles whose sides come this close to equal are left out: which corner is which could
/// differ between the pictures.
constexpr double OrderMargin = 2 * ShapeTolerance;
/// Shortest longest side of a triangle, pixels of its picture: shorter ones turn too loosely.
constexpr double MinTriangleSide = 30;
/// Thinnest triangle (twice its area over its longest side squared): a flat one cannot tell a
/// mirror.
constexpr double MinFlatness = 0.02;
/// Bins of the vote on turn and scale.
constexpr double TurnBinDegrees = 1;
constexpr double ScaleBinLog = 0.01;
/// The proposals verified: the candidates of this many of the best voted bins...
constexpr int VotedBins = 300;
/// ... and among them the best verified, refined on every star.
constexpr int RefinedProposals = 6;
/// The evidence (Proposal::evidence) a registration needs, and that which tells of a few stars
/// in common rather than none.
constexpr double RegisteredEvidence = 2.5;
constexpr double FewEvidence = 1.5;
/// Stars that verify a proposal: the brightest usable of picture k, against the brightest of picture 1.
constexpr int VerifyingStars = 100;
constexpr int VerifyingReference = 300;

QString tooFewStarsReason(int picture, int found, int needed) {
    return QStringLiteral("На снимке %1 найдено слишком мало звёзд: %2 (нужно не меньше %3).")
        .arg(picture)
        .arg(found)
        .arg(needed);
}
QString tooFewMatchedReason(int matched, int needed) {
    return QStringLiteral("Совпало слишком мало звёзд: %1 (нужно не меньше %2).").arg(matched).arg(needed);
}
QString otherFieldReason(int picture) {
    return QStringLiteral("Снимок %1 показывает другой участок неба: общих звёзд не найдено.").arg(picture);
}
QString looseFitReason(double rms) {
    return QStringLiteral("Звёзды совпадают неточно: остаток %1 пикселя.")
        .arg(QLocale().toString(rms, 'f', 1));
}

std::vector<int> usableStars(const StarList& list) {
    std::vector<int> idx;
    for (int i = 0; i < int(list.stars.size()); ++i)
        if (list.stars[i].usable()) idx.push_back(i);
    return idx;
}

struct Triangle {
    double u = 0, v = 0;  ///< shortest / longest side and middle / longest side
    std::array<int, 3> p; ///< star indices: the corners opposite the shortest, middle, longest side
    double longest = 0;   ///< pixels
    bool clockwise = false;
};

/// Every usable triangle of the first n stars of idx.
std::vector<Triangle> trianglesOf(const StarList& list, const std::vector<int>& idx, int n) {
    std::vector<Triangle> out;
    n = std::min<int>(n, int(idx.size()));
    std::vector<double> dist(size_t(n) * n);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            const QPointF d = list.stars[idx[i]].position() - list.stars[idx[j]].position();
            dist[size_t(i) * n + j] = std::sqrt(d.x() * d.x() + d.y() * d.y());
        }
    for (int i = 0; i < n; ++i)
        for (int j = i + 1; j < n; ++j)
            for (int k = j + 1; k < n; ++k) {
                // Each side with the corner opposite it.
                std::array<std::pair<double, int>, 3> sides = {std::pair{dist[size_t(j) * n + k], idx[i]},
                                                               std::pair{dist[size_t(i) * n + k], idx[j]},
                                                               std::pair{dist[size_t(i) * n + j], idx[k]}};
                std::sort(sides.begin(), sides.end());
                const double longest = sides[2].first;
                if (longest < MinTriangleSide) continue;
                Triangle t;
                t.u = sides[0].first / longest;
                t.v = sides[1].first / longest;
                if (t.v - t.u < OrderMargin || 1 - t.v < OrderMargin) continue;
                t.p = {sides[0].second, sides[1].second, sides[2].second};
                const QPointF p0 = list.stars[t.p[0]].position(), p1 = list.stars[t.p[1]].position(),
                              p2 = list.stars[t.p[2]].position();
                const double cross =
                    (p1.x() - p0.x()) * (p2.y() - p0.y()) - (p1.y() - p0.y()) * (p2.x() - p0.x());
                if (std::abs(cross) < MinFlatness * longest * longest) continue;
                t.clockwise = cross > 0;
                t.longest = longest;
                out.push_back(t);
            }
    return out;
}

/// Points in a grid of square cells, for the nearest point within a radius.
class PointGrid {
  public:
    PointGrid(const std::vector<QPointF>& points, double cell) : m_points(points) {
        if (points.empty()) return;
        double x0 = points[0].x(), y0 = points[0].y(), x1 = x0, y1 = y0;
        for (const QPointF& p : points) {
            x0 = std::min(x0, p.x());
            y0 = std::min(y0, p.y());
            x1 = std::max(x1, p.x());
            y1 = std::max(y1, p.y());
        }
        m_cell = std::max(cell, std::sqrt((x1 - x0 + 1) * (y1 - y0 + 1) / 4e5));
        m_x0 = x0;
        m_y0 = y0;
        m_cols = int((x1 - x0) / m_cell) + 1;
        m_rows = int((y1 - y0) / m_cell) + 1;
        m_start.assign(size_t(m_cols) * m_rows + 1, 0);
        std::vector<int> cellOf(points.size());
        for (size_t i = 0; i < points.size(); ++i) {
            cellOf[i] = int((points[i].y() - y0) / m_cell) * m_cols + int((points[i].x() - x0) / m_cell);
            ++m_start[cellOf[i] + 1];
        }
        std::partial_sum(m_start.begin(), m_start.end(), m_start.begin());
        m_order.resize(points.size());
        std::vector<int> fill(m_start.begin(), m_start.end() - 1);
        for (size_t i = 0; i < points.size(); ++i)
            m_order[fill[cellOf[i]]++] = int(i);
    }

    /// Index of the point nearest p within radius, -1 when none is; dist2 its squared distance.
    int nearest(QPointF p, double radius, double& dist2) const {
        int best = -1;
        dist2 = radius * radius;
        if (m_points.empty()) return best;
        const int c0 = std::max(0, int(std::floor((p.x() - radius - m_x0) / m_cell)));
        const int c1 = std::min(m_cols - 1, int(std::floor((p.x() + radius - m_x0) / m_cell)));
        const int r0 = std::max(0, int(std::floor((p.y() - radius - m_y0) / m_cell)));
        const int r1 = std::min(m_rows - 1, int(std::floor((p.y() + radius - m_y0) / m_cell)));
        for (int r = r0; r <= r1; ++r)
            for (int c = c0; c <= c1; ++c) {
                const int cell = r * m_cols + c;
                for (int k = m_start[cell]; k < m_start[cell + 1]; ++k) {
                    const QPointF& q = m_points[m_order[k]];
                    const double d2 = (q.x() - p.x()) * (q.x() - p.x()) + (q.y() - p.y()) * (q.y() - p.y());
                    if (d2 <= dist2) {
                        dist2 = d2;
                        best = m_order[k];
                    }
                }
            }
        return best;
    }

  private:
    std::vector<QPointF> m_points;
    double m_cell = 1, m_x0 = 0, m_y0 = 0;
    int m_cols = 0, m_rows = 0;
    std::vector<int> m_start, m_order;
};

std::vector<QPointF> positionsOf(const StarList& list, const std::vector<int>& idx) {
    std::vector<QPointF> out;
    out.reserve(idx.size());
    for (int i : idx)
        out.push_back(list.stars[i].position());
    return out;
}

/// Two like triangles, with the turn and scale their longest sides give.
struct Candidate {
    const Triangle* ref;
    const Triangle* other;
    bool mirrored;
    int bin;
};

/// A transform with the stars that agree with it.
struct Proposal {
    SimilarityTransform t;
    int support = 0;
    QVector<QPair<int, int>> pairs; ///< list indices (reference, other)
    double rms = 0;
    double tolerance = 0; ///< the match radius of the last round, pixels of picture 1
    double chance = 0;    ///< the stars expected to fall within it by chance

    /// How far the support stands above chance, counting chance's own scatter.
    double significance() const { return support - chance - 3 * std::sqrt(chance); }
    /// The same beyond the three stars of the triangle that proposed the transform, which agree
    /// with it by construction and, fitted, pull a few chance stars in: a registration needs it.
    /// Stars truly in common also gather near the centre of the match radius, while chance
    /// ones spread over it (their RMS is 0.71 of the radius), so a spread match has none.
    double evidence() const { return rms <= 0.5 * tolerance ? significance() - 3 : -1e9; }
    /// The support that would give the evidence of a registration at the same radius.
    int needed() const {
        return int(std::ceil(3 + RegisteredEvidence + chance + 3 * std::sqrt(chance) - 1e-9));
    }
};

class Matcher {
  public:
    Matcher(const StarList& ref, const StarList& other, const MatchOptions& o)
        : m_ref(ref), m_other(other), m_o(o), m_refUsable(usableStars(ref)),
          m_otherUsable(usableStars(other)), m_refGrid(positionsOf(ref, m_refUsable), 16) {}

    Outcome<StarMatch> run() {
        auto refused = [](const QString& reason) { return Failure{InvalidValue, reason}; };
        if (int(m_refUsable.size()) < m_o.minMatched)
            return refused(tooFewStarsReason(1, int(m_refUsable.size()), m_o.minMatched));
        if (int(m_otherUsable.size()) < m_o.minMatched)
            return refused(tooFewStarsReason(m_o.picture, int(m_otherUsable.size()), m_o.minMatched));
        Proposal best; // none yet: no support, and evidence below any proposal's
        best.rms = 1e9;
        auto registers = [&](const Proposal& p) { return p.support >= std::max(m_o.minMatched, p.needed()); };
        for (const auto& [refStars, otherStars] : attempts()) {
            // The job that matches was stopped: what is found so far is dropped by its caller.
            if (stopRequestedHere()) break;
            for (Proposal& p : verifiedProposals(refStars, otherStars)) {
                if (stopRequestedHere()) break;
                refine(p);
                if (p.evidence() > best.evidence()) best = p;
            }
            if (registers(best)) break;
        }
        // The stars a registration needs: minMatched, and more where chance could give many.
        const int needed = std::max(m_o.minMatched, best.needed());
        const bool registered = registers(best);
        // Fewer stars than needed, yet more than chance gives: the pictures share a few stars.
        const bool few = !registered && best.support >= 5 && best.evidence() >= FewEvidence;
        if (!registered && !few) return refused(otherFieldReason(m_o.picture));
        if (few) return refused(tooFewMatchedReason(best.support, needed));
        if (best.rms > m_o.maxRmsPixels) return refused(looseFitReason(best.rms));
        return StarMatch{best.t, best.pairs, best.support, best.rms};
    }

  private:
    using Attempt = std::pair<std::vector<int>, std::vector<int>>;

    /// The stars triangles are drawn from, picture 1's and picture k's, in the order they are
    /// tried: all usable stars first. When one picture holds many more stars than the other it
    /// shows more sky, and few of its brightest stars may lie where the other picture looks; so
    /// then parts of it about the size of the other picture's field are tried as well, 3 x 3
    /// of them overlapping.
    std::vector<Attempt> attempts() const {
        std::vector<Attempt> out = {{m_refUsable, m_otherUsable}};
        const double ratio = double(m_otherUsable.size()) / double(m_refUsable.size());
        if (ratio < 1.5 && ratio > 1 / 1.5) return out;
        const bool otherRicher = ratio > 1;
        const StarList& rich = otherRicher ? m_other : m_ref;
        const std::vector<int>& richStars = otherRicher ? m_otherUsable : m_refUsable;
        const double part = std::clamp(1 / std::sqrt(otherRicher ? ratio : 1 / ratio), 0.35, 0.8);
        const double w = rich.width * part, h = rich.height * part;
        for (int j = 0; j < 3; ++j)
            for (int i = 0; i < 3; ++i) {
                const QRectF tile((rich.width - w) * i / 2, (rich.height - h) * j / 2, w, h);
                std::vector<int> inside;
                for (int k : richStars)
                    if (tile.contains(rich.stars[k].position())) inside.push_back(k);
                out.push_back(otherRicher ? Attempt{m_refUsable, inside} : Attempt{inside, m_otherUsable});
            }
        return out;
    }

    /// Like triangles voted on by their turn and scale; the candidates of the best bins each
    /// propose the transform of their corners, counted against the brightest stars. refStars and
    /// otherStars: usable stars of each list, brightest first.
    std::vector<Proposal> verifiedProposals(const std::vector<int>& refStars,
                                            const std::vector<int>& otherStars) {
        const std::vector<Triangle> refTri = trianglesOf(m_ref, refStars, m_o.triangleStars);
        const std::vector<Triangle> otherTri = trianglesOf(m_other, otherStars, m_o.triangleStars);
        std::vector<Candidate> candidates = likeTriangles(refTri, otherTri);

        // The vote: each bin scores its own and its neighbours' candidates, since a true turn may
        // fall on a bin edge.
        const int turnBins = int(std::lround(360 / TurnBinDegrees));
        const int scaleBins = int(std::ceil(std::log(m_o.maxScale / m_o.minScale) / ScaleBinLog)) + 1;
        std::vector<int> votes(size_t(2) * turnBins * scaleBins);
        for (const Candidate& c : candidates)
            ++votes[c.bin];
        auto neighbourhood = [&](int bin, auto&& visit) {
            const int mirror = bin / (turnBins * scaleBins), rest = bin % (turnBins * scaleBins);
            const int turn = rest / scaleBins, scale = rest % scaleBins;
            for (int dt = -1; dt <= 1; ++dt)
                for (int ds = -1; ds <= 1; ++ds) {
                    const int s = scale + ds;
                    if (s < 0 || s >= scaleBins) continue;
                    visit((mirror * turnBins + (turn + dt + turnBins) % turnBins) * scaleBins + s);
                }
        };
        std::vector<std::pair<int, int>> scored; // (score, bin)
        for (const Candidate& c : candidates) {
            if (votes[c.bin] < 0) continue; // scored already
            int score = 0;
            neighbourhood(c.bin, [&](int b) { score += std::abs(votes[b]); });
            scored.push_back({score, c.bin});
            votes[c.bin] = -votes[c.bin];
        }
        const auto top = scored.begin() + std::min<ptrdiff_t>(VotedBins, ptrdiff_t(scored.size()));
        std::partial_sort(scored.begin(), top, scored.end(), std::greater<>());
        // Each chosen bin ranked by the best score among the voted bins it neighbours.
        std::vector<int> rank(votes.size(), 0);
        for (auto it = scored.begin(); it != top; ++it)
            neighbourhood(it->second, [&](int b) { rank[b] = std::max(rank[b], it->first); });
        std::vector<const Candidate*> chosen;
        for (const Candidate& c : candidates)
            if (rank[c.bin] > 0) chosen.push_back(&c);
        std::stable_sort(chosen.begin(), chosen.end(),
                         [&](const Candidate* a, const Candidate* b) { return rank[a->bin] > rank[b->bin]; });

        const std::vector<int> verifiers(
            otherStars.begin(), otherStars.begin() + std::min<int>(VerifyingStars, int(otherStars.size())));
        const std::vector<int> refBright(
            refStars.begin(), refStars.begin() + std::min<int>(VerifyingReference, int(refStars.size())));
        const PointGrid grid(positionsOf(m_ref, refBright), 16);
        std::vector<Proposal> proposals;
        QVector<QPointF> from(3), to(3);
        int best = 0;
        for (const Candidate* c : chosen) {
            for (int k = 0; k < 3; ++k) {
                from[k] = m_other.stars[c->other->p[k]].position();
                to[k] = m_ref.stars[c->ref->p[k]].position();
            }
            Proposal p;
            p.t = fitSimilarity(from, to, c->mirrored);
            const QPointF centre = (to[0] + to[1] + to[2]) / 3;
            // A transform from three corners turns about them: its error grows with the
            // distance from them, by the centroid error over the triangle's size. A proposal
            // that can no longer reach half the best support so far is given up.
            const int bar = best / 2;
            int left = int(verifiers.size());
            for (int i : verifiers) {
                if (p.support + left-- < bar) break;
                const QPointF q = p.t.map(m_other.stars[i].position());
                const double dx = q.x() - centre.x(), dy = q.y() - centre.y();
                const double tol = 1.5 + 0.6 * std::sqrt(dx * dx + dy * dy) / c->ref->longest;
                double d2;
                if (grid.nearest(q, tol, d2) >= 0) ++p.support;
            }
            if (p.support < bar) continue;
            best = std::max(best, p.support);
            proposals.push_back(p);
        }
        std::sort(proposals.begin(), proposals.end(),
                  [](const Proposal& a, const Proposal& b) { return a.support > b.support; });
        // Keep distinct proposals: many candidates of one true transform propose nearly the same.
        std::vector<Proposal> distinct;
        for (const Proposal& p : proposals) {
            if (int(distinct.size()) >= RefinedProposals) break;
            const bool same = std::any_of(distinct.begin(), distinct.end(), [&](const Proposal& d) {
                const QPointF a = d.t.map(QPointF(m_other.width / 2.0, m_other.height / 2.0));
                const QPointF b = p.t.map(QPointF(m_other.width / 2.0, m_other.height / 2.0));
                return d.t.mirrored == p.t.mirrored && std::hypot(a.x() - b.x(), a.y() - b.y()) < 0.5 &&
                       std::abs(std::remainder(d.t.turnRadians() - p.t.turnRadians(), 2 * M_PI)) < 0.001 &&
                       std::abs(d.t.scale() / p.t.scale() - 1) < 0.001;
            });
            if (!same) distinct.push_back(p);
        }
        return distinct;
    }

    std::vector<Candidate> likeTriangles(const std::vector<Triangle>& refTri,
                                         const std::vector<Triangle>& otherTri) const {
        // Reference triangles in a grid over their two side ratios.
        const int cells = int(std::ceil(1 / ShapeTolerance)) + 1;
        std::vector<int> start(size_t(cells) * cells + 1, 0), order(refTri.size());
        auto cellOf = [&](double u, double v) {
            return std::min(cells - 1, int(v / ShapeTolerance)) * cells +
                   std::min(cells - 1, int(u / ShapeTolerance));
        };
        for (const Triangle& t : refTri)
            ++start[cellOf(t.u, t.v) + 1];
        std::partial_sum(start.begin(), start.end(), start.begin());
        std::vector<int> fill(start.begin(), start.end() - 1);
        for (size_t i = 0; i < refTri.size(); ++i)
            order[fill[cellOf(refTri[i].u, refTri[i].v)]++] = int(i);

        const int turnBins = int(std::lround(360 / TurnBinDegrees));
        const int scaleBins = int(std::ceil(std::log(m_o.maxScale / m_o.minScale) / ScaleBinLog)) + 1;
        std::vector<Candidate> out;
        for (const Triangle& o : otherTri) {
            if (stopRequestedHere()) break;
            const int cu = int(o.u / ShapeTolerance), cv = int(o.v / ShapeTolerance);
            for (int v = std::max(0, cv - 1); v <= std::min(cells - 1, cv + 1); ++v)
                for (int u = std::max(0, cu - 1); u <= std::min(cells - 1, cu + 1); ++u) {
                    const int cell = v * cells + u;
                    for (int k = start[cell]; k < start[cell + 1]; ++k) {
                        const Triangle& r = refTri[order[k]];
                        if (std::abs(r.u - o.u) > ShapeTolerance || std::abs(r.v - o.v) > ShapeTolerance)
                            continue;
                        const double scale = r.longest / o.longest;
                        if (scale < m_o.minScale || scale > m_o.maxScale) continue;
                        const bool mirrored = r.clockwise != o.clockwise;
                        // The longest side runs between the corners opposite the two shorter sides.
                        const QPointF rv = m_ref.stars[r.p[1]].position() - m_ref.stars[r.p[0]].position();
                        QPointF ov = m_other.stars[o.p[1]].position() - m_other.stars[o.p[0]].position();
                        if (mirrored) ov.setY(-ov.y());
                        double turn = std::atan2(rv.y(), rv.x()) - std::atan2(ov.y(), ov.x());
                        turn = std::remainder(turn, 2 * M_PI) * 180 / M_PI + 180;
                        const int tb = int(turn / TurnBinDegrees) % turnBins;
                        const int sb =
                            std::clamp(int(std::log(scale / m_o.minScale) / ScaleBinLog), 0, scaleBins - 1);
                        out.push_back(
                            {&r, &o, mirrored, ((mirrored ? 1 : 0) * turnBins + tb) * scaleBins + sb});
                    }
                }
        }
        return out;
    }

    /// Matches every usable star under p's transform, fits, drops outliers and matches again
    /// until the matched set settles; p ends with the final transform, pairs, support and RMS.
    /// Each round takes the match radius that stands the matches highest above chance: a true
    /// transform keeps its stars as the radius shrinks, chance coincidences thin out with its
    /// square. The radius never grows again: a wider one would let the fit wander off after
    /// chance stars.
    void refine(Proposal& p) const {
        static constexpr double Radii[] = {3.0, 2.0, 1.4, 1.0, 0.7, 0.5};
        double widest = Radii[0];
        QVector<QPair<int, int>> previous;
        for (int round = 0; round < 10; ++round) {
            // Nearest reference star within the widest radius, each reference star to one star only.
            std::vector<std::pair<double, int>> claim(m_refUsable.size(), {1e300, -1});
            for (int i : m_otherUsable) {
                double d2;
                const int r = m_refGrid.nearest(p.t.map(m_other.stars[i].position()), Radii[0], d2);
                if (r >= 0 && d2 < claim[r].first) claim[r] = {d2, i};
            }
            const double perRadius2 = chanceMatches(p.t, 1.0);
            double radius = widest, bestScore = -1e300;
            for (double t : Radii) {
                if (t > widest) continue;
                const int n = int(std::count_if(claim.begin(), claim.end(), [&](const auto& c) {
                    return c.second >= 0 && c.first <= t * t;
                }));
                const Proposal trial{{}, n, {}, 0, t, perRadius2 * t * t};
                if (trial.significance() > bestScore) {
                    bestScore = trial.significance();
                    radius = t;
                }
            }
            QVector<QPointF> from, to;
            QVector<QPair<int, int>> pairs;
            for (size_t r = 0; r < claim.size(); ++r)
                if (claim[r].second >= 0 && claim[r].first <= radius * radius) {
                    pairs.push_back({m_refUsable[r], claim[r].second});
                    from.push_back(m_other.stars[claim[r].second].position());
                    to.push_back(m_ref.stars[m_refUsable[r]].position());
                }
            widest = radius;
            p.tolerance = radius;
            p.chance = perRadius2 * radius * radius;
            if (pairs.size() < 3) {
                p.support = int(pairs.size());
                p.pairs = pairs;
                p.rms = 1e9;
                return;
            }
            SimilarityTransform t = fitSimilarity(from, to, p.t.mirrored);
            // Outliers: beyond four times the typical residual (its median is 1.18 sigma for
            // residuals spread round a point).
            std::vector<double> res(from.size());
            for (int i = 0; i < from.size(); ++i) {
                const QPointF d = t.map(from[i]) - to[i];
                res[i] = std::sqrt(d.x() * d.x() + d.y() * d.y());
            }
            std::vector<double> sorted = res;
            std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
            const double cut = std::max(4 * sorted[sorted.size() / 2] / 1.1774, 0.05);
            QVector<QPointF> keptFrom, keptTo;
            QVector<QPair<int, int>> kept;
            for (int i = 0; i < from.size(); ++i)
                if (res[i] <= cut) {
                    keptFrom.push_back(from[i]);
                    keptTo.push_back(to[i]);
                    kept.push_back(pairs[i]);
                }
            if (kept.size() >= 3) {
                // Each pair weighted by how well its two centroids are known.
                QVector<double> weights;
                for (const auto& pr : kept) {
                    const double e1 = centroidError(m_ref, pr.first),
                                 ek = centroidError(m_other, pr.second) * t.scale();
                    weights.push_back(1 / (e1 * e1 + ek * ek));
                }
                t = fitSimilarity(keptFrom, keptTo, p.t.mirrored, weights);
            }
            double sum2 = 0;
            for (int i = 0; i < keptFrom.size(); ++i) {
                const QPointF d = t.map(keptFrom[i]) - keptTo[i];
                sum2 += d.x() * d.x() + d.y() * d.y();
            }
            p.t = t;
            p.pairs = kept;
            p.support = int(kept.size());
            p.rms = kept.isEmpty() ? 1e9 : std::sqrt(sum2 / kept.size());
            if (kept == previous) return;
            previous = kept;
        }
    }

    /// How far a star's centroid may be off, pixels, up to a constant factor: its width over its
    /// signal-to-noise ratio (the noise summed over about a FWHM squared of pixels), and no less
    /// than 0.01 pixel, so that no one bright star outweighs the rest.
    static double centroidError(const StarList& list, int i) {
        const Star& s = list.stars[i];
        const double fwhm = std::max(1.0, s.fwhm);
        const double e = fwhm * fwhm * std::max(0.5, list.noiseSigma) / std::max(1e-9, s.flux);
        return std::sqrt(e * e + 1e-4);
    }

    /// Stars of picture k expected within tolerance of a star of picture 1 by chance under t:
    /// those t puts inside picture 1 times picture 1's usable stars per square pixel times the
    /// area of the tolerance circle.
    double chanceMatches(const SimilarityTransform& t, double tolerance) const {
        const double w = std::max(1, m_ref.width), h = std::max(1, m_ref.height);
        int inside = 0;
        for (int i : m_otherUsable) {
            const QPointF q = t.map(m_other.stars[i].position());
            if (q.x() >= 0 && q.y() >= 0 && q.x() < w && q.y() < h) ++inside;
        }
        return inside * (m_refUsable.size() / (w * h)) * M_PI * tolerance * tolerance;
    }

    const StarList& m_ref;
    const StarList& m_other;
    const MatchOptions& m_o;
    const std::vector<int> m_refUsable, m_otherUsable;
    const PointGrid m_refGrid; ///< every usable star of picture 1
};

} // namespace

SimilarityTransform fitSimilarity(const QVector<QPointF>& from, const QVector<QPointF>& to, bool mirrored,
                                  const QVector<double>& weights) {
    SimilarityTransform t;
    t.mirrored = mirrored;
    const int n = int(std::min(from.size(), to.size()));
    const double m = mirrored ? -1.0 : 1.0;
    double sw = 0, fx = 0, fy = 0, gx = 0, gy = 0;
    for (int i = 0; i < n; ++i) {
        const double w = weights.isEmpty() ? 1.0 : weights[i];
        sw += w;
        fx += w * from[i].x();
        fy += w * m * from[i].y();
        gx += w * to[i].x();
        gy += w * to[i].y();
    }
    if (n < 2 || sw <= 0) return SimilarityTransform{1, 0, 0, 0, mirrored};
    fx /= sw;
    fy /= sw;
    gx /= sw;
    gy /= sw;
    // With the mirror applied to from (y -> m y), a turn and scale (a, b) about the centroids.
    double saa = 0, sab = 0, sbb = 0;
    for (int i = 0; i < n; ++i) {
        const double w = weights.isEmpty() ? 1.0 : weights[i];
        const double x = from[i].x() - fx, y = m * from[i].y() - fy;
        const double u = to[i].x() - gx, v = to[i].y() - gy;
        saa += w * (x * u + y * v);
        sab += w * (x * v - y * u);
        sbb += w * (x * x + y * y);
    }
    if (sbb <= 0) return SimilarityTransform{1, 0, 0, 0, mirrored};
    t.a = saa / sbb;
    t.b = sab / sbb;
    t.tx = gx - (t.a * fx - t.b * fy);
    t.ty = gy - (t.b * fx + t.a * fy);
    return t;
}

Outcome<StarMatch> matchStars(const StarList& reference, const StarList& other, const MatchOptions& options) {
    return Matcher(reference, other, options).run();
}

} // namespace vorlan
