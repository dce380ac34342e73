// The SSE2 colour kernel of renderPicture: four pixels at a time down the covered rows, four
// channels at a time across. Every x86-64 processor runs it; the plain kernel in
// picturerender.cpp gives the same pixels elsewhere.

#include "view/picturerowkernels.h"

#if defined(__SSE2__)
#include <emmintrin.h>

namespace vorlan::render {

void averageColourRowsSse2(const Frame& f, const std::vector<Span>& xs, const std::vector<Span>& ys, int y0,
                           int y1, int dstTop) {
    const int xa = xs.front().first, xb = xs.back().last;
    const int m = xb - xa + 1;
    std::vector<int32_t> columnSums(4 * size_t(m) + 4);
    const __m128i zero = _mm_setzero_si128();
    RowWeights rw;
    std::vector<const QRgb*> lines;
    struct alignas(16) Lanes {
        int16_t w[8];
    };
    std::vector<Lanes> pairWeights; // [w0 w1] x 4 for the rows 2j and 2j + 1
    for (int y = y0; y < y1; ++y) {
        rw.take(ys[size_t(y)]);
        if (rw.rows.size() % 2) { // an odd row pairs with itself at weight 0
            rw.rows.push_back(rw.rows.back());
            rw.weights.push_back(0);
        }
        const size_t pairs = rw.rows.size() / 2;
        lines.resize(rw.rows.size());
        pairWeights.resize(pairs);
        for (size_t i = 0; i < rw.rows.size(); ++i)
            lines[i] = reinterpret_cast<const QRgb*>(f.src + rw.rows[i] * f.srcStride) + xa;
        for (size_t j = 0; j < pairs; ++j)
            for (size_t i = 0; i < 8; ++i)
                pairWeights[j].w[i] = rw.weights[2 * j + i % 2];
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
        const float rowNorm = rw.sum > 0 ? 1.0f / float(rw.sum) : 0.0f;
        const int wholeLimit = rw.wholeLimit();
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
            const __m128i v = _mm_cvttps_epi32(_mm_add_ps(mean, _mm_set1_ps(0.5f))); // halves up
            const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(v, v), zero);
            out[c] = QRgb(_mm_cvtsi128_si32(bytes)) | 0xff000000u;
        }
    }
}

} // namespace vorlan::render

#endif
