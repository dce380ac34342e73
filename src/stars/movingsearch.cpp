#include "stars/movingsearch.h"

#include "common/jobrunner.h"

#include "stars/pixelluma.h"
#include "stars/stardetect.h"
#include "view/picturerows.h"

#include <QSet>

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>
#include <vector>

namespace vorlan {

namespace {

constexpr double FwhmPerSigma = 2.3548200450309493; // 2 sqrt(2 ln 2)
/// Flags of sources that are never part of a candidate or a flash.
constexpr unsigned NeverCandidate = StarHotPixel | StarTrail | StarEdge | StarExtended;
/// Noise of one pixel is never taken lower than this: 8-bit data carries the rounding of its levels.
constexpr double NoiseFloor = 0.5;

double distance(QPointF a, QPointF b) {
    return std::hypot(a.x() - b.x(), a.y() - b.y());
}

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    const auto mid = v.begin() + v.size() / 2;
    std::nth_element(v.begin(), mid, v.end());
    return *mid;
}

/// The pixels a measurement reads round its spot, for a star of the given width.
struct SpotGeometry {
    double sigma; ///< of the star's Gaussian profile, pixels
    int core;     ///< the profile is fitted within this many pixels of the centre
    double inner; ///< the background ring, radii in pixels
    double outer;
    int half; ///< the window read: this many pixels each side of the spot's pixel

    explicit SpotGeometry(double fwhm) {
        sigma = std::max(0.5, fwhm / FwhmPerSigma);
        core = int(std::ceil(3 * sigma)) + 1;
        inner = core + 1.0;
        outer = inner + 4.0;
        half = int(std::ceil(outer)) + 1;
    }
};

/// The pixels round a spot in grey levels (inverted on a chart), with the level and noise of the
/// sky from a ring round it. Positions are the picture's own pixels.
class SpotWindow {
  public:
    bool ok = false;
    double background = 0, noise = 0;

    SpotWindow(const QImage& picture, bool inverted, QPointF at, const SpotGeometry& g) {
        const int cx = int(std::floor(at.x())), cy = int(std::floor(at.y()));
        m_x0 = cx - g.half;
        m_y0 = cy - g.half;
        m_n = 2 * g.half + 1;
        if (picture.isNull() || m_x0 < 0 || m_y0 < 0 || m_x0 + m_n > picture.width() ||
            m_y0 + m_n > picture.height())
            return;
        m_v.resize(size_t(m_n) * m_n);
        std::vector<double> ring;
        for (int y = 0; y < m_n; ++y) {
            const PictureRow row = pictureRow(picture, m_y0 + y);
            for (int x = 0; x < m_n; ++x) {
                const int luma = row.grey ? lumaOf(row.grey[m_x0 + x]) : lumaOf(row.rgb[m_x0 + x]);
                const double v = (inverted ? LumaWhite - luma : luma) / 256.0;
                m_v[size_t(y) * m_n + x] = v;
                const double dx = m_x0 + x + 0.5 - at.x(), dy = m_y0 + y + 0.5 - at.y(),
                             r2 = dx * dx + dy * dy;
                if (r2 >= g.inner * g.inner && r2 <= g.outer * g.outer) ring.push_back(v);
            }
        }
        // Mean and spread of the ring, stars in it clipped away. Not the median: the levels of
        // 8-bit data are whole numbers, and a median (or a median deviation) of them misses by up
        // to half a level, which for a faint star is a good part of a sigma.
        // The clipping starts from the median and the median deviation of every third value of
        // the ring: a star in the ring must not pull the start, and the start need not be exact.
        std::vector<double> some;
        for (size_t i = 0; i < ring.size(); i += 3)
            some.push_back(ring[i]);
        background = median(some);
        for (double& v : some)
            v = std::abs(v - background);
        double spread = std::max(NoiseFloor, 1.4826 * median(some));
        for (int pass = 0; pass < 3; ++pass) {
            double sum = 0, squares = 0;
            int kept = 0;
            for (double r : ring)
                if (std::abs(r - background) <= 3 * spread) {
                    sum += r;
                    squares += r * r;
                    ++kept;
                }
            if (kept < 8) return;
            background = sum / kept;
            // A normal spread clipped at 3 sigma keeps 98.66 % of its width.
            spread = std::sqrt(std::max(0.0, squares / kept - background * background)) / 0.9866;
        }
        noise = std::max(NoiseFloor, spread);
        ok = true;
    }

    bool holdsRow(int y) const { return y >= m_y0 && y < m_y0 + m_n; }
    bool holdsColumn(int x) const { return x >= m_x0 && x < m_x0 + m_n; }
    /// Pixel (x, y) of the picture above the background; 0 outside the window.
    double above(int x, int y) const {
        if (!holdsRow(y) || !holdsColumn(x)) return 0;
        return m_v[size_t(y - m_y0) * m_n + (x - m_x0)] - background;
    }

  private:
    int m_x0 = 0, m_y0 = 0, m_n = 0;
    std::vector<double> m_v;
};

/// Whether the source at `at` (picture pixels, its centroid) is a defect of the sensor rather
/// than light through the optics: its brightest pixel stands above both side neighbours along one
/// axis by more than a star of width fwhm (the pixel's own size included) lets it, even centred on
/// that pixel, where its sides get least. So a hot pixel shows, or a few of them side by side or
/// corner to corner, or a cosmic ray's hit, also on a star's wing. Told only for a peak of
/// minPeak noise sigmas or more: below, the noise of the sides could fake it.
bool sensorSpike(const QImage& picture, bool inverted, QPointF at, double fwhm, double minPeak) {
    const SpotGeometry g(fwhm);
    const SpotWindow w(picture, inverted, at, g);
    if (!w.ok) return false;
    const int px = int(std::floor(at.x())), py = int(std::floor(at.y()));
    QPoint top(px, py);
    for (int y = py - 1; y <= py + 1; ++y)
        for (int x = px - 1; x <= px + 1; ++x)
            if (w.above(x, y) > w.above(top.x(), top.y())) top = QPoint(x, y);
    const double peak = w.above(top.x(), top.y());
    if (peak < minPeak * w.noise) return false;
    const double across = (w.above(top.x() - 1, top.y()) + w.above(top.x() + 1, top.y())) / 2;
    const double down = (w.above(top.x(), top.y() - 1) + w.above(top.x(), top.y() + 1)) / 2;
    // The Gaussian over the next pixel against over its own, along one axis.
    const double sigma = std::sqrt(std::max(0.01, std::pow(fwhm / FwhmPerSigma, 2) - 1.0 / 12));
    const double own = std::erf(0.5 / (sigma * M_SQRT2)),
                 next = (std::erf(1.5 / (sigma * M_SQRT2)) - own) / 2;
    return std::min(across, down) < 0.5 * next / own * peak;
}

/// Points of picture 1's frame in square cells, for their neighbours within a radius.
class PointGrid {
  public:
    PointGrid() = default;
    PointGrid(const QVector<QPointF>& points, double cell) : m_points(points), m_cell(cell) {
        if (points.isEmpty()) return;
        double x1 = points[0].x(), y1 = points[0].y();
        m_x0 = x1;
        m_y0 = y1;
        for (const QPointF& p : points) {
            m_x0 = std::min(m_x0, p.x());
            m_y0 = std::min(m_y0, p.y());
            x1 = std::max(x1, p.x());
            y1 = std::max(y1, p.y());
        }
        // A wild transform must not ask for a grid larger than the points need.
        while ((x1 - m_x0) / m_cell * (y1 - m_y0) / m_cell > 4.0 * points.size() + 1024)
            m_cell *= 2;
        m_columns = int((x1 - m_x0) / m_cell) + 1;
        m_rows = int((y1 - m_y0) / m_cell) + 1;
        m_start.assign(size_t(m_columns) * m_rows + 1, 0);
        for (const QPointF& p : points)
            ++m_start[cellOf(p) + 1];
        std::partial_sum(m_start.begin(), m_start.end(), m_start.begin());
        m_items.resize(size_t(points.size()));
        std::vector<int> fill(m_start.begin(), m_start.end() - 1);
        for (int i = 0; i < points.size(); ++i)
            m_items[size_t(fill[cellOf(points[i])]++)] = i;
    }

    /// Calls visit(index, distance) for every point within radius of p.
    template <typename Visit> void near(QPointF p, double radius, Visit&& visit) const {
        if (m_columns == 0) return;
        const int c0 = std::max(0, int(std::floor((p.x() - radius - m_x0) / m_cell)));
        const int c1 = std::min(m_columns - 1, int(std::floor((p.x() + radius - m_x0) / m_cell)));
        const int r0 = std::max(0, int(std::floor((p.y() - radius - m_y0) / m_cell)));
        const int r1 = std::min(m_rows - 1, int(std::floor((p.y() + radius - m_y0) / m_cell)));
        for (int r = r0; r <= r1; ++r)
            for (int c = c0; c <= c1; ++c) {
                const size_t cell = size_t(r) * m_columns + c;
                for (int k = m_start[cell]; k < m_start[cell + 1]; ++k) {
                    const int i = m_items[size_t(k)];
                    const double d = distance(p, m_points[i]);
                    if (d <= radius) visit(i, d);
                }
            }
    }

  private:
    size_t cellOf(QPointF p) const {
        return size_t(int((p.y() - m_y0) / m_cell)) * m_columns + size_t(int((p.x() - m_x0) / m_cell));
    }

    QVector<QPointF> m_points;
    double m_cell = 16;
    double m_x0 = 0, m_y0 = 0;
    int m_columns = 0, m_rows = 0;
    std::vector<int> m_start, m_items;
};

/// A source that may belong to a candidate: lonely (no counterpart at its place in the other
/// pictures) and inside the overlap.
struct Lonely {
    int picture = 0;
    int index = -1;  ///< in its picture's list; -1 for a spot found from the pixels
    QPointF at;      ///< picture 1's pixels
    double flux = 0; ///< scaled to picture 1's brightness
    double snr = 0;
    // Whether the other pictures' pixels lack it, measured when first asked (few sources are).
    mutable int absence = -1;     ///< -1 not yet measured, 0 present elsewhere, 1 absent
    mutable double elsewhere = 0; ///< then the highest signal-to-noise the others show at its place
};

/// What the search knows of one picture.
struct Prepared {
    const SearchPicture* in = nullptr;
    SimilarityTransform back; ///< picture 1's pixels -> this picture's
    double fwhm = 2.5;        ///< this picture's pixels
    double margin = 10;       ///< this picture's pixels
    double zeroPoint = 0;     ///< log10 of this picture's flux over picture 1's for one star
    QVector<QPointF> at;      ///< every source, picture 1's pixels
    PointGrid grid;
    QVector<Lonely> lonely;
    PointGrid lonelyGrid;

    bool hasPixels() const { return !in->picture.isNull(); }
    QPointF own(QPointF picture1) const { return back.map(picture1); }
    QPointF toPicture1(QPointF own) const { return in->toPicture1.map(own); }
    SpotMeasure measure(QPointF picture1, bool recentre) const {
        return measureSpot(in->picture, in->stars.inverted, own(picture1), fwhm, recentre);
    }
};

/// Signal-to-noise of a listed source as a profile fit would give it, when there are no pixels.
double listSnr(const Star& s, const StarList& list, double fwhm) {
    const double sigma = std::max(0.5, (s.fwhm > 0 ? s.fwhm : fwhm) / FwhmPerSigma);
    return s.flux / (std::max(list.noiseSigma, 1e-9) * std::sqrt(4 * M_PI) * sigma);
}

class Search {
  public:
    Search(const QVector<SearchPicture>& pictures, const MovingSearchOptions& o) : m_o(o) {
        for (const SearchPicture& p : pictures) {
            Prepared d;
            d.in = &p;
            d.back = p.toPicture1.inverted();
            d.fwhm = p.picture.isNull() ? typicalFwhm(p.stars) : pictureFwhm(p.stars, p.picture);
            d.margin = std::max(o.edgeMargin, SpotGeometry(d.fwhm).half + 1.0);
            for (const Star& s : p.stars.stars)
                d.at.push_back(p.toPicture1.map(s.position()));
            d.grid = PointGrid(d.at, 16);
            m_p.push_back(std::move(d));
        }
        m_fwhm = m_p[0].fwhm;
        m_match = std::max(1.5, m_fwhm);
        m_minStep = o.minStepFwhm * m_fwhm;
        bool timed = true;
        for (const SearchPicture& p : pictures)
            timed = timed && p.hours.has_value();
        for (int i = 0; timed && i < pictures.size(); ++i)
            for (int j = i + 1; j < pictures.size(); ++j)
                timed = timed && std::abs(*pictures[i].hours - *pictures[j].hours) > 1e-9;
        m_perHour = timed;
        for (int i = 0; i < pictures.size(); ++i)
            m_t.push_back(timed ? *pictures[i].hours : double(i));
    }

    MovingSearchResult run() {
        for (int i = 1; i < m_p.size(); ++i)
            m_p[i].zeroPoint = zeroPoint(i);
        for (int i = 0; i < m_p.size(); ++i)
            findLonely(i);
        MovingSearchResult r;
        r.fwhm = m_fwhm;
        QVector<QVector<Lonely>> chosen = m_p.size() == 2 ? pairs() : tracks();
        for (const QVector<Lonely>& c : chosen)
            r.movers.push_back(candidate(c));
        std::stable_sort(r.movers.begin(), r.movers.end(),
                         [](const MovingCandidate& a, const MovingCandidate& b) {
                             return *std::min_element(a.significance.begin(), a.significance.end()) >
                                    *std::min_element(b.significance.begin(), b.significance.end());
                         });
        for (const Prepared& p : m_p)
            for (const Lonely& s : p.lonely)
                if (s.snr >= m_o.flashSignificance && !m_used.contains(key(s)) && absent(s))
                    r.flashes.push_back({s.picture, s.at, s.snr});
        std::stable_sort(
            r.flashes.begin(), r.flashes.end(),
            [](const FlashCandidate& a, const FlashCandidate& b) { return a.significance > b.significance; });
        return r;
    }

  private:
    /// log10 of picture i's flux over picture 1's for the same star: the median over the usable
    /// stars both lists hold, so that exposure, gain and sky transparency drop out.
    double zeroPoint(int i) const {
        const Prepared& one = m_p[0];
        const Prepared& other = m_p[i];
        std::vector<double> ratios;
        const QVector<Star>& stars = one.in->stars.stars;
        for (int s = 0; s < stars.size() && ratios.size() < 500; ++s) {
            if (!stars[s].usable() || stars[s].flux <= 0) continue;
            int best = -1;
            double bestD = m_match;
            other.grid.near(one.at[s], m_match, [&](int k, double d) {
                if (d <= bestD) {
                    best = k;
                    bestD = d;
                }
            });
            if (best < 0) continue;
            const Star& o = other.in->stars.stars[best];
            if (o.usable() && o.flux > 0) ratios.push_back(std::log10(o.flux / stars[s].flux));
        }
        return ratios.size() >= 5 ? median(ratios) : 0.0;
    }

    bool inOverlap(QPointF picture1) const {
        for (const Prepared& p : m_p) {
            const QPointF q = p.own(picture1);
            if (q.x() < p.margin || q.y() < p.margin || q.x() > p.in->stars.width - p.margin ||
                q.y() > p.in->stars.height - p.margin)
                return false;
        }
        return true;
    }

    /// The highest signal-to-noise (0 at least) that the pixels of the pictures but `except` show
    /// at a spot (picture 1's pixels); none when one of them cannot be measured there or holds
    /// something there: significant, and not much fainter than ownFlux (scaled to picture 1's
    /// brightness), so that a bump of the noise beside a bright object does not hide it.
    std::optional<double> absentElsewhere(QPointF picture1, int except, double ownFlux) const {
        double highest = 0;
        for (int j = 0; j < m_p.size(); ++j) {
            if (j == except || !m_p[j].hasPixels()) continue;
            const SpotMeasure m = m_p[j].measure(picture1, false);
            if (!m.ok) return std::nullopt;
            const double flux = m.flux / std::pow(10.0, m_p[j].zeroPoint);
            if (m.snr >= m_o.absentSignificance && flux >= m_o.absentFraction * ownFlux) return std::nullopt;
            highest = std::max(highest, m.snr);
        }
        return highest;
    }

    /// The sources of picture i with no counterpart in the other pictures' lists at their place,
    /// significant enough to matter. Taken row by row: the pixels measured lie close in memory.
    void findLonely(int i) {
        Prepared& p = m_p[i];
        const double keep =
            m_p.size() == 2
                ? std::min(m_o.minSignificance, m_o.flashSignificance)
                : std::min({m_o.trackSignificance, m_o.confirmSignificance, m_o.flashSignificance});
        const QVector<Star>& stars = p.in->stars.stars;
        std::vector<int> order(size_t(stars.size()));
        std::iota(order.begin(), order.end(), 0);
        std::sort(order.begin(), order.end(), [&stars](int a, int b) { return stars[a].y < stars[b].y; });
        for (int s : order) {
            if (stopRequestedHere()) break; // the job that runs the search was stopped
            if (stars[s].flags & NeverCandidate) continue;
            if (!inOverlap(p.at[s])) continue;
            bool counterpart = false;
            const double flux1 = stars[s].flux / std::pow(10.0, p.zeroPoint);
            for (int j = 0; j < m_p.size() && !counterpart; ++j)
                counterpart = j != i && listedNear(j, p.at[s], flux1);
            if (counterpart || onSensorElsewhere(i, stars[s].position())) continue;
            Lonely l{i, s, p.at[s], stars[s].flux, listSnr(stars[s], p.in->stars, p.fwhm)};
            if (p.hasPixels()) {
                const SpotMeasure m =
                    measureSpot(p.in->picture, p.in->stars.inverted, stars[s].position(), p.fwhm, true);
                if (!m.ok) continue;
                l.at = p.toPicture1(m.centre);
                l.flux = m.flux;
                l.snr = m.snr;
            }
            if (l.snr < keep || l.flux <= 0 || !inOverlap(l.at)) continue;
            if (p.hasPixels() &&
                sensorSpike(p.in->picture, p.in->stars.inverted, p.own(l.at), p.fwhm, m_o.spikePeak))
                continue;
            l.flux /= std::pow(10.0, p.zeroPoint);
            p.lonely.push_back(l);
        }
        QVector<QPointF> at;
        for (const Lonely& l : p.lonely)
            at.push_back(l.at);
        p.lonelyGrid = PointGrid(at, std::max(16.0, m_o.maxStep / 2));
    }

    /// Whether picture j's list holds, within a star width of a spot (picture 1's pixels), a source
    /// that could be the same light as one of the given flux (picture 1's brightness). A wide star
    /// makes that reach wide, and a detection of the noise a hundred times fainter inside it is no
    /// counterpart; the pixels tell whether a faint star stands there.
    bool listedNear(int j, QPointF at, double flux) const {
        const Prepared& p = m_p[j];
        const double least = m_o.absentFraction * flux * std::pow(10.0, p.zeroPoint);
        bool found = false;
        p.grid.near(at, m_match, [&](int k, double) { found = found || p.in->stars.stars[k].flux >= least; });
        return found;
    }

    /// Whether another picture of the same size holds a source on the same pixel of the sensor as
    /// picture i's spot `own` (its own pixels): what moves on the sky exactly as the pictures were
    /// shifted is a defect of the camera (hot pixels together, which a star's light can hide from
    /// the test of their shape) or dust.
    bool onSensorElsewhere(int i, QPointF own) const {
        const StarList& list = m_p[i].in->stars;
        bool found = false;
        for (int j = 0; j < m_p.size() && !found; ++j) {
            const Prepared& other = m_p[j];
            if (j == i || other.in->stars.width != list.width || other.in->stars.height != list.height)
                continue;
            other.grid.near(other.toPicture1(own), m_o.sensorTolerance * other.in->toPicture1.scale(),
                            [&found](int, double) { found = true; });
        }
        return found;
    }

    /// Whether the other pictures' pixels lack the source at its place.
    bool absent(const Lonely& l) const {
        if (l.absence < 0) {
            const std::optional<double> elsewhere = absentElsewhere(l.at, l.picture, l.flux);
            l.absence = elsewhere ? 1 : 0;
            l.elsewhere = elsewhere.value_or(0);
        }
        return l.absence == 1;
    }

    bool likeBrightness(const Lonely& a, const Lonely& b) const {
        return std::abs(2.5 * std::log10(b.flux / a.flux)) <= m_o.magnitudeTolerance;
    }

    bool stepAllowed(double d) const { return d > m_minStep && d < m_o.maxStep; }

    /// Two pictures: every lonely source of picture 1 with every lonely source of picture 2 in the
    /// distance band and of like brightness; each source in one pair at most, the pairs of the
    /// most alike brightness first.
    QVector<QVector<Lonely>> pairs() {
        struct Pair {
            const Lonely* a;
            const Lonely* b;
            double dm;
        };
        std::vector<Pair> all;
        for (const Lonely& a : m_p[0].lonely) {
            if (stopRequestedHere()) break;
            if (!strong(a)) continue;
            m_p[1].lonelyGrid.near(a.at, m_o.maxStep, [&](int k, double d) {
                const Lonely& b = m_p[1].lonely[k];
                if (strong(b) && stepAllowed(d) && likeBrightness(a, b))
                    all.push_back({&a, &b, std::abs(std::log10(b.flux / a.flux))});
            });
        }
        std::stable_sort(all.begin(), all.end(), [](const Pair& x, const Pair& y) { return x.dm < y.dm; });
        QVector<QVector<Lonely>> chosen;
        for (const Pair& p : all)
            if (take({*p.a, *p.b})) chosen.push_back({*p.a, *p.b});
        return chosen;
    }

    /// Three pictures: two lonely sources of two pictures predict where the object stands in the
    /// third; a lonely source there, or (when the list has none) a significant spot in the pixels
    /// that the other two pictures lack, makes a track. Tracks of the smallest misses first.
    QVector<QVector<Lonely>> tracks() {
        struct Track {
            QVector<Lonely> members; // by picture
            double score;
        };
        std::vector<Track> all, partial;
        static constexpr std::array<std::array<int, 3>, 3> Orders{{{0, 1, 2}, {0, 2, 1}, {1, 2, 0}}};
        for (const auto& [i, j, c] : Orders) {
            const double span = m_t[j] - m_t[i];
            for (const Lonely& a : m_p[i].lonely) {
                if (stopRequestedHere()) break;
                if (a.snr < m_o.confirmSignificance || !absent(a)) continue;
                m_p[j].lonelyGrid.near(a.at, 2 * m_o.maxStep, [&](int k, double) {
                    const Lonely& b = m_p[j].lonely[k];
                    // One of the two stands out, well above what the other pictures show at its
                    // place (a faint star the detection caught in one picture only does not); the
                    // other may be as faint as a third member.
                    const Lonely& bright = a.snr >= b.snr ? a : b;
                    if (bright.snr < m_o.trackSignificance || b.snr < m_o.confirmSignificance ||
                        !likeBrightness(a, b) || !absent(b) ||
                        bright.snr - bright.elsewhere < m_o.trackVanish)
                        return;
                    if (std::abs(m_t[j] - m_t[i]) < 1e-12) return;
                    const QPointF v = (b.at - a.at) / span;
                    const QPointF predicted = a.at + v * (m_t[c] - m_t[i]);
                    const double step = std::min(distance(predicted, a.at), distance(predicted, b.at));
                    const double tolerance = m_o.trackTolerance + 0.02 * step;
                    if (!inOverlap(predicted)) return;
                    std::optional<Lonely> third = listedAt(c, predicted, tolerance, a);
                    if (!third) third = measuredAt(c, predicted, tolerance, a, i, j);
                    QVector<Lonely> members(3);
                    members[i] = a;
                    members[j] = b;
                    if (!third) {
                        // Two sources that would each make a pair, with the third picture
                        // unable to show the object where they put it.
                        members[c] = {c, -1, predicted, (a.flux + b.flux) / 2, 0};
                        if (strong(a) && strong(b) && stepsAllowed(members) && hidden(c, predicted, a, i, j))
                            partial.push_back({members, std::abs(std::log10(b.flux / a.flux))});
                        return;
                    }
                    members[c] = *third;
                    if (!stepsAllowed(members) || !likeBrightness(b, *third)) return;
                    // The three together, as the pictures stacked along the track would show it.
                    double sum = 0;
                    for (const Lonely& m : members)
                        sum += m.snr;
                    if (sum / std::sqrt(3.0) < m_o.trackCombined) return;
                    const double miss = chordMiss(members);
                    if (miss <= m_o.trackChi2) all.push_back({members, miss});
                });
            }
        }
        // Objects seen in every picture first, then those seen in two.
        auto byScore = [](const Track& x, const Track& y) { return x.score < y.score; };
        std::stable_sort(all.begin(), all.end(), byScore);
        std::stable_sort(partial.begin(), partial.end(), byScore);
        all.insert(all.end(), partial.begin(), partial.end());
        QVector<QVector<Lonely>> chosen;
        for (const Track& t : all)
            if (take(t.members)) chosen.push_back(t.members);
        return chosen;
    }

    /// Whether picture c cannot show an object like `like` at a spot (picture 1's pixels): a star
    /// stands there (the other pictures' lists or pixels show it), or a star of c much brighter
    /// than the object stands so near that its light there outshines the object's peak.
    bool hidden(int c, QPointF at, const Lonely& like, int i, int j) const {
        if (listedNear(i, at, like.flux) || listedNear(j, at, like.flux) ||
            !absentElsewhere(at, c, like.flux))
            return true;
        const Prepared& p = m_p[c];
        const double sigma = p.fwhm / FwhmPerSigma * p.in->toPicture1.scale();
        const double object = like.flux * std::pow(10.0, p.zeroPoint);
        bool outshone = false;
        p.grid.near(at, m_match + 4 * sigma, [&](int k, double d) {
            const Star& s = p.in->stars.stars[k];
            if (s.flags & StarHotPixel || s.flux <= object) return;
            outshone = outshone || d <= m_match + sigma * std::sqrt(2 * std::log(s.flux / object));
        });
        return outshone;
    }

    /// A source that could make a pair on its own: significant, and well above what the other
    /// pictures show at its place (a faint star that the detection found in one picture only,
    /// and whose pixels happen to be low in the other, is not).
    bool strong(const Lonely& s) const {
        return s.snr >= m_o.minSignificance && absent(s) && s.snr - s.elsewhere >= m_o.vanishSignificance;
    }

    std::optional<Lonely> listedAt(int c, QPointF predicted, double tolerance, const Lonely& like) const {
        std::optional<Lonely> best;
        double bestD = tolerance;
        m_p[c].lonelyGrid.near(predicted, tolerance, [&](int k, double d) {
            const Lonely& s = m_p[c].lonely[k];
            if (d <= bestD && s.snr >= m_o.confirmSignificance && likeBrightness(like, s) && absent(s)) {
                best = s;
                bestD = d;
            }
        });
        return best;
    }

    std::optional<Lonely> measuredAt(int c, QPointF predicted, double tolerance, const Lonely& like, int i,
                                     int j) const {
        const Prepared& p = m_p[c];
        if (!p.hasPixels()) return std::nullopt;
        // Something right at the prediction, and significant where its centroid lies: a centroid
        // let wander alone would find the highest bump of the noise nearby.
        const SpotMeasure there = p.measure(predicted, false);
        if (!there.ok || there.snr < m_o.absentSignificance) return std::nullopt;
        const SpotMeasure m = p.measure(predicted, true);
        if (!m.ok || m.snr < m_o.confirmSignificance || m.flux <= 0) return std::nullopt;
        Lonely s{c, -1, p.toPicture1(m.centre), m.flux / std::pow(10.0, p.zeroPoint), m.snr};
        if (distance(s.at, predicted) > tolerance || !likeBrightness(like, s) || !inOverlap(s.at))
            return std::nullopt;
        // What the pixels show there must be missing from the other two pictures, and must not be
        // a star their lists hold.
        for (int k : {i, j})
            if (listedNear(k, s.at, s.flux)) return std::nullopt;
        if (!absent(s)) return std::nullopt;
        return s;
    }

    /// How far a source's centroid may lie off, one sigma along each axis in picture 1's pixels:
    /// for a Gaussian star, sqrt(2) times its sigma over its signal-to-noise.
    double positionSigma(const Lonely& s) const {
        const Prepared& p = m_p[s.picture];
        return std::sqrt(2.0) * p.fwhm / FwhmPerSigma * p.in->toPicture1.scale() / std::max(s.snr, 1.0);
    }

    /// How far the middle position (in time) of a track lies off the line through the other two,
    /// against what their centroids' noise allows: the chi-square of the miss (two degrees of
    /// freedom). A floor of 0.1 pixel and 1 % of a step stands for the registration and for
    /// motion that is not quite straight.
    double chordMiss(const QVector<Lonely>& m) const {
        std::array<int, 3> o{0, 1, 2};
        std::sort(o.begin(), o.end(), [this](int x, int y) { return m_t[x] < m_t[y]; });
        const double tau = (m_t[o[1]] - m_t[o[0]]) / (m_t[o[2]] - m_t[o[0]]);
        const QPointF line = m[o[0]].at + (m[o[2]].at - m[o[0]].at) * tau;
        const QPointF miss = m[o[1]].at - line;
        const double floor = 0.1 + 0.01 * distance(m[o[2]].at, m[o[0]].at) / 2;
        const double variance = std::pow(positionSigma(m[o[1]]), 2) +
                                std::pow((1 - tau) * positionSigma(m[o[0]]), 2) +
                                std::pow(tau * positionSigma(m[o[2]]), 2) + floor * floor;
        return (miss.x() * miss.x() + miss.y() * miss.y()) / variance;
    }

    /// Successive steps in time order, each within the distance band.
    bool stepsAllowed(const QVector<Lonely>& members) const {
        std::vector<int> order(size_t(members.size()));
        std::iota(order.begin(), order.end(), 0);
        std::sort(order.begin(), order.end(), [this](int x, int y) { return m_t[x] < m_t[y]; });
        for (size_t k = 1; k < order.size(); ++k)
            if (!stepAllowed(distance(members[order[k]].at, members[order[k - 1]].at))) return false;
        return true;
    }

    static qint64 key(const Lonely& s) { return qint64(s.picture) << 32 | quint32(s.index); }

    /// Takes a candidate unless one of its sources belongs to a candidate already taken.
    bool take(const QVector<Lonely>& members) {
        for (const Lonely& s : members) {
            if (s.index >= 0 && m_used.contains(key(s))) return false;
            for (const QPointF& p : m_takenAt[s.picture])
                if (distance(p, s.at) <= m_match) return false;
        }
        for (const Lonely& s : members) {
            if (s.index >= 0) m_used.insert(key(s));
            m_takenAt[s.picture].push_back(s.at);
        }
        // A lonely source of another candidate's spot is not a flash either.
        for (const Lonely& s : members)
            for (const Lonely& l : m_p[s.picture].lonely)
                if (distance(l.at, s.at) <= m_match) m_used.insert(key(l));
        return true;
    }

    MovingCandidate candidate(const QVector<Lonely>& members) const {
        MovingCandidate c;
        QVector<const Lonely*> seen;
        for (const Lonely& s : members) {
            c.at.push_back(s.at);
            c.significance.push_back(s.snr);
            if (s.snr > 0)
                seen.push_back(&s);
            else
                c.unseen = s.picture;
        }
        const auto [first, last] = std::minmax_element(m_t.begin(), m_t.end());
        const QPointF d = members[int(last - m_t.begin())].at - members[int(first - m_t.begin())].at;
        c.perHour = m_perHour;
        c.speed = std::hypot(d.x(), d.y()) / (*last - *first);
        c.directionDegrees = std::fmod(std::atan2(d.x(), -d.y()) * 180 / M_PI + 360, 360);
        c.magnitudeDifference = -2.5 * std::log10(seen.back()->flux / seen.front()->flux);
        return c;
    }

    MovingSearchOptions m_o;
    QVector<Prepared> m_p;
    QVector<double> m_t; ///< each picture's time: hours, or its index when some are unknown
    bool m_perHour = false;
    double m_fwhm = 2.5, m_match = 2.5, m_minStep = 5;
    QSet<qint64> m_used;
    std::array<QVector<QPointF>, 3> m_takenAt;
};

} // namespace

namespace {

/// Brightness of a row as whole grey levels x 256 (lumaOf), inverted on a chart.
void lumaRow(const QImage& picture, int y, std::vector<int>& out) {
    const PictureRow row = pictureRow(picture, y);
    for (int x = 0; x < picture.width(); ++x)
        out[size_t(x)] = row.grey ? lumaOf(row.grey[x]) : lumaOf(row.rgb[x]);
}

/// The brightness of picture through the 3 x 3 kernel [1 2 1] x [1 2 1] / 16, as grey bytes; the
/// edge rows and columns repeated outward.
QImage smoothedBrightness(const QImage& picture) {
    const int w = picture.width(), h = picture.height();
    QImage out(w, h, QImage::Format_Grayscale8);
    std::vector<int> luma(static_cast<size_t>(w));
    std::array<std::vector<int>, 3> across; // rows y - 1, y, y + 1 smoothed across, by y % 3
    for (auto& r : across)
        r.resize(size_t(w));
    auto smoothAcross = [&](int y) {
        lumaRow(picture, std::clamp(y, 0, h - 1), luma);
        std::vector<int>& r = across[size_t((y + 3) % 3)];
        for (int x = 0; x < w; ++x)
            r[size_t(x)] =
                luma[size_t(std::max(0, x - 1))] + 2 * luma[size_t(x)] + luma[size_t(std::min(w - 1, x + 1))];
    };
    smoothAcross(-1);
    smoothAcross(0);
    for (int y = 0; y < h && !stopRequestedHere(); ++y) {
        smoothAcross(y + 1);
        const int* up = across[size_t((y + 2) % 3)].data();
        const int* mid = across[size_t(y % 3)].data();
        const int* down = across[size_t((y + 1) % 3)].data();
        uchar* line = out.scanLine(y);
        constexpr int Scale = 16 * 256;
        for (int x = 0; x < w; ++x)
            line[x] = uchar((up[x] + 2 * mid[x] + down[x] + Scale / 2) / Scale);
    }
    return out;
}

} // namespace

StarList detectForMovingSearch(const QImage& picture) {
    DetectOptions options;
    options.sigmas = 3;
    StarList list = detectStars(smoothedBrightness(picture), options);
    // The kernel adds 0.5 pixel squared to a star's variance along each axis.
    constexpr double KernelFwhm2 = 0.5 * FwhmPerSigma * FwhmPerSigma;
    for (Star& s : list.stars) {
        if (s.fwhm > 0) s.fwhm = std::sqrt(std::max(0.25, s.fwhm * s.fwhm - KernelFwhm2));
        // The smoothing spreads a hot pixel like a star: it is told by the picture itself, its
        // brightest pixel standing alone. A chart has no sensor, and no hot pixels.
        const int px = int(s.x), py = int(s.y);
        if (list.inverted || px < 2 || py < 2 || px + 2 >= picture.width() || py + 2 >= picture.height())
            continue;
        auto above = [&](int x, int y) { return lumaOf(pictureColour(picture, x, y)) - s.background * 256; };
        QPoint top(px, py);
        for (int y = py - 1; y <= py + 1; ++y)
            for (int x = px - 1; x <= px + 1; ++x)
                if (above(x, y) > above(top.x(), top.y())) top = QPoint(x, y);
        double neighbour = -1e9;
        for (int y = top.y() - 1; y <= top.y() + 1; ++y)
            for (int x = top.x() - 1; x <= top.x() + 1; ++x)
                if (QPoint(x, y) != top) neighbour = std::max(neighbour, above(x, y));
        const double peak = above(top.x(), top.y());
        if (peak > 0 && neighbour < options.hotRatio * peak) s.flags |= StarHotPixel;
    }
    return list;
}

double typicalFwhm(const StarList& list, double fallback) {
    std::vector<double> widths;
    for (const Star& s : list.stars)
        if (s.usable() && s.fwhm > 0) widths.push_back(s.fwhm);
    return widths.empty() ? fallback : median(widths);
}

SpotMeasure measureSpot(const QImage& picture, bool inverted, QPointF at, double fwhm, bool recentre) {
    SpotMeasure m;
    m.centre = at;
    const SpotGeometry g(fwhm);
    const SpotWindow w(picture, inverted, at, g);
    if (!w.ok) return m;
    m.background = w.background;
    m.noise = w.noise;

    // Sums of the profile-weighted pixels above the background within the core round c. The
    // profile is a product of one Gaussian across and one down.
    struct Sums {
        double wi = 0, wix = 0, wiy = 0, gg = 0;
    };
    const double twoS2 = 2 * g.sigma * g.sigma;
    std::vector<double> wx(size_t(2 * g.core + 1)), wy(wx.size());
    auto sums = [&](QPointF c) {
        Sums s;
        const int px = int(std::floor(c.x())), py = int(std::floor(c.y()));
        for (int i = -g.core; i <= g.core; ++i) {
            const double dx = px + i + 0.5 - c.x(), dy = py + i + 0.5 - c.y();
            wx[size_t(i + g.core)] = std::exp(-dx * dx / twoS2);
            wy[size_t(i + g.core)] = std::exp(-dy * dy / twoS2);
        }
        for (int j = -g.core; j <= g.core; ++j) {
            const int y = py + j;
            if (!w.holdsRow(y)) continue;
            double rowWi = 0, rowWix = 0, rowGg = 0;
            for (int i = -g.core; i <= g.core; ++i) {
                const int x = px + i;
                if (!w.holdsColumn(x)) continue;
                const double weight = wx[size_t(i + g.core)];
                const double value = w.above(x, y);
                rowWi += weight * value;
                rowWix += weight * value * (x + 0.5 - c.x());
                rowGg += weight * weight;
            }
            const double weight = wy[size_t(j + g.core)];
            s.wi += weight * rowWi;
            s.wix += weight * rowWix;
            s.wiy += weight * rowWi * (y + 0.5 - c.y());
            s.gg += weight * weight * rowGg;
        }
        return s;
    };

    QPointF c = at;
    if (recentre) {
        // The windowed centroid: with a window of the star's own profile, the weighted mean lies
        // halfway between the window's centre and the star's, hence the factor 2.
        for (int iteration = 0; iteration < 10; ++iteration) {
            const Sums s = sums(c);
            if (s.wi <= 0) return m;
            QPointF step(2 * s.wix / s.wi, 2 * s.wiy / s.wi);
            const double length = std::hypot(step.x(), step.y());
            if (length > g.sigma) step *= g.sigma / length;
            c += step;
            if (distance(c, at) > std::max(1.0, fwhm)) return m;
            if (length < 0.01) break;
        }
    }
    const Sums s = sums(c);
    const double norm = 1 / (M_PI * twoS2); // the profile's height for a unit flux
    m.centre = c;
    m.flux = s.wi / (s.gg * norm);
    m.snr = s.wi / (std::sqrt(s.gg) * m.noise);
    m.ok = true;
    return m;
}

std::optional<double> measureWidth(const QImage& picture, bool inverted, QPointF at, double guessFwhm) {
    const SpotGeometry g(1.5 * guessFwhm);
    const SpotWindow w(picture, inverted, at, g);
    if (!w.ok) return std::nullopt;
    // Second moments weighted by a Gaussian of the star's own width: for a Gaussian star of
    // variance s2 (each axis) and a weight of variance w2, the weighted r^2 averages
    // 2 s2 w2 / (s2 + w2), which gives s2; the weight then takes the width found.
    double w2 = std::pow(guessFwhm / FwhmPerSigma, 2);
    for (int iteration = 0; iteration < 8; ++iteration) {
        double sum = 0, moment = 0;
        for (int y = int(at.y()) - g.core; y <= int(at.y()) + g.core; ++y)
            for (int x = int(at.x()) - g.core; x <= int(at.x()) + g.core; ++x) {
                const double dx = x + 0.5 - at.x(), dy = y + 0.5 - at.y(), r2 = dx * dx + dy * dy;
                const double weighted = std::exp(-r2 / (2 * w2)) * w.above(x, y);
                sum += weighted;
                moment += weighted * r2;
            }
        if (sum <= 0) return std::nullopt;
        const double p2 = moment / sum / 2; // variance of the product, each axis
        if (p2 <= 0 || p2 >= w2) return std::nullopt;
        w2 = std::clamp(p2 * w2 / (w2 - p2), 0.05, double(g.core * g.core));
    }
    return FwhmPerSigma * std::sqrt(w2);
}

double pictureFwhm(const StarList& list, const QImage& picture) {
    const double guess = typicalFwhm(list);
    std::vector<double> widths;
    for (const Star& s : list.stars) {
        if (!s.usable() || widths.size() >= 30) continue;
        if (const std::optional<double> w = measureWidth(picture, list.inverted, s.position(), guess))
            widths.push_back(*w);
    }
    return widths.size() >= 5 ? median(widths) : guess;
}

MovingSearchResult findMovingObjects(const QVector<SearchPicture>& pictures,
                                     const MovingSearchOptions& options) {
    if (pictures.size() < 2 || pictures.size() > 3) return {};
    return Search(pictures, options).run();
}

} // namespace vorlan
