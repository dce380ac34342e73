#include "view/picturerender.h"

#include <QSemaphore>
#include <QThreadPool>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <vector>

namespace vorlan {

namespace {

/// The picture pixels that one target pixel covers along one axis: first to last, the covered
/// fractions of the two end pixels, and 1 / the covered length, which turns the sum into a mean.
struct Span {
    int first, last;
    float wFirst, wLast, norm;
};

/// The share of picture pixel i (an index inside s) that the target pixel of span s covers.
inline float coverOf(const Span& s, int i) {
    return s.first == s.last ? 1.0f : i == s.first ? s.wFirst : i == s.last ? s.wLast : 1.0f;
}

/// Spans of target pixels begin, begin + 1, ... along one axis (target pixel t covers
/// [t, t + 1)); a target pixel that misses the picture takes the nearest edge pixel.
std::vector<Span> areaSpans(int begin, int count, double origin, double scale, int size) {
    std::vector<Span> spans(size_t(std::max(0, count)));
    for (int i = 0; i < count; ++i) {
        const int t = begin + i;
        const double u0 = std::max(0.0, (t - origin) / scale);
        const double u1 = std::min(double(size), (t + 1 - origin) / scale);
        Span& s = spans[size_t(i)];
        if (u1 <= u0) {
            const int edge = (t + 0.5 - origin) / scale < size / 2.0 ? 0 : size - 1;
            s = {edge, edge, 1, 1, 1};
            continue;
        }
        const int a = std::clamp(int(std::floor(u0)), 0, size - 1);
        const int b = std::clamp(int(std::ceil(u1)) - 1, a, size - 1);
        if (a == b)
            s = {a, a, 1, 1, 1};
        else
            s = {a, b, float(a + 1 - u0), float(u1 - b), float(1.0 / (u1 - u0))};
    }
    return spans;
}

/// The picture pixel under the top-left corner of target pixels begin, begin + 1, ... along one
/// axis: the point a mouse position names, so a click lands on the picture pixel it shows. The
/// thousandth of a pixel keeps a corner that falls on a pixel edge from flipping with the rounding
/// of positions kept as 32-bit floats.
std::vector<int> nearestIndices(int begin, int count, double origin, double scale, int size) {
    std::vector<int> index(size_t(std::max(0, count)));
    for (int i = 0; i < count; ++i)
        index[size_t(i)] = std::clamp(int(std::floor((begin + i - origin) / scale + 1e-3)), 0, size - 1);
    return index;
}

/// Raw rows of the source and target, read once before the bands start, so that the worker
/// threads never call QImage members (scanLine() may detach).
struct Frame {
    const uchar* src;
    qsizetype srcStride;
    bool grey;
    bool forceOpaque; ///< the source has an alpha byte that must not reach the target
    uchar* dst;
    qsizetype dstStride;
    int dstLeft;
    int width; ///< target pixels across the area
};

inline QRgb opaqueGrey(int v) {
    return 0xff000000u | (uint(v) * 0x010101u);
}

/// Sum of one source row over each span, times the span's norm: channels r, g, b per target
/// column for colour, one value for grey.
void reduceRow(const Frame& f, int row, const std::vector<Span>& xs, float* out) {
    const uchar* line = f.src + row * f.srcStride;
    const size_t n = xs.size();
    if (f.grey) {
        for (size_t c = 0; c < n; ++c) {
            const Span& s = xs[c];
            if (s.first == s.last) {
                out[c] = line[s.first];
                continue;
            }
            uint32_t sum = 0;
            for (int i = s.first + 1; i < s.last; ++i)
                sum += line[i];
            out[c] = (s.wFirst * line[s.first] + float(sum) + s.wLast * line[s.last]) * s.norm;
        }
        return;
    }
    const auto* px = reinterpret_cast<const QRgb*>(line);
    for (size_t c = 0; c < n; ++c) {
        const Span& s = xs[c];
        const QRgb a = px[s.first];
        if (s.first == s.last) {
            out[3 * c] = qRed(a);
            out[3 * c + 1] = qGreen(a);
            out[3 * c + 2] = qBlue(a);
            continue;
        }
        // Red and blue add up side by side in one word, 16 bits each; 256 pixels cannot overflow.
        float r = 0, g = 0, b = 0;
        for (int i = s.first + 1; i < s.last;) {
            const int end = std::min(s.last, i + 256);
            uint32_t rb = 0, gg = 0;
            for (; i < end; ++i) {
                rb += px[i] & 0x00ff00ffu;
                gg += px[i] & 0x0000ff00u;
            }
            r += float(rb >> 16);
            b += float(rb & 0xffffu);
            g += float(gg >> 8);
        }
        const QRgb z = px[s.last];
        out[3 * c] = (s.wFirst * qRed(a) + r + s.wLast * qRed(z)) * s.norm;
        out[3 * c + 1] = (s.wFirst * qGreen(a) + g + s.wLast * qGreen(z)) * s.norm;
        out[3 * c + 2] = (s.wFirst * qBlue(a) + b + s.wLast * qBlue(z)) * s.norm;
    }
}

#if defined(__SSE2__)
/// Colour rows [y0, y1) of the area, area-averaged: for each target row the picture rows it
/// covers are first added up column by column, two rows and four pixels at a time with whole-number
/// weights (256 = a whole row), and the sums then averaged across into the target pixels.
void averageColourRows(const Frame& f, const std::vector<Span>& xs, const std::vector<Span>& ys, int y0,
                       int y1, int dstTop) {
    const int xa = xs.front().first, xb = xs.back().last;
    const int m = xb - xa + 1;
    std::vector<int32_t> columnSums(4 * size_t(m) + 4);
    const __m128i zero = _mm_setzero_si128();
    std::vector<int> rows;
    std::vector<int16_t> weights;
    std::vector<const QRgb*> lines;
    struct alignas(16) Lanes {
        int16_t w[8];
    };
    std::vector<Lanes> pairWeights; // [w0 w1] x 4 for the rows 2j and 2j + 1
    for (int y = y0; y < y1; ++y) {
        const Span& s = ys[size_t(y)];
        rows.clear();
        weights.clear();
        int weightSum = 0;
        for (int r = s.first; r <= s.last; ++r) {
            rows.push_back(r);
            weights.push_back(int16_t(std::lround(coverOf(s, r) * 256)));
            weightSum += weights.back();
        }
        if (rows.size() % 2) { // an odd row pairs with itself at weight 0
            rows.push_back(rows.back());
            weights.push_back(0);
        }
        const size_t pairs = rows.size() / 2;
        lines.resize(rows.size());
        pairWeights.resize(pairs);
        for (size_t i = 0; i < rows.size(); ++i)
            lines[i] = reinterpret_cast<const QRgb*>(f.src + rows[i] * f.srcStride) + xa;
        for (size_t j = 0; j < pairs; ++j)
            for (size_t i = 0; i < 8; ++i)
                pairWeights[j].w[i] = weights[2 * j + i % 2];
        // Down: sums of the covered rows for every picture column, channels b g r a as 32 bits.
        int x = 0;
        for (; x + 4 <= m; x += 4) {
            __m128i acc[4] = {zero, zero, zero, zero};
            for (size_t j = 0; j < pairs; ++j) {
                const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lines[2 * j] + x));
                const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lines[2 * j + 1] + x));
                const __m128i w = _mm_load_si128(reinterpret_cast<const __m128i*>(pairWeights[j].w));
                const __m128i lo = _mm_unpacklo_epi8(a, b), hi = _mm_unpackhi_epi8(a, b); // ba bb ga gb ...
                acc[0] = _mm_add_epi32(acc[0], _mm_madd_epi16(_mm_unpacklo_epi8(lo, zero), w));
                acc[1] = _mm_add_epi32(acc[1], _mm_madd_epi16(_mm_unpackhi_epi8(lo, zero), w));
                acc[2] = _mm_add_epi32(acc[2], _mm_madd_epi16(_mm_unpacklo_epi8(hi, zero), w));
                acc[3] = _mm_add_epi32(acc[3], _mm_madd_epi16(_mm_unpackhi_epi8(hi, zero), w));
            }
            for (int i = 0; i < 4; ++i)
                _mm_storeu_si128(reinterpret_cast<__m128i*>(&columnSums[4 * size_t(x + i)]), acc[i]);
        }
        for (; x < m; ++x) {
            __m128i acc = zero;
            for (size_t j = 0; j < pairs; ++j) {
                const __m128i a = _mm_cvtsi32_si128(int(lines[2 * j][x]));
                const __m128i b = _mm_cvtsi32_si128(int(lines[2 * j + 1][x]));
                acc = _mm_add_epi32(
                    acc, _mm_madd_epi16(_mm_unpacklo_epi8(_mm_unpacklo_epi8(a, b), zero),
                                        _mm_load_si128(reinterpret_cast<const __m128i*>(pairWeights[j].w))));
            }
            _mm_storeu_si128(reinterpret_cast<__m128i*>(&columnSums[4 * size_t(x)]), acc);
        }
        // Across: each target pixel averages the column sums it covers.
        auto* out = reinterpret_cast<QRgb*>(f.dst + (dstTop + y) * f.dstStride) + f.dstLeft;
        const float rowNorm = weightSum > 0 ? 1.0f / float(weightSum) : 0.0f;
        // Whole columns add up as integers while their sum cannot overflow 32 bits.
        const int wholeLimit = int(0x7fffffff / (255LL * weightSum + 1));
        auto sumAt = [&](int i) {
            return _mm_loadu_si128(reinterpret_cast<const __m128i*>(&columnSums[4 * size_t(i - xa)]));
        };
        for (size_t c = 0; c < xs.size(); ++c) {
            const Span& sx = xs[c];
            __m128 sum = _mm_cvtepi32_ps(sumAt(sx.first));
            if (sx.first != sx.last) {
                sum = _mm_add_ps(_mm_mul_ps(sum, _mm_set1_ps(sx.wFirst)),
                                 _mm_mul_ps(_mm_cvtepi32_ps(sumAt(sx.last)), _mm_set1_ps(sx.wLast)));
                if (sx.last - sx.first - 1 <= wholeLimit) {
                    __m128i whole = zero;
                    for (int i = sx.first + 1; i < sx.last; ++i)
                        whole = _mm_add_epi32(whole, sumAt(i));
                    sum = _mm_add_ps(sum, _mm_cvtepi32_ps(whole));
                } else {
                    for (int i = sx.first + 1; i < sx.last; ++i)
                        sum = _mm_add_ps(sum, _mm_cvtepi32_ps(sumAt(i)));
                }
            }
            const __m128 mean = _mm_mul_ps(sum, _mm_set1_ps(rowNorm * sx.norm));
            const __m128i v = _mm_cvttps_epi32(_mm_add_ps(mean, _mm_set1_ps(0.5f))); // halves up, as toByte
            const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(v, v), zero);
            out[c] = QRgb(_mm_cvtsi128_si32(bytes)) | 0xff000000u;
        }
    }
}
#endif

inline int toByte(float v) {
    return std::min(255, int(v + 0.5f));
}

/// Target rows [y0, y1) of the area (indices into ys), area-averaged.
void averageRows(const Frame& f, const std::vector<Span>& xs, const std::vector<Span>& ys, int y0, int y1,
                 int dstTop) {
#if defined(__SSE2__)
    if (!f.grey) {
        averageColourRows(f, xs, ys, y0, y1, dstTop);
        return;
    }
#endif
    const size_t channels = f.grey ? 1 : 3;
    const size_t n = xs.size() * channels;
    std::vector<float> work(n), kept(n), acc(n);
    int keptRow = -1;
    for (int y = y0; y < y1; ++y) {
        const Span& s = ys[size_t(y)];
        std::fill(acc.begin(), acc.end(), 0.0f);
        for (int r = s.first; r <= s.last; ++r) {
            const float w = coverOf(s, r);
            const float* h = kept.data();
            if (r != keptRow) {
                reduceRow(f, r, xs, work.data());
                h = work.data();
                // The last row of this target row is usually the first of the next one.
                if (r == s.last) {
                    std::swap(work, kept);
                    keptRow = r;
                    h = kept.data();
                }
            }
            for (size_t i = 0; i < n; ++i)
                acc[i] += w * h[i];
        }
        auto* out = reinterpret_cast<QRgb*>(f.dst + (dstTop + y) * f.dstStride) + f.dstLeft;
        const float norm = s.norm;
        if (f.grey) {
            for (int c = 0; c < f.width; ++c)
                out[c] = opaqueGrey(toByte(acc[size_t(c)] * norm));
        } else {
            for (int c = 0; c < f.width; ++c) {
                const float* v = &acc[3 * size_t(c)];
                out[c] = qRgb(toByte(v[0] * norm), toByte(v[1] * norm), toByte(v[2] * norm));
            }
        }
    }
}

/// Target rows [y0, y1) of the area, each pixel showing the picture pixel under its corner. A row that
/// repeats a picture row is copied from the row above.
void nearestRows(const Frame& f, const std::vector<int>& xs, const std::vector<int>& ys, int y0, int y1,
                 int dstTop) {
    const size_t rowBytes = size_t(f.width) * sizeof(QRgb);
    const bool straight = !f.grey && !xs.empty() && xs.back() - xs.front() == f.width - 1;
    for (int y = y0; y < y1; ++y) {
        auto* out = reinterpret_cast<QRgb*>(f.dst + (dstTop + y) * f.dstStride) + f.dstLeft;
        const int row = ys[size_t(y)];
        if (y > y0 && row == ys[size_t(y) - 1]) {
            std::memcpy(out, reinterpret_cast<const uchar*>(out) - f.dstStride, rowBytes);
            continue;
        }
        const uchar* line = f.src + row * f.srcStride;
        if (f.grey) {
            for (int c = 0; c < f.width; ++c)
                out[c] = opaqueGrey(line[xs[size_t(c)]]);
            continue;
        }
        const auto* in = reinterpret_cast<const QRgb*>(line);
        if (straight) {
            std::memcpy(out, in + xs.front(), rowBytes);
            if (f.forceOpaque)
                for (int c = 0; c < f.width; ++c)
                    out[c] |= 0xff000000u;
        } else {
            for (int c = 0; c < f.width; ++c)
                out[c] = in[xs[size_t(c)]] | 0xff000000u;
        }
    }
}

/// Runs body(y0, y1) over [0, rows) in bands when the work is big enough to be worth sharing:
/// the caller's thread and the pool's take the next band as each finishes, so a thread that the
/// system holds back delays no more than one band.
template <typename Body> void inBands(int rows, double work, const Body& body) {
    QThreadPool* pool = QThreadPool::globalInstance();
    const int helpers = std::max(0, pool->maxThreadCount() - 1);
    const int bands = work < 2.0e6 || helpers == 0 ? 1 : std::min(rows / 8, 8 * (helpers + 1));
    if (bands <= 1) {
        body(0, rows);
        return;
    }
    std::atomic<int> next{0};
    auto takeBands = [&] {
        for (int b = next++; b < bands; b = next++)
            body(rows * b / bands, rows * (b + 1) / bands);
    };
    QSemaphore done;
    for (int h = 0; h < helpers; ++h)
        pool->start([&takeBands, &done] {
            takeBands();
            done.release();
        });
    takeBands();
    done.acquire(helpers);
}

} // namespace

void renderPicture(const QImage& picture, const Placement& at, QImage& target, const QRect& area,
                   Sampling sampling) {
    const QRect r = area & target.rect();
    if (r.isEmpty() || picture.isNull() || !(at.scale > 0)) return;
    const QImage::Format fmt = picture.format();
    const bool grey = fmt == QImage::Format_Grayscale8;
    if (!grey && fmt != QImage::Format_RGB32 && fmt != QImage::Format_ARGB32 &&
        fmt != QImage::Format_ARGB32_Premultiplied) {
        // The loader never hands over other formats; a caller that does pays for a conversion.
        renderPicture(picture.convertToFormat(QImage::Format_RGB32), at, target, area, sampling);
        return;
    }
    const Frame f{picture.constBits(), picture.bytesPerLine(), grey,     fmt != QImage::Format_RGB32,
                  target.bits(),       target.bytesPerLine(),  r.left(), r.width()};
    const int w = picture.width(), h = picture.height();
    if (sampling == Sampling::AreaAverage && at.scale < 1.0) {
        const std::vector<Span> xs = areaSpans(r.left(), r.width(), at.originX, at.scale, w);
        const std::vector<Span> ys = areaSpans(r.top(), r.height(), at.originY, at.scale, h);
        const double covered = double(r.width()) * r.height() / (at.scale * at.scale);
        inBands(r.height(), covered, [&](int y0, int y1) { averageRows(f, xs, ys, y0, y1, r.top()); });
        return;
    }
    const std::vector<int> xs = nearestIndices(r.left(), r.width(), at.originX, at.scale, w);
    const std::vector<int> ys = nearestIndices(r.top(), r.height(), at.originY, at.scale, h);
    inBands(r.height(), double(r.width()) * r.height(),
            [&](int y0, int y1) { nearestRows(f, xs, ys, y0, y1, r.top()); });
}

std::optional<QPoint> brightestPixel(const QImage& picture, const QRectF& area) {
    const QRect touched = QRect(QPoint(int(std::floor(area.left())), int(std::floor(area.top()))),
                                QPoint(int(std::ceil(area.right())) - 1, int(std::ceil(area.bottom())) - 1)) &
                          picture.rect();
    if (touched.isEmpty()) return std::nullopt;
    const bool grey = picture.format() == QImage::Format_Grayscale8;
    auto brightness = [&](int x, int y) {
        if (grey) return int(picture.constScanLine(y)[x]);
        const QRgb c = picture.format() == QImage::Format_RGB32 ||
                               picture.format() == QImage::Format_ARGB32 ||
                               picture.format() == QImage::Format_ARGB32_Premultiplied
                           ? reinterpret_cast<const QRgb*>(picture.constScanLine(y))[x]
                           : picture.pixel(x, y);
        return qRed(c) + qGreen(c) + qBlue(c);
    };
    QPoint best = touched.topLeft();
    int most = brightness(best.x(), best.y()), least = most;
    for (int y = touched.top(); y <= touched.bottom(); ++y)
        for (int x = touched.left(); x <= touched.right(); ++x) {
            const int v = brightness(x, y);
            least = std::min(least, v);
            if (v > most) {
                most = v;
                best = QPoint(x, y);
            }
        }
    if (most == least) return std::nullopt;
    return best;
}

} // namespace vorlan
