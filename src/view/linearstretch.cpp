#include "view/linearstretch.h"

#include "view/stretchcurve.h"

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>
#include <vector>

namespace vorlan {

namespace {

struct PlaneStatistics {
    double median = 0, mad = 0, lowest = 0, highest = 0;
};

/// 16-bit samples counted in a histogram: the median and the median absolute deviation are
/// then walks over its 65536 bins.
class Histogram16 {
  public:
    void add(const quint16* samples, int n) {
        for (int i = 0; i < n; ++i)
            ++m_bins[samples[i]];
    }
    PlaneStatistics finish(int blankLevel) {
        if (blankLevel >= 0) m_bins[size_t(blankLevel)] = 0;
        quint64 count = 0;
        for (quint32 c : m_bins)
            count += c;
        PlaneStatistics s;
        if (count == 0) return s;
        auto nonZero = [](quint32 c) { return c != 0; };
        s.lowest = double(std::find_if(m_bins.begin(), m_bins.end(), nonZero) - m_bins.begin());
        s.highest = double(65535 - (std::find_if(m_bins.rbegin(), m_bins.rend(), nonZero) - m_bins.rbegin()));
        s.median = medianOf(m_bins, count);
        std::vector<quint32> deviations(65536, 0);
        for (int v = 0; v < 65536; ++v)
            deviations[size_t(std::abs(v - int(s.median)))] += m_bins[size_t(v)];
        s.mad = medianOf(deviations, count);
        return s;
    }

  private:
    static double medianOf(const std::vector<quint32>& bins, quint64 count) {
        const quint64 rank = (count - 1) / 2;
        quint64 seen = 0;
        for (size_t v = 0; v < bins.size(); ++v)
            if ((seen += bins[v]) > rank) return double(v);
        return 0;
    }
    std::vector<quint32> m_bins = std::vector<quint32>(65536, 0);
};

/// A float's place in the order of floats as an unsigned integer (negative floats below the
/// positive ones, -0 just below +0), and back.
quint32 orderKey(float f) {
    quint32 bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits & 0x80000000u ? ~bits : bits | 0x80000000u;
}
float fromOrderKey(quint32 key) {
    const quint32 bits = key & 0x80000000u ? key & 0x7fffffffu : ~key;
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

/// The value of the given rank (0 = the smallest) among values: a histogram of the top 16 bits of
/// their order keys finds the part of the order that holds it, and only the values there are
/// put in order.
float valueOfRank(const std::vector<float>& values, size_t rank) {
    std::vector<quint32> counts(65536, 0);
    for (float v : values)
        ++counts[orderKey(v) >> 16];
    quint32 part = 0;
    while (rank >= counts[part])
        rank -= counts[part++];
    std::vector<float> inPart;
    inPart.reserve(counts[part]);
    for (float v : values)
        if (orderKey(v) >> 16 == part) inPart.push_back(v);
    std::nth_element(inPart.begin(), inPart.begin() + qsizetype(rank), inPart.end());
    return inPart[rank];
}

/// Floating samples kept as they are (blank and infinite ones left out) for their median.
class FloatSample {
  public:
    void add(const float* samples, int n) {
        size_t kept = m_values.size();
        m_values.resize(kept + size_t(n));
        for (int i = 0; i < n; ++i) {
            m_values[kept] = samples[i];
            kept += std::isfinite(samples[i]) ? 1 : 0;
        }
        m_values.resize(kept);
    }
    PlaneStatistics finish(int) {
        PlaneStatistics s;
        if (m_values.empty()) return s;
        const auto [lowest, highest] = std::minmax_element(m_values.begin(), m_values.end());
        s.lowest = *lowest;
        s.highest = *highest;
        const size_t middle = (m_values.size() - 1) / 2;
        s.median = valueOfRank(m_values, middle);
        for (float& v : m_values)
            v = float(std::abs(double(v) - s.median));
        s.mad = valueOfRank(m_values, middle);
        return s;
    }

  private:
    std::vector<float> m_values;
};

template <class T>
using Statistics = std::conditional_t<std::is_same_v<T, quint16>, Histogram16, FloatSample>;

/// The curve's level of a float sample, exactly as StretchCurve::toByte gives it (0 for blank and
/// infinite samples), without the curve's arithmetic. The level of a sample is the number of
/// thresholds at or below it, the threshold of level k being the smallest float that the curve
/// takes to k or above. The steep part of the curve, where nearly every sample lies, is cut into
/// bins; a bin without a threshold in it (half a bin beyond either edge included, so that rounding
/// in finding the bin cannot matter) gives its level at once. The few bins that hold a threshold,
/// and the last bin, which takes infinite samples and all beyond the steep part, search the
/// thresholds.
class FloatLevels {
  public:
    explicit FloatLevels(const StretchCurve& curve) {
        for (int k = 1; k < 256; ++k)
            m_threshold[size_t(k)] = lowestReaching(curve, k);
        m_threshold[0] = -INFINITY;
        // The sky up to four times the midtones point, levels up to about 200; the brighter
        // samples of stars are few.
        const double span = (curve.highlights - curve.shadows) * std::min(1.0, 4 * curve.midtones);
        m_shadows = float(curve.shadows);
        m_scale = curve.flat ? 0.0f : float(Bins / span);
        if (!(std::isfinite(m_scale) && m_scale > 0)) m_scale = 0; // every sample searches
        // Thresholds at or below a point, counted as the points rise.
        int below = 0, above = 0;
        auto count = [this](int& n, double at) {
            while (n < 255 && double(m_threshold[size_t(n) + 1]) <= at)
                ++n;
            return n;
        };
        for (int b = 0; b < Bins; ++b) {
            const double from = double(m_shadows) + (b - 0.5) / double(m_scale);
            const double to = double(m_shadows) + (b + 1.5) / double(m_scale);
            const int level = count(below, from);
            const bool steps = count(above, to) != level || b == Bins - 1;
            m_entry[size_t(b)] = quint16(level | (steps ? Search : 0));
        }
    }
    /// The levels of n samples into out.
    void map(const float* samples, int n, uchar* out) const {
        // The bins of a stretch of samples first, which the compiler does several at a step.
        constexpr int Stretch = 4096;
        qint32 bins[Stretch];
        const float shadows = m_shadows, scale = m_scale, last = float(Bins - 1);
        for (int at = 0; at < n; at += Stretch) {
            const int m = std::min(Stretch, n - at);
            const float* v = samples + at;
            for (int i = 0; i < m; ++i) // blank samples and all below the shadows go to bin 0
                bins[i] = qint32(std::min(std::max(0.0f, (v[i] - shadows) * scale), last));
            for (int i = 0; i < m; ++i) {
                const quint16 entry = m_entry[size_t(bins[i])];
                out[at + i] = entry & Search ? search(v[i], entry & 0xff) : uchar(entry);
            }
        }
    }

  private:
    static constexpr int Bins = 1 << 17;
    static constexpr quint16 Search = 0x100;

    /// The level of v, known to be at least `from`.
    uchar search(float v, int from) const {
        if (!std::isfinite(v)) return 0;
        int level = from;
        for (int step = 128; step > 0; step /= 2)
            if (level + step <= 255 && v >= m_threshold[size_t(level + step)]) level += step;
        return uchar(level);
    }

    /// The smallest float that the curve takes to level k or above; +infinity when none does.
    static float lowestReaching(const StretchCurve& curve, int k) {
        if (curve.toByte(FLT_MAX) < k) return INFINITY;
        quint32 lo = orderKey(-FLT_MAX), hi = orderKey(FLT_MAX);
        while (lo < hi) { // the answer lies in [lo, hi]
            const quint32 mid = lo + (hi - lo) / 2;
            if (curve.toByte(fromOrderKey(mid)) >= k)
                hi = mid;
            else
                lo = mid + 1;
        }
        return fromOrderKey(lo);
    }

    float m_shadows = 0;
    float m_scale = 0;
    std::array<float, 256> m_threshold{};
    std::array<quint16, Bins> m_entry{};
};

/// Writes one row of levels into a row of the picture: put(line, x, level).
template <class T, class ToByte, class Put>
void putRow(uchar* line, const T* samples, int w, const ToByte& toByte, const Put& put) {
    for (int x = 0; x < w; ++x)
        put(line, x, toByte(samples[x]));
}

template <class T, class ToByte>
void putRow(uchar* line, const T* samples, int w, const ToByte& toByte, QImage::Format format, int plane,
            int planes) {
    auto rgb = [](uchar* l) { return reinterpret_cast<QRgb*>(l); };
    if (format == QImage::Format_Grayscale8)
        putRow(line, samples, w, toByte, [](uchar* l, int x, uchar g) { l[x] = g; });
    else if (planes == 1)
        putRow(line, samples, w, toByte, [&](uchar* l, int x, uchar g) { rgb(l)[x] = qRgb(g, g, g); });
    else if (plane == 0)
        putRow(line, samples, w, toByte, [&](uchar* l, int x, uchar g) { rgb(l)[x] = qRgb(g, 0, 0); });
    else
        putRow(line, samples, w, toByte,
               [&, shift = 16 - 8 * plane](uchar* l, int x, uchar g) { rgb(l)[x] |= QRgb(g) << shift; });
}

/// Rows of a band: small enough to stay in the cache between reading and mapping, one at least.
int bandRows(qint64 width, int sampleBytes) {
    return int(std::clamp<qint64>((qint64(1) << 20) / std::max<qint64>(1, width * sampleBytes), 1, 32));
}

} // namespace

qint64 stretchWorkingBytes(qint64 width, int sampleBytes) {
    const qint64 band = bandRows(width, sampleBytes) * width * sampleBytes;
    // Floats: the sample for the statistics (about a million values and at least one row), once
    // more while its median is found. Both kinds: tables of about a megabyte.
    const qint64 sample = sampleBytes == 4 ? ((qint64(1) << 20) + width) * 2 * qint64(sizeof(float)) : 0;
    return band + sample + (qint64(1) << 20);
}

template <class T> bool stretchInto(LinearSource<T>& source, QImage& out) {
    const int w = source.width, h = source.height;
    const QImage::Format format = out.format();
    const int rows = bandRows(w, sizeof(T));
    std::vector<T> band(size_t(w) * size_t(rows));
    std::vector<uchar> levelRow;
    const int sampleStep = int(std::max<qint64>(1, qint64(w) * h / (qint64(1) << 20)));
    for (int c = 0; c < source.planes; ++c) {
        Statistics<T> statistics;
        for (int r = std::min(sampleStep / 2, h - 1); r < h; r += sampleStep) {
            if (!source.readRows(c, r, 1, band.data())) return false;
            statistics.add(band.data(), w);
        }
        const PlaneStatistics s = statistics.finish(source.blankLevel);
        const StretchCurve curve = StretchCurve::fromStatistics(s.median, s.mad, s.lowest, s.highest);
        // 16-bit samples: the curve once per level, then a table look-up per pixel. Floats: their
        // levels row by row (FloatLevels), then put like bytes.
        std::vector<uchar> table;
        std::unique_ptr<FloatLevels> levels;
        if constexpr (std::is_same_v<T, quint16>) {
            table.resize(65536);
            for (int v = 0; v < 65536; ++v)
                table[size_t(v)] = curve.toByte(v);
            if (source.blankLevel >= 0) table[size_t(source.blankLevel)] = 0;
        } else {
            levels = std::make_unique<FloatLevels>(curve);
            levelRow.resize(size_t(w));
        }
        for (int r0 = 0; r0 < h; r0 += rows) {
            const int n = std::min(rows, h - r0);
            if (!source.readRows(c, r0, n, band.data())) return false;
            for (int j = 0; j < n; ++j) {
                const int r = r0 + j;
                uchar* line = out.scanLine(source.bottomUp ? h - 1 - r : r);
                const T* samples = band.data() + size_t(j) * w;
                if constexpr (std::is_same_v<T, quint16>) {
                    const auto level = [&table](quint16 v) { return table[v]; };
                    putRow(line, samples, w, level, format, c, source.planes);
                } else {
                    const auto same = [](uchar v) { return v; };
                    levels->map(samples, w, levelRow.data());
                    putRow(line, levelRow.data(), w, same, format, c, source.planes);
                }
            }
        }
    }
    return true;
}

template bool stretchInto<quint16>(LinearSource<quint16>&, QImage&);
template bool stretchInto<float>(LinearSource<float>&, QImage&);

bool isSixteenBit(const QImage& img) {
    const QImage::Format f = img.format();
    return f == QImage::Format_Grayscale16 || f == QImage::Format_RGBX64 || f == QImage::Format_RGBA64 ||
           f == QImage::Format_RGBA64_Premultiplied;
}

namespace {

/// The planes of a decoded 16-bit picture; 64-bit formats keep red, green, blue and alpha as
/// four 16-bit words in this order.
class SixteenBitSource : public LinearSource<quint16> {
  public:
    explicit SixteenBitSource(const QImage& img) : m_img(img) {
        width = img.width();
        height = img.height();
        m_step = img.format() == QImage::Format_Grayscale16 ? 1 : 4;
        planes = m_step == 1 ? 1 : 3;
    }
    bool readRows(int c, int r, int count, quint16* out) override {
        for (int j = 0; j < count; ++j) {
            const auto* line = reinterpret_cast<const quint16*>(m_img.constScanLine(r + j)) + c;
            for (int x = 0; x < width; ++x)
                *out++ = line[x * m_step];
        }
        return true;
    }

  private:
    const QImage& m_img;
    int m_step = 1;
};

} // namespace

QImage stretchSixteenBit(const QImage& img, QImage::Format greyFormat) {
    SixteenBitSource source(img);
    QImage out;
    try {
        out = QImage(img.size(), source.planes == 1 ? greyFormat : QImage::Format_RGB32);
    } catch (const std::bad_alloc&) {
        return QImage();
    }
    if (!out.isNull()) stretchInto(source, out);
    return out;
}

} // namespace vorlan
