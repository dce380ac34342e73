#include "view/linearstretch.h"

#include "view/stretchcurve.h"

#include <algorithm>
#include <cmath>
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

/// Floating samples kept as they are (blank and infinite ones left out) for their median.
class FloatSample {
  public:
    void add(const float* samples, int n) {
        for (int i = 0; i < n; ++i)
            if (std::isfinite(samples[i])) {
                m_values.push_back(samples[i]);
                m_lowest = std::min(m_lowest, samples[i]);
                m_highest = std::max(m_highest, samples[i]);
            }
    }
    PlaneStatistics finish(int) {
        PlaneStatistics s;
        if (m_values.empty()) return s;
        s.lowest = m_lowest;
        s.highest = m_highest;
        s.median = median();
        for (float& v : m_values)
            v = float(std::abs(double(v) - s.median));
        s.mad = median();
        return s;
    }

  private:
    double median() {
        const auto mid = m_values.begin() + qsizetype(m_values.size() - 1) / 2;
        std::nth_element(m_values.begin(), mid, m_values.end());
        return *mid;
    }
    std::vector<float> m_values;
    float m_lowest = INFINITY, m_highest = -INFINITY;
};

template <class T>
using Statistics = std::conditional_t<std::is_same_v<T, quint16>, Histogram16, FloatSample>;

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

} // namespace

template <class T> bool stretchInto(LinearSource<T>& source, QImage& out) {
    const int w = source.width, h = source.height;
    const QImage::Format format = out.format();
    // Bands of rows small enough to stay in the cache between reading and mapping.
    constexpr int BandRows = 32;
    std::vector<T> band(size_t(w) * BandRows);
    const int sampleStep = int(std::max<qint64>(1, qint64(w) * h / (qint64(1) << 20)));
    for (int c = 0; c < source.planes; ++c) {
        Statistics<T> statistics;
        for (int r = sampleStep / 2; r < h; r += sampleStep) {
            if (!source.readRows(c, r, 1, band.data())) return false;
            statistics.add(band.data(), w);
        }
        const PlaneStatistics s = statistics.finish(source.blankLevel);
        const StretchCurve curve = StretchCurve::fromStatistics(s.median, s.mad, s.lowest, s.highest);
        // 16-bit samples: the curve once per level, then a table look-up per pixel.
        std::vector<uchar> table;
        if constexpr (std::is_same_v<T, quint16>) {
            table.resize(65536);
            for (int v = 0; v < 65536; ++v)
                table[size_t(v)] = curve.toByte(v);
            if (source.blankLevel >= 0) table[size_t(source.blankLevel)] = 0;
        }
        auto toByte = [&](T v) -> uchar {
            if constexpr (std::is_same_v<T, quint16>)
                return table[v];
            else
                return std::isfinite(v) ? curve.toByte(v) : uchar(0);
        };
        for (int r0 = 0; r0 < h; r0 += BandRows) {
            const int n = std::min(BandRows, h - r0);
            if (!source.readRows(c, r0, n, band.data())) return false;
            for (int j = 0; j < n; ++j) {
                const int r = r0 + j;
                putRow(out.scanLine(source.bottomUp ? h - 1 - r : r), band.data() + size_t(j) * w, w, toByte,
                       format, c, source.planes);
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
