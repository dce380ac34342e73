#include "view/picturerender.h"

#include "view/picturerowkernels.h"
#include "view/rowbands.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace vorlan {

namespace {

using render::Frame;
using render::Span;

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

/// True when every target pixel lies within one picture pixel: a whole scale and an origin on a
/// whole target pixel (to the thousandth that nearestIndices allows for). Anywhere else a picture
/// pixel covers parts of target pixels, and only the area mean keeps a star where it belongs: the
/// pixel under a target pixel's corner is up to a whole target pixel off, and the one under its
/// centre up to half of one, which a blink shows as a jump.
bool onWholePixels(const Placement& at) {
    auto whole = [](double v) { return std::abs(v - std::nearbyint(v)) < 1e-3; };
    return at.scale >= 1.0 && whole(at.scale) && whole(at.originX) && whole(at.originY);
}

/// Grey values drawn as they are.
const ToneMap& plainTone() {
    static const ToneMap identity;
    return identity;
}

/// Colour rows [y0, y1) of the area, already drawn, put through the frame's tone map.
void toneRows(const Frame& f, int y0, int y1, int dstTop) {
    for (int y = y0; y < y1; ++y) {
        auto* out = reinterpret_cast<QRgb*>(f.dst + (dstTop + y) * f.dstStride) + f.dstLeft;
        f.tone->mapRow(out, out, f.width);
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
                out[c] = f.greyTable[line[xs[size_t(c)]]];
            continue;
        }
        const auto* in = reinterpret_cast<const QRgb*>(line);
        if (straight && f.tone) {
            f.tone->mapRow(in + xs.front(), out, f.width);
        } else if (straight) {
            std::memcpy(out, in + xs.front(), rowBytes);
            if (f.forceOpaque)
                for (int c = 0; c < f.width; ++c)
                    out[c] |= 0xff000000u;
        } else {
            for (int c = 0; c < f.width; ++c)
                out[c] = in[xs[size_t(c)]] | 0xff000000u;
            // Zoomed in, picture pixels repeat across: the row is mapped once it is in the cache.
            if (f.tone) f.tone->mapRow(out, out, f.width);
        }
    }
}

} // namespace

namespace render {

// The SSE2 kernel's arithmetic, lane by lane: the same integer column sums, the same float steps
// in the same order, the same rounding and clamping, so that both give the same pixels. A grey
// picture takes the same steps on its one channel, so that grey and colour copies of one picture
// look the same at every scale.
template <bool Grey>
void averageRows(const Frame& f, const std::vector<Span>& xs, const std::vector<Span>& ys, int y0, int y1,
                 int dstTop) {
    constexpr size_t Bytes = Grey ? 1 : 4;
    constexpr int Channels = Grey ? 1 : 3;
    const int xa = xs.front().first, xb = xs.back().last;
    const int m = xb - xa + 1;
    std::vector<int32_t> columnSums(Bytes * size_t(m));
    RowWeights rw;
    for (int y = y0; y < y1; ++y) {
        rw.take(ys[size_t(y)]);
        // Down: sums of the covered rows for every picture column (channels b g r a of colour).
        std::fill(columnSums.begin(), columnSums.end(), 0);
        for (size_t i = 0; i < rw.rows.size(); ++i) {
            const auto* line = reinterpret_cast<const uchar*>(f.src + rw.rows[i] * f.srcStride) + Bytes * size_t(xa);
            const int w = rw.weights[i];
            for (size_t k = 0; k < Bytes * size_t(m); ++k)
                columnSums[k] += w * line[k];
        }
        // Across: each target pixel averages the column sums it covers.
        auto* out = reinterpret_cast<QRgb*>(f.dst + (dstTop + y) * f.dstStride) + f.dstLeft;
        const float rowNorm = rw.sum > 0 ? 1.0f / float(rw.sum) : 0.0f;
        const int wholeLimit = rw.wholeLimit();
        for (size_t c = 0; c < xs.size(); ++c) {
            const Span& sx = xs[c];
            const int32_t* first = &columnSums[Bytes * size_t(sx.first - xa)];
            const int32_t* last = &columnSums[Bytes * size_t(sx.last - xa)];
            QRgb pixel = 0xff000000u;
            for (int ch = 0; ch < Channels; ++ch) {
                float sum = float(first[ch]);
                if (sx.first != sx.last) {
                    sum = sum * sx.wFirst + float(last[ch]) * sx.wLast;
                    if (sx.last - sx.first - 1 <= wholeLimit) {
                        int32_t whole = 0;
                        for (int i = sx.first + 1; i < sx.last; ++i)
                            whole += columnSums[Bytes * size_t(i - xa) + size_t(ch)];
                        sum = sum + float(whole);
                    } else {
                        for (int i = sx.first + 1; i < sx.last; ++i)
                            sum = sum + float(columnSums[Bytes * size_t(i - xa) + size_t(ch)]);
                    }
                }
                const float mean = sum * (rowNorm * sx.norm);
                const int v = std::clamp(int(mean + 0.5f), 0, 255); // halves up
                if constexpr (Grey)
                    pixel = f.greyTable[v];
                else
                    pixel |= QRgb(v) << (8 * ch);
            }
            out[c] = pixel;
        }
    }
}

void averageColourRows(const Frame& f, const std::vector<Span>& xs, const std::vector<Span>& ys, int y0,
                       int y1, int dstTop) {
    averageRows<false>(f, xs, ys, y0, y1, dstTop);
}

} // namespace render

void renderPicture(const QImage& picture, const Placement& at, QImage& target, const QRect& area,
                   Sampling sampling, ColourKernel kernel, const ToneMap* tone) {
    const QRect r = area & target.rect();
    if (r.isEmpty() || picture.isNull() || !(at.scale > 0)) return;
    const QImage::Format fmt = picture.format();
    const bool grey = fmt == QImage::Format_Grayscale8;
    if (!grey && fmt != QImage::Format_RGB32 && fmt != QImage::Format_ARGB32 &&
        fmt != QImage::Format_ARGB32_Premultiplied) {
        // The loader never hands over other formats; a caller that does pays for a conversion.
        renderPicture(picture.convertToFormat(QImage::Format_RGB32), at, target, area, sampling, kernel,
                      tone);
        return;
    }
    // An identity map costs nothing: colour is then copied as it is.
    const ToneMap* colourTone = tone && !tone->isIdentity() ? tone : nullptr;
    const Frame f{picture.constBits(),
                  picture.bytesPerLine(),
                  grey,
                  fmt != QImage::Format_RGB32,
                  target.bits(),
                  target.bytesPerLine(),
                  r.left(),
                  r.width(),
                  (tone ? *tone : plainTone()).greyTable(),
                  colourTone};
    const int w = picture.width(), h = picture.height();
    if (sampling == Sampling::AreaAverage && !onWholePixels(at)) {
        const std::vector<Span> xs = areaSpans(r.left(), r.width(), at.originX, at.scale, w);
        const std::vector<Span> ys = areaSpans(r.top(), r.height(), at.originY, at.scale, h);
        const double covered = double(r.width()) * r.height() / (at.scale * at.scale);
        auto rows = grey ? render::averageRows<true> : render::averageColourRows;
#if defined(__SSE2__)
        if (!grey && kernel == ColourKernel::Fastest) rows = render::averageColourRowsSse2;
#endif
        inBands(r.height(), covered, [&](int y0, int y1) {
            rows(f, xs, ys, y0, y1, r.top());
            // The band is still in the cache: the map costs one look-up a channel.
            if (colourTone && !grey) toneRows(f, y0, y1, r.top());
        });
        return;
    }
    const std::vector<int> xs = nearestIndices(r.left(), r.width(), at.originX, at.scale, w);
    const std::vector<int> ys = nearestIndices(r.top(), r.height(), at.originY, at.scale, h);
    // A colour pixel through the map costs about two plain copies: shared out sooner.
    const double work = double(r.width()) * r.height() * (colourTone && !grey ? 2 : 1);
    inBands(r.height(), work, [&](int y0, int y1) { nearestRows(f, xs, ys, y0, y1, r.top()); });
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
