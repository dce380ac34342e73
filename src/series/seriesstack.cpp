#include "series/seriesstack.h"

#include "common/jobrunner.h"
#include "series/framepool.h"

#include <QLocale>
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

/// Where the centre of each reference pixel of a stack falls on one frame: an affine map of
/// the continuous pixel coordinates (centre of pixel (0, 0) at (0.5, 0.5)).
struct Warp {
    double xx = 1, xy = 0, x0 = 0; ///< source x = xx * X + xy * Y + x0
    double yx = 0, yy = 1, y0 = 0; ///< source y = yx * X + yy * Y + y0
};

/// The warp of frame f for a stack: its registration inverted, after the stack's pixel is moved
/// along the motion by shift (reference pixels).
Warp warpOf(const SimilarityTransform& toReference, QPointF shift) {
    const SimilarityTransform back = toReference.inverted();
    const double m = back.mirrored ? -1.0 : 1.0;
    Warp w;
    w.xx = back.a;
    w.xy = -back.b * m;
    w.yx = back.b;
    w.yy = back.a * m;
    w.x0 = back.tx + w.xx * shift.x() + w.xy * shift.y();
    w.y0 = back.ty + w.yx * shift.x() + w.yy * shift.y();
    return w;
}

/// Catmull-Rom weights of the four samples round a point t (0..1) past the second.
inline void cubicWeights(float t, float w[4]) {
    const float t2 = t * t, t3 = t2 * t;
    w[0] = 0.5f * (-t3 + 2 * t2 - t);
    w[1] = 0.5f * (3 * t3 - 5 * t2 + 2);
    w[2] = 0.5f * (-3 * t3 + 4 * t2 + t);
    w[3] = 0.5f * (t3 - t2);
}

/// Row y of the stack (width pixels) read from src through w; NaN where it falls off src.
/// Bicubic where the four-by-four neighbourhood lies inside src, else bilinear.
void warpRow(const LinearFrame& src, const Warp& w, bool cubic, int y, int width, float* out) {
    const double Y = y + 0.5;
    // Index coordinates: the pixel centre (i + 0.5) is index i.
    double u = w.xx * 0.5 + w.xy * Y + w.x0 - 0.5;
    double v = w.yx * 0.5 + w.yy * Y + w.y0 - 0.5;
    const double maxU = src.width - 1, maxV = src.height - 1;
    const int lastI = std::max(0, src.width - 2), lastJ = std::max(0, src.height - 2);
    const int dx = src.width > 1 ? 1 : 0;
    const size_t dy = src.height > 1 ? size_t(src.width) : 0;
    for (int x = 0; x < width; ++x, u += w.xx, v += w.yx) {
        if (!(u >= 0 && v >= 0 && u <= maxU && v <= maxV)) {
            out[x] = Blank;
            continue;
        }
        const int i = std::min(int(u), lastI), j = std::min(int(v), lastJ);
        const float fu = float(u - i), fv = float(v - j);
        const float* r0 = src.row(j) + i;
        if (cubic && i >= 1 && j >= 1 && i + 2 < src.width && j + 2 < src.height) {
            float wu[4], wv[4];
            cubicWeights(fu, wu);
            cubicWeights(fv, wv);
            const float* r = r0 - src.width - 1;
            float sum = 0;
            for (int k = 0; k < 4; ++k, r += src.width)
                sum += wv[k] * (wu[0] * r[0] + wu[1] * r[1] + wu[2] * r[2] + wu[3] * r[3]);
            out[x] = sum;
            continue;
        }
        const float* r1 = r0 + dy;
        const float top = r0[0] + fu * (r0[dx] - r0[0]);
        const float bottom = r1[0] + fu * (r1[dx] - r1[0]);
        out[x] = top + fv * (bottom - top);
    }
}

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

/// One group being stacked: its frames, the mid-time the motion is taken from, and where the
/// frames' values are added up.
class GroupStack {
  public:
    GroupStack(const SeriesRegistration& series, const QVector<int>& frames, const StackOptions& options,
               double midHours)
        : m_series(series), m_frames(frames), m_options(options), m_midHours(midHours) {
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

    /// Reads the group's i-th frame; throws nothing, a failure comes back.
    Outcome<LinearFrame> read(int i) const {
        return readLinearFrame(m_series.frames[m_frames[i]].path, m_options.series.budget());
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
    int m_width = 0, m_height = 0;
};

Failure unreadable(const SeriesFrame& f, const QString& reason) {
    return {BadFile, QStringLiteral("Кадр %1 больше не читается: %2.").arg(f.path, reason)};
}

Failure stoppedFailure() {
    return {InvalidValue, QStringLiteral("Сложение прервано.")};
}

Outcome<void> GroupStack::readInto(int i, std::vector<float>& into) const {
    const Outcome<LinearFrame> frame = read(i);
    if (!frame.ok()) return unreadable(m_series.frames[m_frames[i]], frame.reason());
    const Warp w = warp(i);
    into.resize(size_t(pixels()));
    for (int y = 0; y < m_height; ++y)
        warpRow(frame.value(), w, cubic(), y, m_width, into.data() + size_t(y) * m_width);
    return {};
}

/// Rows of the stack in bands, each with its own lock, so that two workers add two frames at
/// once, one band behind the other.
constexpr int BandRows = 64;

Outcome<LinearFrame> GroupStack::plainMean(FramePool::Progress progress, JobControl* control) {
    std::vector<float> sum(static_cast<size_t>(pixels()), 0.f), row(static_cast<size_t>(m_width));
    std::vector<quint16> count(size_t(pixels()), 0);
    for (int i = 0; i < m_frames.size(); ++i) {
        if (control && control->stopRequested()) return stoppedFailure();
        const Outcome<LinearFrame> frame = read(i);
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
    std::vector<float> level, second;
    if (Outcome<void> r = readInto(seeds[0], level); !r.ok()) return r.failure();
    progress();
    if (control && control->stopRequested()) return stoppedFailure();
    if (Outcome<void> r = readInto(seeds[1], second); !r.ok()) return r.failure();
    progress();
    if (control && control->stopRequested()) return stoppedFailure();
    const NoiseCurve noise = NoiseCurve::measure(level, second);
    // The clipping reach read from a table over the curve's levels: looked up for every value.
    constexpr int Steps = 1024;
    const float low = noise.lowest(), span = std::max(noise.highest() - low, 1e-30f);
    std::vector<float> reaches(Steps + 1);
    for (int k = 0; k <= Steps; ++k)
        reaches[size_t(k)] = float(m_options.kappa) * MedianOfThreeSpread * noise.at(low + span * k / Steps);
    const float perStep = Steps / span;
    auto window = [&](float at) {
        return reaches[size_t(std::clamp(int((at - low) * perStep + 0.5f), 0, Steps))];
    };

    std::vector<quint16> count(n, 0);
    {
        const Outcome<LinearFrame> third = read(seeds[2]);
        if (!third.ok()) return unreadable(m_series.frames[m_frames[seeds[2]]], third.reason());
        const Warp w = warp(seeds[2]);
        std::vector<float> row(static_cast<size_t>(m_width));
        for (int y = 0; y < m_height; ++y) {
            warpRow(third.value(), w, cubic(), y, m_width, row.data());
            const size_t o = size_t(y) * m_width;
            for (int x = 0; x < m_width; ++x) {
                const float a = level[o + x], b = second[o + x], c = row[x];
                const float m = medianOfThree(a, b, c);
                level[o + x] = m;
                const float reach = std::isnan(m) ? 0 : window(m);
                float added = 0;
                for (float v : {a, b, c})
                    if (accepted(v, m, reach)) {
                        added += v;
                        ++count[o + x];
                    }
                second[o + x] = added; // read above: the frame's values become the sum's start
            }
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
        const Outcome<LinearFrame> frame = read(i);
        if (!frame.ok()) {
            std::lock_guard lock(failing);
            if (!failed) failed = std::make_unique<Failure>(unreadable(m_series.frames[m_frames[i]], frame.reason()));
            throw std::runtime_error("frame unreadable");
        }
        const Warp w = warp(i);
        std::vector<float> row(static_cast<size_t>(m_width));
        for (size_t b = 0; b < bands.size(); ++b) {
            std::lock_guard lock(bands[b]);
            for (int y = int(b) * BandRows; y < std::min(m_height, int(b + 1) * BandRows); ++y) {
                warpRow(frame.value(), w, cubic(), y, m_width, row.data());
                const size_t o = size_t(y) * m_width;
                for (int x = 0; x < m_width; ++x) {
                    const float v = row[x], m = level[o + x];
                    if (accepted(v, m, std::isnan(m) ? 0 : window(m))) {
                        sum[o + x] += v;
                        ++count[o + x];
                    }
                }
            }
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
    // Where every value was clipped (never with sound frames) the robust level stands.
    for (size_t i = 0; i < n; ++i)
        out.pixels[i] = count[i] ? out.pixels[i] / count[i] : level[i];
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
    SeriesStacks result;
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
        GroupStack group(series, g, options, hours);
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
