#include "series/seriesstack.h"

#include "common/jobrunner.h"
#include "series/framepool.h"
#include "series/framewarp.h"

#include <QLocale>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>
#include <numeric>

namespace vorlan {

QPointF SeriesMotion::shiftAfter(double hours) const {
    const double a = directionDegrees * M_PI / 180.0;
    return {pixelsPerHour * hours * std::sin(a), -pixelsPerHour * hours * std::cos(a)};
}

SeriesMotion SeriesMotion::between(QPointF from, QPointF to, double hours) {
    const QPointF d = (to - from) / hours;
    double direction = std::atan2(d.x(), -d.y()) * 180.0 / M_PI;
    if (direction < 0) direction += 360;
    return {std::hypot(d.x(), d.y()), direction};
}

namespace {

constexpr float Blank = NAN;

/// The noise of a group's values as a function of their level: from the differences between two
/// of its frames at pixels of like level (a star's core varies more than the sky between frames,
/// with the seeing and the photon noise), robustly, in bins of equal counts.
class NoiseCurve {
  public:
    static NoiseCurve measure(const std::vector<float>& a, const std::vector<float>& b) {
        constexpr size_t Samples = 300000;
        constexpr int Bins = 32;
        const size_t step = std::max<size_t>(1, a.size() / Samples);
        std::vector<std::pair<float, float>> pairs; // level, difference
        for (size_t i = 0; i < a.size(); i += step)
            if (std::isfinite(a[i]) && std::isfinite(b[i])) pairs.push_back({(a[i] + b[i]) / 2, a[i] - b[i]});
        NoiseCurve c;
        if (pairs.size() < size_t(Bins) * 8) {
            c.m_level = {0};
            c.m_sigma = {1};
            return c;
        }
        std::sort(pairs.begin(), pairs.end());
        std::vector<float> d;
        for (int k = 0; k < Bins; ++k) {
            const size_t lo = pairs.size() * k / Bins, hi = pairs.size() * (k + 1) / Bins;
            d.clear();
            for (size_t i = lo; i < hi; ++i)
                d.push_back(pairs[i].second);
            const float med = median(d);
            for (float& x : d)
                x = std::abs(x - med);
            // The difference of two frames carries the noise of both.
            c.m_level.push_back(pairs[(lo + hi) / 2].first);
            c.m_sigma.push_back(float(1.4826 * median(d) / M_SQRT2));
        }
        // Noise never falls as the level rises; a bin of flat (clipped or quantised) values has
        // none measurable and takes its neighbours'.
        const float least = *std::max_element(c.m_sigma.begin(), c.m_sigma.end()) * 1e-3f;
        float run = std::max(least, 1e-30f);
        for (float& s : c.m_sigma)
            s = run = std::max(run, s);
        return c;
    }
    float at(float level) const {
        const auto it = std::lower_bound(m_level.begin(), m_level.end(), level);
        if (it == m_level.begin()) return m_sigma.front();
        if (it == m_level.end()) return m_sigma.back();
        const size_t k = size_t(it - m_level.begin());
        const float span = m_level[k] - m_level[k - 1];
        const float t = span > 0 ? (level - m_level[k - 1]) / span : 1;
        return m_sigma[k - 1] + t * (m_sigma[k] - m_sigma[k - 1]);
    }

    float lowest() const { return m_level.front(); }
    float highest() const { return m_level.back(); }

    static float median(std::vector<float>& v) {
        if (v.empty()) return 0;
        auto mid = v.begin() + v.size() / 2;
        std::nth_element(v.begin(), mid, v.end());
        return *mid;
    }

  private:
    std::vector<float> m_level, m_sigma;
};

/// A value's distance from the median of three frames spreads wider than one frame's noise,
/// by the median's own noise (its variance is about 0.449 of one value's for three).
const float MedianOfThreeSpread = float(std::sqrt(1 + 0.449));

/// The median of three values; NaN unless all three frames cover the pixel, for two values
/// cannot tell which of them is wrong.
float medianOfThree(float a, float b, float c) {
    if (std::isnan(a) || std::isnan(b) || std::isnan(c)) return NAN;
    return std::max(std::min(a, b), std::min(std::max(a, b), c));
}

/// True when v is added to the stack: within reach of the level, or anything where the level is
/// unknown (near the edge, fewer frames cover a pixel than clipping needs).
bool accepted(float v, float level, float reach) {
    return std::isnan(level) ? !std::isnan(v) : std::abs(v - level) <= reach;
}

/// How far from the level a value may lie and still be added, read from a table over the noise
/// curve's levels, and the adding itself: the loop every value of every frame goes through.
class ClipReach {
  public:
    ClipReach(const NoiseCurve& noise, float sigmas) : m_low(noise.lowest()) {
        const float span = std::max(noise.highest() - m_low, 1e-30f);
        for (int k = 0; k <= Steps; ++k)
            m_reach[k] = sigmas * noise.at(m_low + span * k / Steps);
        m_perStep = Steps / span;
    }
    float at(float level) const { return m_reach[step(level)]; }

    /// Adds each of values[0 .. n - 1] that is accepted against levels[i] to sum[i] and counts it.
    void add(const float* values, const float* levels, float* sum, quint16* count, int n) const {
        int x = 0;
#if defined(__SSE2__)
        for (; x + 8 <= n; x += 8) {
            __m128 taken[2];
            for (int h = 0; h < 2; ++h) {
                const int at = x + 4 * h;
                const __m128 v = _mm_loadu_ps(values + at), m = _mm_loadu_ps(levels + at);
                taken[h] = accepts(v, m, reachOf(m));
                _mm_storeu_ps(sum + at, _mm_add_ps(_mm_loadu_ps(sum + at), _mm_and_ps(v, taken[h])));
            }
            countTaken(taken, count + x);
        }
#endif
        for (; x < n; ++x) {
            const float v = values[x], m = levels[x];
            if (accepted(v, m, std::isnan(m) ? 0 : at(m))) {
                sum[x] += v;
                ++count[x];
            }
        }
    }

    /// The start of a group from its first three frames a, b, c: a becomes their median (NaN
    /// unless all three cover the pixel), b the sum of those accepted against it, count their number.
    void seed(float* a, float* b, const float* c, quint16* count, int n) const {
        int x = 0;
#if defined(__SSE2__)
        const __m128 blank = _mm_set1_ps(NAN);
        for (; x + 8 <= n; x += 8) {
            __m128 taken[3][2];
            for (int h = 0; h < 2; ++h) {
                const int at = x + 4 * h;
                const __m128 va = _mm_loadu_ps(a + at), vb = _mm_loadu_ps(b + at), vc = _mm_loadu_ps(c + at);
                const __m128 gap = _mm_or_ps(_mm_cmpunord_ps(va, vb), _mm_cmpunord_ps(vc, vc));
                const __m128 middle =
                    _mm_max_ps(_mm_min_ps(va, vb), _mm_min_ps(_mm_max_ps(va, vb), vc));
                const __m128 m = _mm_or_ps(_mm_andnot_ps(gap, middle), _mm_and_ps(gap, blank));
                const __m128 reach = reachOf(m);
                __m128 added = _mm_setzero_ps();
                int k = 0;
                for (const __m128 v : {va, vb, vc}) {
                    taken[k][h] = accepts(v, m, reach);
                    added = _mm_add_ps(added, _mm_and_ps(v, taken[k++][h]));
                }
                _mm_storeu_ps(a + at, m);
                _mm_storeu_ps(b + at, added);
            }
            for (auto& t : taken)
                countTaken(t, count + x);
        }
#endif
        for (; x < n; ++x) {
            const float m = medianOfThree(a[x], b[x], c[x]);
            const float reach = std::isnan(m) ? 0 : at(m);
            float added = 0;
            for (float v : {a[x], b[x], c[x]})
                if (accepted(v, m, reach)) {
                    added += v;
                    ++count[x];
                }
            a[x] = m;
            b[x] = added;
        }
    }

  private:
#if defined(__SSE2__)
    /// The reach of four levels; a NaN level goes to step 0 (max hands back its second operand
    /// then), its reach unused.
    __m128 reachOf(__m128 m) const {
        const __m128 t = _mm_add_ps(_mm_mul_ps(_mm_sub_ps(m, _mm_set1_ps(m_low)), _mm_set1_ps(m_perStep)),
                                    _mm_set1_ps(0.5f));
        alignas(16) int k[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(k),
                        _mm_cvttps_epi32(_mm_min_ps(_mm_max_ps(t, _mm_setzero_ps()), _mm_set1_ps(Steps))));
        return _mm_setr_ps(m_reach[k[0]], m_reach[k[1]], m_reach[k[2]], m_reach[k[3]]);
    }
    /// All ones where v is added, as accepted() says.
    static __m128 accepts(__m128 v, __m128 m, __m128 reach) {
        const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
        const __m128 within = _mm_cmple_ps(_mm_and_ps(_mm_sub_ps(v, m), magnitude), reach);
        return _mm_or_ps(within, _mm_and_ps(_mm_cmpunord_ps(m, m), _mm_cmpord_ps(v, v)));
    }
    /// Counts eight values taken: all ones (-1) in sixteen bits, subtracted.
    static void countTaken(const __m128 taken[2], quint16* count) {
        const __m128i counted = _mm_packs_epi32(_mm_castps_si128(taken[0]), _mm_castps_si128(taken[1]));
        __m128i* c = reinterpret_cast<__m128i*>(count);
        _mm_storeu_si128(c, _mm_sub_epi16(_mm_loadu_si128(c), counted));
    }
#endif
    static constexpr int Steps = 1024;
    int step(float level) const {
        const float t = (level - m_low) * m_perStep + 0.5f;
        return t > 0 ? int(std::min(t, float(Steps))) : 0;
    }
    float m_low, m_perStep = 1;
    float m_reach[Steps + 1];
};

/// The sums divided by their counts; where every value was clipped (never with sound frames),
/// the robust level.
void meanOrLevel(float* sum, const quint16* count, const float* level, size_t n) {
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i none = _mm_setzero_si128();
    for (; i + 8 <= n; i += 8) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(count + i));
        const __m128i halves[2] = {_mm_unpacklo_epi16(c, none), _mm_unpackhi_epi16(c, none)};
        for (int h = 0; h < 2; ++h) {
            const __m128 k = _mm_cvtepi32_ps(halves[h]);
            const __m128 empty = _mm_cmpeq_ps(k, _mm_setzero_ps());
            const __m128 mean = _mm_div_ps(_mm_loadu_ps(sum + i + 4 * h), k);
            _mm_storeu_ps(sum + i + 4 * h, _mm_or_ps(_mm_andnot_ps(empty, mean),
                                                     _mm_and_ps(empty, _mm_loadu_ps(level + i + 4 * h))));
        }
    }
#endif
    for (; i < n; ++i)
        sum[i] = count[i] ? sum[i] / count[i] : level[i];
}

/// One group being stacked: its frames, the mid-time the motion is taken from, and where the
/// frames' values are added up.
class GroupStack {
  public:
    GroupStack(const SeriesRegistration& series, const QVector<int>& frames, const StackOptions& options,
               double midHours, FrameShelf& shelf, std::vector<quint16>& counts)
        : m_series(series), m_frames(frames), m_options(options), m_midHours(midHours), m_shelf(shelf),
          m_count(counts) {
        const QSize size = series.frames[series.reference].size;
        m_width = size.width();
        m_height = size.height();
    }

    qint64 pixels() const { return qint64(m_width) * m_height; }
    bool cubic() const { return m_options.resampling == StackResampling::Bicubic; }

    /// The warp of the group's i-th frame.
    Warp warp(int i) const {
        const SeriesFrame& f = m_series.frames[m_frames[i]];
        QPointF shift;
        if (m_options.motion)
            shift = m_options.motion->shiftAfter(hoursOf(f) - m_midHours);
        return warpOf(*f.toReference, shift);
    }

    static double hoursOf(const SeriesFrame& f) {
        return f.midTime ? double(f.midTime->toMSecsSinceEpoch()) / 3.6e6 : 0;
    }

    /// A frame read into a buffer from the shelf, which gets it back when the frame is done with.
    class Shelved {
      public:
        Shelved(FrameShelf& shelf, Outcome<LinearFrame> frame) : m_shelf(shelf), m_frame(std::move(frame)) {}
        Shelved(const Shelved&) = delete;
        ~Shelved() {
            if (m_frame.ok()) m_shelf.putBack(std::move(std::move(m_frame).value().pixels));
        }
        bool ok() const { return m_frame.ok(); }
        QString reason() const { return m_frame.reason(); }
        const LinearFrame& value() const { return m_frame.value(); }

      private:
        FrameShelf& m_shelf;
        Outcome<LinearFrame> m_frame;
    };

    /// Reads the group's i-th frame; throws nothing, a failure comes back.
    Shelved read(int i) const {
        Outcome<std::unique_ptr<FrameRows>> rows =
            FrameRows::open(m_series.frames[m_frames[i]].path, m_options.series.budget());
        if (!rows.ok()) return {m_shelf, rows.failure()};
        return {m_shelf, readLinearFrame(*rows.value(), m_shelf.take())};
    }

    /// The clipped mean, streamed.
    Outcome<LinearFrame> clippedMean(FramePool::Progress progress, JobControl* control);
    /// The median, every frame held.
    Outcome<LinearFrame> median(FramePool::Progress progress, JobControl* control);

  private:
    Outcome<LinearFrame> plainMean(FramePool::Progress progress, JobControl* control);
    Outcome<void> readInto(int i, std::vector<float>& into) const;

    const SeriesRegistration& m_series;
    const QVector<int> m_frames;
    const StackOptions& m_options;
    double m_midHours = 0;
    FrameShelf& m_shelf;
    std::vector<quint16>& m_count; ///< how many values each pixel's sum holds; kept from group to group
    int m_width = 0, m_height = 0;
};

Failure unreadable(const SeriesFrame& f, const QString& reason) {
    return {BadFile, QStringLiteral("Кадр %1 больше не читается: %2.").arg(f.path, reason)};
}

Failure stoppedFailure() {
    return {InvalidValue, QStringLiteral("Сложение прервано.")};
}

Outcome<void> GroupStack::readInto(int i, std::vector<float>& into) const {
    const Shelved frame = read(i);
    if (!frame.ok()) return unreadable(m_series.frames[m_frames[i]], frame.reason());
    const Warp w = warp(i);
    into.resize(size_t(pixels()));
    for (int y = 0; y < m_height; ++y)
        warpRow(frame.value(), w, cubic(), y, m_width, into.data() + size_t(y) * m_width);
    return {};
}

/// Rows of the stack in bands, each with its own lock, so that two workers add two frames at
/// once, one band behind the other.
constexpr int BandRows = 16;

Outcome<LinearFrame> GroupStack::plainMean(FramePool::Progress progress, JobControl* control) {
    std::vector<float> sum(static_cast<size_t>(pixels()), 0.f), row(static_cast<size_t>(m_width));
    std::vector<quint16>& count = m_count;
    count.assign(size_t(pixels()), 0);
    for (int i = 0; i < m_frames.size(); ++i) {
        if (control && control->stopRequested()) return stoppedFailure();
        const Shelved frame = read(i);
        if (!frame.ok()) return unreadable(m_series.frames[m_frames[i]], frame.reason());
        const Warp w = warp(i);
        for (int y = 0; y < m_height; ++y) {
            warpRow(frame.value(), w, cubic(), y, m_width, row.data());
            const size_t o = size_t(y) * m_width;
            for (int x = 0; x < m_width; ++x)
                if (!std::isnan(row[x])) {
                    sum[o + x] += row[x];
                    ++count[o + x];
                }
        }
        progress();
    }
    LinearFrame out;
    out.width = m_width;
    out.height = m_height;
    out.pixels = std::move(sum);
    for (size_t i = 0; i < out.pixels.size(); ++i)
        out.pixels[i] = count[i] ? out.pixels[i] / count[i] : Blank;
    return out;
}

Outcome<LinearFrame> GroupStack::clippedMean(FramePool::Progress progress, JobControl* control) {
    if (m_frames.size() < 3) return plainMean(progress, control);
    const size_t n = size_t(pixels());
    // The robust level: the median of three frames spread over the group (its first, middle and
    // last), so that what moves across the group (a star when stacking along a motion) drops out of
    // it. They are added up with the same test as the rest.
    const int seeds[3] = {0, int(m_frames.size()) / 2, int(m_frames.size()) - 1};
    std::vector<float> level = m_shelf.take();
    if (Outcome<void> r = readInto(seeds[0], level); !r.ok()) return r.failure();
    progress();
    if (control && control->stopRequested()) return stoppedFailure();
    std::vector<float> second = m_shelf.take();
    if (Outcome<void> r = readInto(seeds[1], second); !r.ok()) return r.failure();
    progress();
    if (control && control->stopRequested()) return stoppedFailure();
    const NoiseCurve noise = NoiseCurve::measure(level, second);
    const ClipReach window(noise, float(m_options.kappa) * MedianOfThreeSpread);

    std::vector<quint16>& count = m_count;
    count.assign(n, 0);
    {
        const Shelved third = read(seeds[2]);
        if (!third.ok()) return unreadable(m_series.frames[m_frames[seeds[2]]], third.reason());
        const Warp w = warp(seeds[2]);
        std::vector<float> row(static_cast<size_t>(m_width));
        for (int y = 0; y < m_height; ++y) {
            warpRow(third.value(), w, cubic(), y, m_width, row.data());
            const size_t o = size_t(y) * m_width;
            // The frame's values read above become the sum's start.
            window.seed(level.data() + o, second.data() + o, row.data(), count.data() + o, m_width);
        }
        progress();
    }
    // No third frame's worth of memory for the sum while the three are read.
    std::vector<float> sum = std::move(second);

    // The rest, each read once, by workers as memory allows.
    const qint64 frameBytes = qint64(n) * qint64(sizeof(float));
    const qint64 held = frameBytes * 2 + qint64(n) * 2; // level and sum, count
    SeriesOptions room = m_options.series;
    room.memoryBudget = std::max<qint64>(1, room.budget() - held);
    std::vector<std::mutex> bands(size_t((m_height + BandRows - 1) / BandRows));
    FramePool pool(int(m_frames.size()) - 3, room.workersFor(qint64(n), int(sizeof(float))), control);
    std::unique_ptr<Failure> failed;
    std::mutex failing;
    QVector<int> rest;
    for (int i = 0; i < m_frames.size(); ++i)
        if (i != seeds[0] && i != seeds[1] && i != seeds[2]) rest.push_back(i);
    bool done = false;
    try {
        done = pool.run([&](int k) {
        const int i = rest.at(k);
        const Shelved frame = read(i);
        if (!frame.ok()) {
            std::lock_guard lock(failing);
            if (!failed) failed = std::make_unique<Failure>(unreadable(m_series.frames[m_frames[i]], frame.reason()));
            throw std::runtime_error("frame unreadable");
        }
        const Warp w = warp(i);
        // A band is resampled before its lock is taken, so that only the adding waits.
        std::vector<float> band(size_t(BandRows) * size_t(m_width));
        for (size_t b = 0; b < bands.size(); ++b) {
            const int y0 = int(b) * BandRows, y1 = std::min(m_height, y0 + BandRows);
            for (int y = y0; y < y1; ++y)
                warpRow(frame.value(), w, cubic(), y, m_width, band.data() + size_t(y - y0) * m_width);
            std::lock_guard lock(bands[b]);
            const size_t o = size_t(y0) * m_width;
            window.add(band.data(), level.data() + o, sum.data() + o, count.data() + o, (y1 - y0) * m_width);
        }
        progress();
    });
    } catch (...) {
        if (!failed) throw;
    }
    if (failed) return *failed;
    if (!done) return stoppedFailure();

    LinearFrame out;
    out.width = m_width;
    out.height = m_height;
    out.pixels = std::move(sum);
    meanOrLevel(out.pixels.data(), count.data(), level.data(), n);
    m_shelf.putBack(std::move(level));
    return out;
}

Outcome<LinearFrame> GroupStack::median(FramePool::Progress progress, JobControl* control) {
    const qint64 frameBytes = pixels() * qint64(sizeof(float));
    if (frameBytes * (m_frames.size() + 1) > m_options.series.budget())
        return Failure{InvalidValue, QStringLiteral("Медиана группы из %1 кадров не помещается в память: "
                                                    "сложите средним с отбрасыванием.")
                                         .arg(m_frames.size())};
    std::vector<std::vector<float>> held(size_t(m_frames.size()));
    for (int i = 0; i < m_frames.size(); ++i) {
        if (control && control->stopRequested()) return stoppedFailure();
        if (Outcome<void> r = readInto(i, held[size_t(i)]); !r.ok()) return r.failure();
        progress();
    }
    LinearFrame out;
    out.width = m_width;
    out.height = m_height;
    out.pixels.resize(size_t(pixels()));
    std::vector<float> values;
    for (size_t p = 0; p < out.pixels.size(); ++p) {
        values.clear();
        for (const std::vector<float>& f : held)
            if (!std::isnan(f[p])) values.push_back(f[p]);
        out.pixels[p] = values.empty() ? Blank : NoiseCurve::median(values);
    }
    return out;
}

QString framesWord(int n) {
    const int tens = n % 100, units = n % 10;
    if (tens >= 11 && tens <= 14) return QStringLiteral("кадров");
    if (units == 1) return QStringLiteral("кадр");
    if (units >= 2 && units <= 4) return QStringLiteral("кадра");
    return QStringLiteral("кадров");
}

} // namespace

QVector<QVector<int>> stackGroups(const SeriesRegistration& series, int groups) {
    QVector<int> order;
    for (int i = 0; i < series.frames.size(); ++i)
        if (series.frames[i].stackable()) order.push_back(i);
    const bool timed = std::all_of(order.begin(), order.end(), [&](int i) { return series.frames[i].midTime.has_value(); });
    if (timed)
        std::stable_sort(order.begin(), order.end(),
                         [&](int a, int b) { return *series.frames[a].midTime < *series.frames[b].midTime; });
    QVector<QVector<int>> out;
    const int n = int(order.size());
    groups = std::max(1, groups);
    for (int k = 0; k < groups; ++k)
        out.push_back(order.mid(n * k / groups, n * (k + 1) / groups - n * k / groups));
    return out;
}

Outcome<SeriesStacks> stackSeries(const SeriesRegistration& series, const StackOptions& options,
                                  JobControl* control) {
    const QVector<QVector<int>> groups = stackGroups(series, options.groups);
    const int total = std::accumulate(groups.begin(), groups.end(), 0,
                                      [](int s, const QVector<int>& g) { return s + int(g.size()); });
    if (series.reference < 0 || total < std::max(1, options.groups))
        return Failure{InvalidValue, QStringLiteral("Для %1 стопок нужно не меньше %1 совмещённых кадров, а их %2.")
                                         .arg(std::max(1, options.groups))
                                         .arg(total)};
    if (options.motion)
        for (const QVector<int>& g : groups)
            for (int i : g)
                if (!series.frames[i].midTime)
                    return Failure{InvalidValue,
                                   QStringLiteral("Сложить по движению нельзя: у кадра %1 нет времени съёмки.")
                                       .arg(series.frames[i].path)};
    keepLargeBlocksMapped();
    SeriesStacks result;
    FrameShelf shelf;
    std::vector<quint16> counts;
    int done = 0;
    std::mutex reporting;
    FramePool::Progress progress = [&] {
        std::lock_guard lock(reporting);
        ++done;
        if (control) control->progress(done, total, QStringLiteral("Сложение: кадр %1 из %2").arg(done).arg(total));
    };
    for (const QVector<int>& g : groups) {
        SeriesStack stack;
        stack.frames = int(g.size());
        double hours = 0;
        for (int i : g)
            hours += GroupStack::hoursOf(series.frames[i]);
        hours /= std::max(1, stack.frames);
        if (series.frames[g.front()].midTime) {
            stack.first = series.frames[g.front()].midTime;
            stack.last = series.frames[g.back()].midTime;
            stack.midTime = QDateTime::fromMSecsSinceEpoch(qint64(std::llround(hours * 3.6e6)), Qt::UTC);
        }
        GroupStack group(series, g, options, hours, shelf, counts);
        Outcome<LinearFrame> picture = options.combine == StackCombine::Median ? group.median(progress, control)
                                                                               : group.clippedMean(progress, control);
        if (control && control->stopRequested()) {
            result.stopped = true;
            return result;
        }
        if (!picture.ok()) return picture.failure();
        stack.picture = std::move(picture).value();
        result.stacks.push_back(std::move(stack));
    }
    return result;
}

LinearFrame resampledFrame(const LinearFrame& frame, const SimilarityTransform& toReference, QSize size,
                           StackResampling resampling) {
    LinearFrame out;
    out.width = size.width();
    out.height = size.height();
    out.exposureSeconds = frame.exposureSeconds;
    out.pixels.resize(size_t(out.width) * size_t(out.height));
    const Warp w = warpOf(toReference, QPointF());
    for (int y = 0; y < out.height; ++y)
        warpRow(frame, w, resampling == StackResampling::Bicubic, y, out.width, out.row(y));
    return out;
}

QString stackCaption(int k, const SeriesStack& stack) {
    QString caption = QStringLiteral("стопка %1: %2 %3").arg(k).arg(stack.frames).arg(framesWord(stack.frames));
    if (stack.first && stack.last) {
        const QString form = QStringLiteral("HH:mm:ss");
        caption += QStringLiteral(", %1–%2").arg(stack.first->toUTC().toString(form), stack.last->toUTC().toString(form));
    }
    return caption;
}

} // namespace vorlan
