// The tone map's rows eight pixels a step, for processors with AVX2: this file alone is built for
// them, and ToneMap::mapRow calls it only where the processor says it has AVX2.

#include "view/tonemaprows.h"

#if defined(__AVX2__)
#include <immintrin.h>

namespace vorlan::tone {

namespace {

/// Eight pixels a step: the unpacks and the pack work within each 128-bit half, so the pixels
/// come back in their order.
struct Avx2Lanes {
    using Reg = __m256i;
    static constexpr int Pixels = 8;
    static Reg pixelLanes(short b, short g, short r) {
        return _mm256_setr_epi16(b, g, r, 0, b, g, r, 0, b, g, r, 0, b, g, r, 0);
    }
    static Reg zero() { return _mm256_setzero_si256(); }
    static Reg opaque() { return _mm256_set1_epi32(int(0xff000000u)); }
    static Reg load(const QRgb* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
    static void store(QRgb* p, Reg v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
    static Reg unpackLow(Reg a, Reg b) { return _mm256_unpacklo_epi8(a, b); }
    static Reg unpackHigh(Reg a, Reg b) { return _mm256_unpackhi_epi8(a, b); }
    static Reg pack(Reg a, Reg b) { return _mm256_packus_epi16(a, b); }
    static Reg mulhi(Reg a, Reg b) { return _mm256_mulhi_epu16(a, b); }
    static Reg adds(Reg a, Reg b) { return _mm256_adds_epu16(a, b); }
    static Reg subs(Reg a, Reg b) { return _mm256_subs_epu16(a, b); }
    static Reg shiftRight(Reg a, __m128i n) { return _mm256_srl_epi16(a, n); }
    static Reg min(Reg a, Reg b) { return _mm256_min_epi16(a, b); }
    static Reg orBits(Reg a, Reg b) { return _mm256_or_si256(a, b); }
};

} // namespace

int mapRowAvx2(const QRgb* in, QRgb* out, int n, const FixedLines& lines) {
    return mapRowBy<Avx2Lanes>(in, out, n, lines);
}

} // namespace vorlan::tone

#endif
