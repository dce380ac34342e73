// The tone map's rows eight pixels at a time, for processors with AVX2: this file alone is built
// for them, and ToneMap::mapRow calls it only where the processor says it has AVX2.

#include "view/tonemap.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

namespace vorlan::tone {

int mapRowAvx2(const QRgb* in, QRgb* out, int n, const FixedLines& lines) {
    // The same lanes and steps as the SSE2 loop, twice as wide: the unpacks and the pack work
    // within each 128-bit half, so the pixels come back in their order.
    auto lanes = [](const std::array<uint16_t, 3>& c) {
        const short b = short(c[0]), g = short(c[1]), r = short(c[2]);
        return _mm256_setr_epi16(b, g, r, 0, b, g, r, 0, b, g, r, 0, b, g, r, 0);
    };
    const __m256i mul = lanes(lines.mul), plus = lanes(lines.plus), minus = lanes(lines.minus),
                  top = lanes(lines.ceiling);
    const __m256i zero = _mm256_setzero_si256(), opaque = _mm256_set1_epi32(int(0xff000000u));
    const __m128i fraction = _mm_cvtsi32_si128(lines.fraction);
    auto map = [&](__m256i high) {
        const __m256i t = _mm256_subs_epu16(_mm256_adds_epu16(_mm256_mulhi_epu16(high, mul), plus), minus);
        return _mm256_min_epi16(_mm256_srl_epi16(t, fraction), top);
    };
    int x = 0;
    for (; x + 8 <= n; x += 8) {
        const __m256i px = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + x));
        const __m256i mapped =
            _mm256_packus_epi16(map(_mm256_unpacklo_epi8(zero, px)), map(_mm256_unpackhi_epi8(zero, px)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), _mm256_or_si256(mapped, opaque));
    }
    return x;
}

} // namespace vorlan::tone

#endif
