#include "registration/pictureturn.h"

#include "common/jobrunner.h"
#include "view/rowbands.h"

#include <QThread>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <atomic>
#include <cmath>

namespace vorlan {

QString turnedTooLargeReason(QSize size) {
    return QStringLiteral("Повёрнутый снимок %1 x %2 пикселей не помещается в памяти.")
        .arg(size.width())
        .arg(size.height());
}

bool needsTurn(const SimilarityTransform& toPicture1) {
    return toPicture1.mirrored || std::abs(toPicture1.turnDegrees()) > LeastShownTurnDegrees;
}

PictureTurn pictureTurn(const SimilarityTransform& toPicture1, QSize size) {
    PictureTurn turn;
    SimilarityTransform& u = turn.toShown;
    const double angle = toPicture1.turnRadians();
    u.a = std::cos(angle);
    u.b = std::sin(angle);
    u.mirrored = toPicture1.mirrored;
    double minX = HUGE_VAL, minY = HUGE_VAL, maxX = -HUGE_VAL, maxY = -HUGE_VAL;
    for (const QPointF corner : {QPointF(0, 0), QPointF(size.width(), 0), QPointF(0, size.height()),
                                 QPointF(size.width(), size.height())}) {
        const QPointF p = u.map(corner);
        minX = std::min(minX, p.x());
        minY = std::min(minY, p.y());
        maxX = std::max(maxX, p.x());
        maxY = std::max(maxY, p.y());
    }
    u.tx = -minX;
    u.ty = -minY;
    // A quarter turn leaves the box a hair over whole pixels; that hair is no pixel of its own.
    turn.size = QSize(int(std::ceil(maxX - minX - 1e-6)), int(std::ceil(maxY - minY - 1e-6)));
    return turn;
}

namespace {

/// The columns i (0 <= i < n) for which lo <= start + i * step <= hi, as [first, last]; first > last
/// when there are none.
void clipColumns(double start, double step, double lo, double hi, int n, int& first, int& last) {
    constexpr double Slack = 1e-9;
    if (std::abs(step) < 1e-15) {
        if (start < lo - Slack || start > hi + Slack) last = first - 1;
        return;
    }
    double a = (lo - start) / step, b = (hi - start) / step;
    if (a > b) std::swap(a, b);
    first = std::max(first, int(std::ceil(std::max(a - Slack, -1.0))));
    last = std::min(last, int(std::floor(std::min(b + Slack, double(n)))));
}

/// Bilinear weights in fixed point: fractions in 1/1024, the four products in 1/2^20 (they sum
/// to exactly 2^20, so a sample of equal pixels is that value).
constexpr int WeightBits = 10;
constexpr int WeightOne = 1 << WeightBits;
constexpr int ProductBits = 2 * WeightBits;

struct Weights {
    quint32 w00, w10, w01, w11; ///< top left, top right, bottom left, bottom right
};

inline Weights weights(int fx, int fy) {
    const quint32 gx = quint32(WeightOne - fx), gy = quint32(WeightOne - fy);
    return {gx * gy, quint32(fx) * gy, gx * quint32(fy), quint32(fx) * quint32(fy)};
}

inline uchar mixGrey(uchar a, uchar b, uchar c, uchar d, const Weights& w) {
    return uchar((a * w.w00 + b * w.w10 + c * w.w01 + d * w.w11 + (1u << (ProductBits - 1))) >> ProductBits);
}

/// Red and blue of a colour in two 32-bit lanes of one word: a lane holds 255 x 2^20.
inline quint64 redBlue(QRgb c) {
    return (c & 0xffu) | (quint64(c & 0xff0000u) << 16);
}

inline QRgb mixColour(QRgb a, QRgb b, QRgb c, QRgb d, const Weights& w) {
    constexpr quint64 Half = (1ull << (ProductBits - 1)) | (1ull << (ProductBits + 31));
    const quint64 rb =
        redBlue(a) * w.w00 + redBlue(b) * w.w10 + redBlue(c) * w.w01 + redBlue(d) * w.w11 + Half;
    const quint32 g = (qGreen(a) * w.w00 + qGreen(b) * w.w10 + qGreen(c) * w.w01 + qGreen(d) * w.w11 +
                       (1u << (ProductBits - 1))) >>
                      ProductBits;
    return 0xff000000u | (quint32(rb >> (ProductBits + 32)) & 0xffu) << 16 | g << 8 |
           (quint32(rb >> ProductBits) & 0xffu);
}

#if defined(__SSE2__)
/// mixColour's sample four channels at a time: one multiply-add weighs the two rows of both
/// columns, a second the two columns. The rows' sums lose four bits to fit 16-bit lanes, a
/// sixty-fourth of a level at most.
inline QRgb mixColourSse2(const QRgb* c0, const QRgb* c1, int fx, int fy) {
    const __m128i zero = _mm_setzero_si128();
    // b g r a of both columns, 16 bits each.
    const __m128i top = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(c0)), zero);
    const __m128i bottom = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(c1)), zero);
    const __m128i wy = _mm_set1_epi32(int(quint32(fy) << 16 | quint32(WeightOne - fy)));
    const __m128i left = _mm_madd_epi16(_mm_unpacklo_epi16(top, bottom), wy);
    const __m128i right = _mm_madd_epi16(_mm_unpackhi_epi16(top, bottom), wy);
    const __m128i columns = _mm_packs_epi32(_mm_srai_epi32(left, 4), _mm_srai_epi32(right, 4));
    const __m128i pairs = _mm_unpacklo_epi16(columns, _mm_srli_si128(columns, 8));
    const __m128i wx = _mm_set1_epi32(int(quint32(fx) << 16 | quint32(WeightOne - fx)));
    const __m128i sum = _mm_madd_epi16(pairs, wx); // the level x 2^16
    const __m128i level = _mm_srli_epi32(_mm_add_epi32(sum, _mm_set1_epi32(1 << 15)), 16);
    const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(level, level), zero);
    return QRgb(_mm_cvtsi128_si32(bytes)) | 0xff000000u;
}
#endif

/// Samples columns from..to of an output row whose source positions (pixel-centre frame, 32.32
/// fixed point) start at sx, sy and step by dx, dy, all four pixels of each inside the picture.
/// Everything comes by value, so the loop keeps it in registers whatever the byte stores alias.
template <bool Grey>
void sampleRun(const uchar* bits, qsizetype bpl, uchar* line, int from, int to, qint64 sx, qint64 sy,
               qint64 dx, qint64 dy) {
    constexpr int FractionShift = 32 - WeightBits;
    for (int i = from; i <= to; ++i, sx += dx, sy += dy) {
        const int x0 = int(sx >> 32);
        const uchar* r0 = bits + qsizetype(sy >> 32) * bpl;
        const uchar* r1 = r0 + bpl;
        const int fx = int((sx >> FractionShift) & (WeightOne - 1)),
                  fy = int((sy >> FractionShift) & (WeightOne - 1));
        if constexpr (Grey) {
            line[i] = mixGrey(r0[x0], r0[x0 + 1], r1[x0], r1[x0 + 1], weights(fx, fy));
        } else {
            const auto* c0 = reinterpret_cast<const QRgb*>(r0) + x0;
            const auto* c1 = reinterpret_cast<const QRgb*>(r1) + x0;
#if defined(__SSE2__)
            reinterpret_cast<QRgb*>(line)[i] = mixColourSse2(c0, c1, fx, fy);
#else
            reinterpret_cast<QRgb*>(line)[i] = mixColour(c0[0], c0[1], c1[0], c1[1], weights(fx, fy));
#endif
        }
    }
}

} // namespace

QImage turnPicture(const QImage& picture, const PictureTurn& turn, JobControl* control, const QString& what) {
    const bool grey = picture.format() == QImage::Format_Grayscale8;
    QImage out(turn.size, grey ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
    if (out.isNull() || picture.isNull()) return QImage();
    const int w = picture.width(), h = picture.height();
    const int ow = out.width(), oh = out.height();
    const uchar* bits = picture.constBits();
    const qsizetype bpl = picture.bytesPerLine();
    // Near the border a sample's neighbours beyond the edge repeat the edge pixel.
    const int lastX = std::max(0, w - 2), lastY = std::max(0, h - 2);
    auto edge = [&](uchar* line, int i, double px, double py) {
        const double sx = std::clamp(px - 0.5, 0.0, double(w - 1));
        const double sy = std::clamp(py - 0.5, 0.0, double(h - 1));
        const int x0 = std::min(int(sx), lastX), y0 = std::min(int(sy), lastY);
        const int x1 = std::min(x0 + 1, w - 1);
        const uchar* r0 = bits + y0 * bpl;
        const uchar* r1 = bits + std::min(y0 + 1, h - 1) * bpl;
        const Weights wt = weights(int((sx - x0) * WeightOne + 0.5), int((sy - y0) * WeightOne + 0.5));
        if (grey) {
            line[i] = mixGrey(r0[x0], r0[x1], r1[x0], r1[x1], wt);
            return;
        }
        const auto* c0 = reinterpret_cast<const QRgb*>(r0);
        const auto* c1 = reinterpret_cast<const QRgb*>(r1);
        reinterpret_cast<QRgb*>(line)[i] = mixColour(c0[x0], c0[x1], c1[x0], c1[x1], wt);
    };
    auto black = [grey](uchar* line, int from, int to) {
        for (int i = from; i < to; ++i) {
            if (grey)
                line[i] = 0;
            else
                reinterpret_cast<QRgb*>(line)[i] = 0xff000000u;
        }
    };
    const SimilarityTransform back = turn.toShown.inverted();
    // Along an output row the source position moves by the first column of the inverse; inside
    // the picture it is stepped in 32.32 fixed point, whose drift over a row stays below 1e-5 pixel.
    const double stepX = back.a, stepY = back.b;
    constexpr double Fixed = 4294967296.0;
    constexpr double Margin = 1e-3;
    const qint64 dx = std::llround(stepX * Fixed), dy = std::llround(stepY * Fixed);
    const bool inner = w >= 2 && h >= 2;
    uchar* const outBits = out.bits(); // taken here: the bands must not call QImage members
    const qsizetype outBpl = out.bytesPerLine();
    auto drawRow = [&](int j) {
        // Where the row meets the picture: [first, last] inside it, [inFirst, inLast] with all
        // four pixels of every sample inside it.
        const QPointF start = back.map(QPointF(0.5, j + 0.5));
        int first = 0, last = ow - 1;
        clipColumns(start.x(), stepX, 0, w, ow, first, last);
        clipColumns(start.y(), stepY, 0, h, ow, first, last);
        int inFirst = first, inLast = last;
        if (inner) {
            clipColumns(start.x(), stepX, 0.5 + Margin, w - 0.5 - Margin, ow, inFirst, inLast);
            clipColumns(start.y(), stepY, 0.5 + Margin, h - 0.5 - Margin, ow, inFirst, inLast);
        }
        if (inFirst > inLast || !inner) {
            inFirst = last + 1;
            inLast = last;
        }
        uchar* line = outBits + j * outBpl;
        black(line, 0, std::min(first, ow));
        for (int i = first; i < inFirst; ++i)
            edge(line, i, start.x() + i * stepX, start.y() + i * stepY);
        const qint64 sx = std::llround((start.x() + inFirst * stepX - 0.5) * Fixed);
        const qint64 sy = std::llround((start.y() + inFirst * stepY - 0.5) * Fixed);
        if (grey)
            sampleRun<true>(bits, bpl, line, inFirst, inLast, sx, sy, dx, dy);
        else
            sampleRun<false>(bits, bpl, line, inFirst, inLast, sx, sy, dx, dy);
        for (int i = std::max(first, inLast + 1); i <= last; ++i)
            edge(line, i, start.x() + i * stepX, start.y() + i * stepY);
        black(line, std::max(last + 1, 0), ow);
    };
    // Rows are shared out among the threads of the pool and this one; this one reports.
    const QThread* reporter = QThread::currentThread();
    std::atomic<int> rowsDone{0};
    std::atomic<bool> stopped{false};
    inBands(oh, double(ow) * oh, [&](int j0, int j1) {
        for (int j = j0; j < j1 && !stopped.load(std::memory_order_relaxed); ++j) {
            drawRow(j);
            const int done = ++rowsDone;
            if (control && control->stopRequested()) stopped = true;
            if (control && QThread::currentThread() == reporter) control->progress(done, oh, what);
        }
    });
    if (stopped) return QImage();
    if (control) control->progress(oh, oh, what);
    return out;
}

} // namespace vorlan
