#pragma once

// Inside renderPicture: the spans one target pixel covers and the colour kernels that average
// them, shared by picturerender.cpp and the SSE2 kernel of picturerender_sse2.cpp.

#include <QRgb>
#include <QtGlobal>
#include <cmath>
#include <cstdint>
#include <vector>

namespace vorlan::render {

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

/// The picture rows a target row covers with whole-number weights, 256 for a whole row, so that
/// both colour kernels add the rows up exactly alike.
struct RowWeights {
    std::vector<int> rows;
    std::vector<int16_t> weights;
    int sum = 0;

    void take(const Span& s) {
        rows.clear();
        weights.clear();
        sum = 0;
        for (int r = s.first; r <= s.last; ++r) {
            rows.push_back(r);
            weights.push_back(int16_t(std::lround(coverOf(s, r) * 256)));
            sum += weights.back();
        }
    }
    /// Whole columns of column sums add up as integers while this many cannot overflow 32 bits.
    int wholeLimit() const { return int(0x7fffffff / (255LL * sum + 1)); }
};

/// Colour rows [y0, y1) of the area (indices into ys), area-averaged: for each target row the
/// picture rows it covers are added up column by column with RowWeights, and those column sums
/// then averaged across into the target pixels. Written once plainly and once with SSE2; the
/// two give the same pixels.
void averageColourRows(const Frame& f, const std::vector<Span>& xs, const std::vector<Span>& ys, int y0,
                       int y1, int dstTop);
#if defined(__SSE2__)
void averageColourRowsSse2(const Frame& f, const std::vector<Span>& xs, const std::vector<Span>& ys, int y0,
                           int y1, int dstTop);
#endif

} // namespace vorlan::render
