#include "stars/stardetect.h"

#include "common/jobrunner.h"

#include "stars/backgroundmap.h"
#include "stars/pixelluma.h"
#include "view/picturerows.h"

#include <algorithm>
#include <array>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <cmath>
#include <limits>
#include <vector>

namespace vorlan {

namespace {

/// Pixels whose bytes are checked together against the lowest threshold under them before any
/// pixel of them is looked at on its own: most of a sky picture is background far below it.
constexpr int Block = 64;
/// A source larger than this is no star; it is not measured in a window.
constexpr int MaxStarPixels = 20000;

/// How a picture's bytes read as brightness, 1/256 grey levels, inverted on a chart.
template <bool Grey, bool Inverted> struct Luma {
    static int at(const uchar* line, int x) {
        const int v = Grey ? lumaOf(line[x]) : lumaOf(reinterpret_cast<const QRgb*>(line)[x]);
        return Inverted ? LumaWhite - v : v;
    }
    /// An upper bound of the brightness of pixels x .. x + n - 1, from the brightest value of
    /// each channel among them (the darkest, inverted). 16 bytes at a time, so that it keeps pace
    /// with the memory.
    static int bound(const uchar* line, int x, int n) {
        constexpr int Bpp = Grey ? 1 : 4;
        const uchar* p = line + x * Bpp;
        const int bytes = n * Bpp;
        // Extreme of each byte position within a pixel (only [0] for grey).
        int extreme[4] = {Inverted ? 255 : 0, Inverted ? 255 : 0, Inverted ? 255 : 0, Inverted ? 255 : 0};
        auto take = [&](int lane, int v) {
            extreme[lane] = Inverted ? std::min(extreme[lane], v) : std::max(extreme[lane], v);
        };
        int i = 0;
#if defined(__SSE2__)
        if (bytes >= 16) {
            __m128i acc = _mm_set1_epi8(char(Inverted ? 0xff : 0));
            for (; i + 16 <= bytes; i += 16) {
                const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
                acc = Inverted ? _mm_min_epu8(acc, v) : _mm_max_epu8(acc, v);
            }
            // Fold the 16 lanes onto the first Bpp, keeping byte positions within a pixel apart.
            const __m128i h8 = _mm_srli_si128(acc, 8);
            acc = Inverted ? _mm_min_epu8(acc, h8) : _mm_max_epu8(acc, h8);
            const __m128i h4 = _mm_srli_si128(acc, 4);
            acc = Inverted ? _mm_min_epu8(acc, h4) : _mm_max_epu8(acc, h4);
            if (Grey) {
                const __m128i h2 = _mm_srli_si128(acc, 2);
                acc = Inverted ? _mm_min_epu8(acc, h2) : _mm_max_epu8(acc, h2);
                const __m128i h1 = _mm_srli_si128(acc, 1);
                acc = Inverted ? _mm_min_epu8(acc, h1) : _mm_max_epu8(acc, h1);
            }
            const quint32 lanes = quint32(_mm_cvtsi128_si32(acc));
            for (int j = 0; j < Bpp; ++j)
                take(j, int((lanes >> (8 * j)) & 0xff));
        }
#endif
        for (; i < bytes; ++i)
            take(i % Bpp, p[i]);
        int top;
        if (Grey) {
            top = lumaOf(uchar(extreme[0]));
        } else {
            const int b = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? 0 : 3,
                      d = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? 1 : -1;
            top = lumaOf(qRgb(extreme[b + 2 * d], extreme[b + d], extreme[b]));
        }
        return Inverted ? LumaWhite - top : top;
    }
};

/// Sums over the pixels of one connected group, values above the local background.
struct Blob {
    int parent = 0;
    int n = 0;
    double sum = 0, sx = 0, sy = 0, sxx = 0, syy = 0, sxy = 0;
    float peak = 0;
    int peakX = 0, peakY = 0;
    int x0 = 0, x1 = 0, y0 = 0, y1 = 0;
    bool done = false; ///< no pixel of a later row can join it

    double cx() const { return sx / sum; }
    double cy() const { return sy / sum; }
    /// Flux-weighted second moments about the centroid, pixels squared.
    double cxx() const { return std::max(0.0, sxx / sum - cx() * cx()); }
    double cyy() const { return std::max(0.0, syy / sum - cy() * cy()); }
    double cxy() const { return sxy / sum - cx() * cy(); }
    /// Mean variance along the axes, with a pixel's own 1/12 so that a one-pixel line stays finite.
    double variance() const { return (cxx() + cyy()) / 2 + 1.0 / 12; }
    /// The half-width of the window a star of this blob is measured in, pixels.
    int windowRadius(int most) const {
        const int extent = std::max(x1 - x0, y1 - y0);
        return std::clamp(int(std::ceil(std::max(4 * std::sqrt(variance()), extent * 0.6))) + 2, 5, most);
    }

    void merge(const Blob& o) {
        n += o.n;
        sum += o.sum;
        sx += o.sx;
        sy += o.sy;
        sxx += o.sxx;
        syy += o.syy;
        sxy += o.sxy;
        if (o.peak > peak) {
            peak = o.peak;
            peakX = o.peakX;
            peakY = o.peakY;
        }
        x0 = std::min(x0, o.x0);
        x1 = std::max(x1, o.x1);
        y0 = std::min(y0, o.y0);
        y1 = std::max(y1, o.y1);
    }
};

/// Groups row runs of pixels above the threshold into 8-connected blobs as the rows go by:
/// each run joins the blobs of the runs it touches in the row above (union-find), so no pixel is
/// visited twice and a blob is complete as soon as a row passes without touching it.
class Labeller {
  public:
    std::vector<Blob> blobs;

    /// Run x0..x1 of row y; values[x] is each pixel's value above the background, grey levels.
    void addRun(int y, int x0, int x1, const float* values) {
        int label = -1;
        while (m_next < m_prev.size() && m_prev[m_next].x1 < x0 - 1)
            ++m_next;
        for (size_t q = m_next; q < m_prev.size() && m_prev[q].x0 <= x1 + 1; ++q)
            label = label < 0 ? find(m_prev[q].label) : unite(label, m_prev[q].label);
        if (label < 0) {
            label = int(blobs.size());
            Blob b;
            b.parent = label;
            b.x0 = x0;
            b.x1 = x1;
            b.y0 = b.y1 = y;
            blobs.push_back(b);
        }
        Blob& b = blobs[label];
        const double cy = y + 0.5;
        double s = 0, sx = 0, sxx = 0;
        for (int x = x0; x <= x1; ++x) {
            const double v = values[x], cx = x + 0.5;
            s += v;
            sx += v * cx;
            sxx += v * cx * cx;
            if (values[x] > b.peak) {
                b.peak = values[x];
                b.peakX = x;
                b.peakY = y;
            }
        }
        b.n += x1 - x0 + 1;
        b.sum += s;
        b.sx += sx;
        b.sy += s * cy;
        b.sxx += sxx;
        b.syy += s * cy * cy;
        b.sxy += sx * cy;
        b.x0 = std::min(b.x0, x0);
        b.x1 = std::max(b.x1, x1);
        b.y1 = y;
        m_cur.push_back({x0, x1, label});
    }

    /// Ends row y. The blobs that had a run in row y - 1 and none in row y are complete: their
    /// indices go to finished.
    void endRow(int y, std::vector<int>& finished) {
        for (const Run& r : m_prev) {
            const int root = find(r.label);
            if (blobs[root].y1 < y && !blobs[root].done) {
                blobs[root].done = true;
                finished.push_back(root);
            }
        }
        std::swap(m_prev, m_cur);
        m_cur.clear();
        m_next = 0;
    }

    int find(int i) {
        while (blobs[i].parent != i) {
            blobs[i].parent = blobs[blobs[i].parent].parent;
            i = blobs[i].parent;
        }
        return i;
    }

  private:
    struct Run {
        int x0, x1, label;
    };

    int unite(int a, int b) {
        a = find(a);
        b = find(b);
        if (a == b) return a;
        if (b < a) std::swap(a, b);
        blobs[a].merge(blobs[b]);
        blobs[b].parent = a;
        return a;
    }

    std::vector<Run> m_prev, m_cur;
    size_t m_next = 0;
};

/// Level and threshold along one cell row, 1/256 grey levels, and the lowest threshold under
/// each block of pixels.
struct CellRowProfile {
    int j = -1;
    std::vector<float> level, threshold, blockMin;

    void make(const BackgroundMap& map, int row, int width, double sigmas) {
        j = row;
        level.resize(width);
        threshold.resize(width);
        map.profile(row, 0, level.data());
        map.profile(row, sigmas, threshold.data());
        blockMin.resize((width + Block - 1) / Block);
        for (size_t b = 0; b < blockMin.size(); ++b) {
            const int x0 = int(b) * Block, x1 = std::min(width, x0 + Block);
            blockMin[b] = *std::min_element(threshold.begin() + x0, threshold.begin() + x1);
        }
    }
};

/// The pass over every pixel: rows in order, blocks whose bound stays under the threshold
/// skipped whole, the rest compared pixel by pixel and handed to the labeller as runs. Each
/// blob is handed to measure as soon as the rows of its measuring window have been read, while
/// they are still in the processor's cache.
template <bool Grey, bool Inverted, class Measure>
void labelPicture(const QImage& picture, const BackgroundMap& map, double sigmas, int maxRadius,
                  Measure&& measure) {
    using L = Luma<Grey, Inverted>;
    const int w = picture.width(), h = picture.height();
    Labeller labeller;
    CellRowProfile profiles[2];
    std::vector<float> values(w);
    std::vector<int> finished;
    std::vector<std::pair<int, int>> waiting; // (row after which it is measured, blob)
    auto measureReady = [&](int y) {
        for (int f : finished)
            waiting.push_back({labeller.blobs[f].y1 + labeller.blobs[f].windowRadius(maxRadius), f});
        finished.clear();
        auto ready =
            std::partition(waiting.begin(), waiting.end(), [y](const auto& p) { return p.first > y; });
        for (auto it = ready; it != waiting.end(); ++it)
            measure(labeller.blobs[it->second]);
        waiting.erase(ready, waiting.end());
    };
    for (int y = 0; y < h; ++y) {
        // A stopped job keeps the sources found so far; its caller drops them.
        if (stopRequestedHere()) return;
        int j0, j1;
        float t;
        map.rowBlend(y, j0, j1, t);
        if (profiles[0].j != j0) {
            if (profiles[1].j == j0)
                std::swap(profiles[0], profiles[1]);
            else
                profiles[0].make(map, j0, w, sigmas);
        }
        if (profiles[1].j != j1) profiles[1].make(map, j1, w, sigmas);
        const CellRowProfile &p0 = profiles[0], &p1 = profiles[1];
        const PictureRow row = pictureRow(picture, y);
        const uchar* line = Grey ? row.grey : reinterpret_cast<const uchar*>(row.rgb);
        int runStart = -1;
        for (int b = 0, x0 = 0; x0 < w; ++b, x0 += Block) {
            const int n = std::min(Block, w - x0);
            if (L::bound(line, x0, n) <= std::min(p0.blockMin[b], p1.blockMin[b])) {
                if (runStart >= 0) labeller.addRun(y, runStart, x0 - 1, values.data());
                runStart = -1;
                continue;
            }
            for (int x = x0; x < x0 + n; ++x) {
                const float v = float(L::at(line, x));
                const float thr = p0.threshold[x] + t * (p1.threshold[x] - p0.threshold[x]);
                if (v > thr) {
                    if (runStart < 0) runStart = x;
                    values[x] = (v - (p0.level[x] + t * (p1.level[x] - p0.level[x]))) * (1.0f / 256);
                } else if (runStart >= 0) {
                    labeller.addRun(y, runStart, x - 1, values.data());
                    runStart = -1;
                }
            }
        }
        if (runStart >= 0) labeller.addRun(y, runStart, w - 1, values.data());
        labeller.endRow(y, finished);
        measureReady(y);
    }
    labeller.endRow(h, finished);
    measureReady(std::numeric_limits<int>::max());
}

/// Reads pixels round a source as values above the local background, grey levels: the
/// background map's plane through the window, lifted or lowered by the median of the window's
/// border, so that a glow the map follows only coarsely neither pulls the centre nor widens the star.
class SourceWindow {
  public:
    static constexpr int MaxRadius = 24;
    static constexpr int MaxSide = 2 * MaxRadius + 1;
    int x0 = 0, y0 = 0, w = 0, h = 0;
    std::array<double, MaxSide * MaxSide> v;
    double background = 0; ///< at (cx + 0.5, cy + 0.5)

    /// radius at most MaxRadius.
    SourceWindow(const QImage& picture, const BackgroundMap& map, int cx, int cy, int radius, bool border) {
        radius = std::min(radius, MaxRadius);
        x0 = std::max(0, cx - radius);
        y0 = std::max(0, cy - radius);
        w = std::max(0, std::min(picture.width(), cx + radius + 1) - x0);
        h = std::max(0, std::min(picture.height(), cy + radius + 1) - y0);
        double gx, gy;
        background = map.levelAndSlope(cx + 0.5, cy + 0.5, gx, gy);
        const bool inverted = map.inverted();
        for (int y = 0; y < h; ++y) {
            const PictureRow row = pictureRow(picture, y0 + y);
            const double rowLevel = background + gy * (y0 + y - cy) + gx * (x0 - cx);
            double* out = &v[size_t(y) * w];
            for (int x = 0; x < w; ++x) {
                const int raw = row.grey ? lumaOf(row.grey[x0 + x]) : lumaOf(row.rgb[x0 + x]);
                out[x] = (inverted ? LumaWhite - raw : raw) * (1.0 / 256) - rowLevel - gx * x;
            }
        }
        if (!border || w < 3 || h < 3) return;
        // Every other pixel of the border is enough for its median.
        std::array<double, 2 * MaxSide> edge;
        int n = 0;
        for (int x = 0; x < w; x += 2) {
            edge[n++] = v[x];
            edge[n++] = v[size_t(h - 1) * w + x];
        }
        for (int y = 1; y < h - 1; y += 2) {
            edge[n++] = v[size_t(y) * w];
            edge[n++] = v[size_t(y) * w + w - 1];
        }
        std::nth_element(edge.begin(), edge.begin() + n / 2, edge.begin() + n);
        const double lift = edge[n / 2];
        for (int i = 0; i < w * h; ++i)
            v[i] -= lift;
        background += lift;
    }
    double at(int x, int y) const { return v[size_t(y - y0) * w + (x - x0)]; }
    bool contains(int x, int y) const { return x >= x0 && y >= y0 && x < x0 + w && y < y0 + h; }
};

/// Centroid refined with a Gaussian weight centred on it (the fixed point is the centre of any
/// symmetric profile, and the weight keeps noise and neighbours far from the centre out), the
/// width from the weighted second moments (exact for a Gaussian profile: a Gaussian of variance
/// s2 under a weight of variance w2 shows s2 w2 / (s2 + w2)), and the flux inside 3 sigma.
/// False when the window holds no clear peak.
bool measureInWindow(const SourceWindow& win, double sigma0, Star& s) {
    double cx = s.x, cy = s.y;
    const double maxW2 = std::max(0.5, std::pow(std::min(win.w, win.h) / 8.0, 2));
    double w2 = std::clamp(sigma0 * sigma0, 0.5, maxW2);
    double s2 = w2;
    std::array<double, SourceWindow::MaxSide> wx, wy;
    // Gaussian weights along one axis from first to last, by the recurrence of their ratios:
    // three exponentials an axis instead of one a pixel.
    auto weights = [&](int origin, int first, int last, double centre,
                       std::array<double, SourceWindow::MaxSide>& out) {
        const double d0 = origin + first + 0.5 - centre;
        double w = std::exp(-d0 * d0 / (2 * w2)), r = std::exp(-(2 * d0 + 1) / (2 * w2));
        const double q = std::exp(-1 / w2);
        for (int i = first; i <= last; ++i) {
            out[i] = w;
            w *= r;
            r *= q;
        }
    };
    bool converged = false;
    for (int it = 0; it < 12 && !converged; ++it) {
        // Only where the weight is not negligible (beyond 4 sigma it is below 0.04 %).
        const double reach = 4 * std::sqrt(w2) + 1;
        const int i0 = std::max(0, int(cx - reach) - win.x0),
                  i1 = std::min(win.w - 1, int(cx + reach) - win.x0);
        const int j0 = std::max(0, int(cy - reach) - win.y0),
                  j1 = std::min(win.h - 1, int(cy + reach) - win.y0);
        if (i0 > i1 || j0 > j1) return false;
        weights(win.x0, i0, i1, cx, wx);
        weights(win.y0, j0, j1, cy, wy);
        // Per column: the weight, and the weight times the offset and its square.
        std::array<double, SourceWindow::MaxSide> ax, axx;
        for (int i = i0; i <= i1; ++i) {
            const double dx = win.x0 + i + 0.5 - cx;
            ax[i] = wx[i] * dx;
            axx[i] = ax[i] * dx;
        }
        double S = 0, Sx = 0, Sy = 0, Sxx = 0, Syy = 0;
        for (int j = j0; j <= j1; ++j) {
            const double dy = win.y0 + j + 0.5 - cy;
            const double* row = &win.v[size_t(j) * win.w];
            // Two sets of sums, so that consecutive additions do not wait on each other.
            double rs[2] = {0, 0}, rsx[2] = {0, 0}, rsxx[2] = {0, 0};
            int i = i0;
            for (; i + 1 <= i1; i += 2)
                for (int k = 0; k < 2; ++k) {
                    rs[k] += wx[i + k] * row[i + k];
                    rsx[k] += ax[i + k] * row[i + k];
                    rsxx[k] += axx[i + k] * row[i + k];
                }
            if (i <= i1) {
                rs[0] += wx[i] * row[i];
                rsx[0] += ax[i] * row[i];
                rsxx[0] += axx[i] * row[i];
            }
            const double rowSum = rs[0] + rs[1];
            S += wy[j] * rowSum;
            Sx += wy[j] * (rsx[0] + rsx[1]);
            Sy += wy[j] * rowSum * dy;
            Sxx += wy[j] * (rsxx[0] + rsxx[1]);
            Syy += wy[j] * rowSum * dy * dy;
        }
        if (S <= 0) return false;
        const double mx = Sx / S, my = Sy / S;
        const double m2 = std::max(1e-3, (Sxx / S - mx * mx + Syy / S - my * my) / 2);
        s2 = m2 < 0.95 * w2 ? m2 * w2 / (w2 - m2) : 20 * w2;
        // The step that lands on the centre at once for a Gaussian of variance s2.
        const double f = (s2 + w2) / w2;
        cx += f * mx;
        cy += f * my;
        converged = it >= 2 && std::hypot(f * mx, f * my) < 1e-3;
        if (std::hypot(cx - s.x, cy - s.y) > std::max(2.0, std::sqrt(w2) * 2)) return false;
        // Matching the weight to the star gives the least noisy centre; settle it early so the
        // last iterations converge on a fixed weight.
        if (it < 2) w2 = std::clamp(s2, 0.5, maxW2);
    }
    s.x = cx;
    s.y = cy;
    s.fwhm = 2.0 * std::sqrt(2.0 * std::log(2.0)) * std::sqrt(s2);
    const double r2 = std::max(6.25, 9 * s2);
    double flux = 0;
    for (int j = 0; j < win.h; ++j) {
        // The columns of row j whose centres lie within the circle.
        const double dy = win.y0 + j + 0.5 - cy;
        if (dy * dy > r2) continue;
        const double half = std::sqrt(r2 - dy * dy);
        const int first = std::max(0, int(std::ceil(cx - half - 0.5)) - win.x0);
        const int last = std::min(win.w - 1, int(std::floor(cx + half - 0.5)) - win.x0);
        for (int i = first; i <= last; ++i)
            flux += win.v[size_t(j) * win.w + i];
    }
    if (flux > 0) s.flux = flux;
    return true;
}

/// A labelled blob as a star: moments, flags and, for a clean source, the window measurement.
Star measureBlob(const Blob& b, const QImage& picture, const BackgroundMap& map, const DetectOptions& o) {
    Star s;
    s.pixels = b.n;
    s.peak = b.peak;
    s.flux = b.sum;
    s.x = b.cx();
    s.y = b.cy();
    const double diff = std::hypot((b.cxx() - b.cyy()) / 2, b.cxy());
    const double major = b.variance() + diff, minor = std::max(1.0 / 12, b.variance() - diff);
    s.elongation = std::sqrt(major / minor);
    s.fwhm = 2.0 * std::sqrt(2.0 * std::log(2.0)) * std::sqrt(b.variance());
    s.background = map.level(s.x, s.y);
    const int w = picture.width(), h = picture.height();
    if (b.x0 == 0 || b.y0 == 0 || b.x1 == w - 1 || b.y1 == h - 1) s.flags |= StarEdge;
    if (s.elongation >= o.trailElongation && std::sqrt(12 * major) >= o.trailLength) s.flags |= StarTrail;
    if (b.n > MaxStarPixels) s.flags |= StarExtended;
    if (s.flags & (StarTrail | StarExtended)) return s;

    {
        const SourceWindow core(picture, map, b.peakX, b.peakY, 1, false);
        double neighbour = 0;
        for (int y = b.peakY - 1; y <= b.peakY + 1; ++y)
            for (int x = b.peakX - 1; x <= b.peakX + 1; ++x)
                if ((x != b.peakX || y != b.peakY) && core.contains(x, y))
                    neighbour = std::max(neighbour, core.at(x, y));
        if (neighbour < o.hotRatio * b.peak) s.flags |= StarHotPixel;
    }
    // Too small to be a star and no hot pixel: noise, dropped by the caller unmeasured.
    if (b.n < o.minPixels && !(s.flags & StarHotPixel)) return s;
    // A chart draws every star as a filled disc: its top is the ink, not a clipped core, and
    // its centre is as good as any.
    if (!map.inverted()) {
        const QRgb c = pictureColour(picture, b.peakX, b.peakY);
        if (std::max({qRed(c), qGreen(c), qBlue(c)}) >= o.saturation) s.flags |= StarSaturated;
    }
    if (s.flags & (StarHotPixel | StarSaturated)) return s;

    const SourceWindow win(picture, map, int(s.x), int(s.y), b.windowRadius(SourceWindow::MaxRadius), true);
    Star refined = s;
    if (measureInWindow(win, 1.5 * std::sqrt(b.variance()), refined)) {
        s = refined;
        s.peak -= win.background - s.background;
        s.background = win.background;
    }
    return s;
}

} // namespace

StarList detectStars(const QImage& picture, const DetectOptions& options) {
    StarList list;
    list.width = picture.width();
    list.height = picture.height();
    if (picture.isNull() ||
        (picture.format() != QImage::Format_Grayscale8 && picture.format() != QImage::Format_RGB32))
        return list;
    const BackgroundMap map = BackgroundMap::measure(picture, options.cellSize, options.noiseFloor);
    list.backgroundMedian = map.medianLevel();
    list.noiseSigma = map.medianNoise();
    list.inverted = map.inverted();

    auto measure = [&](const Blob& b) {
        if (b.sum <= 0) return;
        const Star s = measureBlob(b, picture, map, options);
        if (s.pixels >= options.minPixels || (s.flags & StarHotPixel)) list.stars.push_back(s);
    };
    const int most = SourceWindow::MaxRadius;
    const bool grey = isGreyPicture(picture);
    if (grey && !map.inverted()) labelPicture<true, false>(picture, map, options.sigmas, most, measure);
    if (grey && map.inverted()) labelPicture<true, true>(picture, map, options.sigmas, most, measure);
    if (!grey && !map.inverted()) labelPicture<false, false>(picture, map, options.sigmas, most, measure);
    if (!grey && map.inverted()) labelPicture<false, true>(picture, map, options.sigmas, most, measure);

    // Wider than the picture's own stars by far: not a point to match on.
    std::vector<double> widths;
    for (const Star& s : list.stars)
        if (s.usable()) widths.push_back(s.fwhm);
    if (!widths.empty()) {
        std::nth_element(widths.begin(), widths.begin() + widths.size() / 2, widths.end());
        const double limit = options.extendedFwhm * widths[widths.size() / 2];
        for (Star& s : list.stars)
            if (!(s.flags & (StarHotPixel | StarTrail)) && s.fwhm > limit) s.flags |= StarExtended;
    }
    std::sort(list.stars.begin(), list.stars.end(),
              [](const Star& a, const Star& b) { return a.flux > b.flux; });
    return list;
}

} // namespace vorlan
