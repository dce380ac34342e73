#include "view/linearstretch.h"

#include "view/stretchcurve.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <new>

namespace vorlan {

namespace {

struct PlaneStatistics {
    double median = 0, mad = 0, lowest = 0, highest = 0;
};

bool blankAt(const char* blankRow, qsizetype offset) {
    return blankRow && blankRow[offset];
}

/// Exact statistics of 16-bit samples from their histogram: one pass over the pixels, then
/// the median and the median absolute deviation are walks over 65536 bins.
PlaneStatistics statistics(const SamplePlane<quint16>& p, int w, int h) {
    std::vector<quint32> histogram(65536, 0);
    for (int y = 0; y < h; ++y) {
        const quint16* row = p.top + y * p.rowStep;
        const char* blanks = p.blankTop ? p.blankTop + y * p.rowStep : nullptr;
        for (int x = 0; x < w; ++x)
            if (!blankAt(blanks, x * p.pixelStep)) ++histogram[row[x * p.pixelStep]];
    }
    auto medianOf = [](const std::vector<quint32>& bins, quint64 count) {
        const quint64 rank = (count - 1) / 2;
        quint64 seen = 0;
        for (size_t v = 0; v < bins.size(); ++v)
            if ((seen += bins[v]) > rank) return double(v);
        return 0.0;
    };
    PlaneStatistics s;
    quint64 count = 0;
    for (quint32 c : histogram)
        count += c;
    if (count == 0) return s;
    s.lowest = double(std::find_if(histogram.begin(), histogram.end(), [](quint32 c) { return c; }) -
                      histogram.begin());
    s.highest =
        double(65535 - (std::find_if(histogram.rbegin(), histogram.rend(), [](quint32 c) { return c; }) -
                        histogram.rbegin()));
    s.median = medianOf(histogram, count);
    std::vector<quint32> deviations(65536, 0);
    for (int v = 0; v < 65536; ++v)
        deviations[size_t(std::abs(v - int(s.median)))] += histogram[size_t(v)];
    s.mad = medianOf(deviations, count);
    return s;
}

/// Statistics of floating samples: the range from every pixel, the median and its deviation
/// from an even spread of at most a million of them (enough for the sky background's level).
PlaneStatistics statistics(const SamplePlane<float>& p, int w, int h) {
    PlaneStatistics s;
    s.lowest = INFINITY;
    s.highest = -INFINITY;
    for (int y = 0; y < h; ++y) {
        const float* row = p.top + y * p.rowStep;
        for (int x = 0; x < w; ++x) {
            const float v = row[x * p.pixelStep];
            if (!std::isfinite(v)) continue;
            s.lowest = std::min(s.lowest, double(v));
            s.highest = std::max(s.highest, double(v));
        }
    }
    if (!(s.highest >= s.lowest)) return PlaneStatistics{};
    const qint64 total = qint64(w) * h;
    const qint64 step = std::max<qint64>(1, total / (1 << 20));
    std::vector<float> sample;
    sample.reserve(size_t(total / step + 1));
    for (qint64 i = 0; i < total; i += step) {
        const float v = p.top[(i / w) * p.rowStep + (i % w) * p.pixelStep];
        if (std::isfinite(v)) sample.push_back(v);
    }
    auto median = [](std::vector<float>& values) {
        auto mid = values.begin() + qsizetype(values.size() - 1) / 2;
        std::nth_element(values.begin(), mid, values.end());
        return double(*mid);
    };
    s.median = median(sample);
    for (float& v : sample)
        v = float(std::abs(double(v) - s.median));
    s.mad = median(sample);
    return s;
}

/// Writes one plane through toByte (sample -> 0..255) and put (row, x, level) row by row.
template <class T, class ToByte, class Put>
void mapPlane(const SamplePlane<T>& p, int w, int h, QImage& out, ToByte toByte, Put put) {
    for (int y = 0; y < h; ++y) {
        const T* row = p.top + y * p.rowStep;
        const char* blanks = p.blankTop ? p.blankTop + y * p.rowStep : nullptr;
        uchar* line = out.scanLine(y);
        if (blanks) {
            for (int x = 0; x < w; ++x)
                put(line, x, blanks[x * p.pixelStep] ? uchar(0) : toByte(row[x * p.pixelStep]));
        } else {
            for (int x = 0; x < w; ++x)
                put(line, x, toByte(row[x * p.pixelStep]));
        }
    }
}

template <class T, class Put>
void mapPlane(const SamplePlane<T>& p, int w, int h, const StretchCurve& curve, QImage& out, Put put) {
    if constexpr (std::is_same_v<T, quint16>) {
        // 65536 levels: the curve once per level, then a table look-up per pixel.
        std::array<uchar, 65536> table;
        for (int v = 0; v < 65536; ++v)
            table[size_t(v)] = curve.toByte(v);
        mapPlane(
            p, w, h, out, [&table](quint16 v) { return table[v]; }, put);
    } else {
        mapPlane(
            p, w, h, out, [&curve](T v) { return std::isfinite(v) ? curve.toByte(v) : uchar(0); }, put);
    }
}

} // namespace

template <class T>
QImage stretchPlanes(int width, int height, const std::vector<SamplePlane<T>>& planes,
                     QImage::Format greyFormat) {
    const bool grey = planes.size() == 1;
    const QImage::Format format = grey ? greyFormat : QImage::Format_RGB32;
    QImage out;
    try {
        out = QImage(width, height, format);
    } catch (const std::bad_alloc&) {
        return QImage();
    }
    if (out.isNull()) return out;
    for (size_t c = 0; c < planes.size(); ++c) {
        const PlaneStatistics s = statistics(planes[c], width, height);
        const StretchCurve curve = StretchCurve::fromStatistics(s.median, s.mad, s.lowest, s.highest);
        if (format == QImage::Format_Grayscale8) {
            mapPlane(planes[c], width, height, curve, out, [](uchar* line, int x, uchar g) { line[x] = g; });
        } else if (grey) {
            mapPlane(planes[c], width, height, curve, out,
                     [](uchar* line, int x, uchar g) { reinterpret_cast<QRgb*>(line)[x] = qRgb(g, g, g); });
        } else {
            const int shift = 16 - 8 * int(c); // red, green, blue
            if (c == 0)
                mapPlane(planes[c], width, height, curve, out, [](uchar* line, int x, uchar g) {
                    reinterpret_cast<QRgb*>(line)[x] = 0xff000000u | (QRgb(g) << 16);
                });
            else
                mapPlane(planes[c], width, height, curve, out, [shift](uchar* line, int x, uchar g) {
                    reinterpret_cast<QRgb*>(line)[x] |= QRgb(g) << shift;
                });
        }
    }
    return out;
}

template QImage stretchPlanes<quint16>(int, int, const std::vector<SamplePlane<quint16>>&, QImage::Format);
template QImage stretchPlanes<float>(int, int, const std::vector<SamplePlane<float>>&, QImage::Format);

bool isSixteenBit(const QImage& img) {
    const QImage::Format f = img.format();
    return f == QImage::Format_Grayscale16 || f == QImage::Format_RGBX64 || f == QImage::Format_RGBA64 ||
           f == QImage::Format_RGBA64_Premultiplied;
}

QImage stretchSixteenBit(const QImage& img, QImage::Format greyFormat) {
    const auto* bits = reinterpret_cast<const quint16*>(img.constBits());
    const qsizetype rowStep = img.bytesPerLine() / 2;
    std::vector<SamplePlane<quint16>> planes;
    if (img.format() == QImage::Format_Grayscale16) {
        planes.push_back({bits, 1, rowStep, nullptr});
    } else {
        // 64-bit formats keep red, green, blue, alpha as four 16-bit words in this order.
        for (int c = 0; c < 3; ++c)
            planes.push_back({bits + c, 4, rowStep, nullptr});
    }
    return stretchPlanes(img.width(), img.height(), planes, greyFormat);
}

} // namespace vorlan
