#pragma once

// The fixed-point steps of a tone map along a row, written once for any vector width. V gives
// the register type and its operations: Sse2Lanes here (four pixels a step), Avx2Lanes in
// tonemap_avx2.cpp (eight), which alone is built for AVX2.

#include "view/tonemap.h"

#if defined(__SSE2__)
#include <emmintrin.h>

namespace vorlan::tone {

/// Maps pixels of a row from in to out, V::Pixels at a time, as far as whole steps go; returns how
/// many it mapped. Lanes b g r a of each pixel, 16 bits each, the value in the high byte; alpha is
/// multiplied by 0 and set afterwards.
template <typename V> int mapRowBy(const QRgb* in, QRgb* out, int n, const FixedLines& lines) {
    using Reg = typename V::Reg;
    const auto lanes = [](const std::array<uint16_t, 3>& c) {
        return V::pixelLanes(short(c[0]), short(c[1]), short(c[2]));
    };
    const Reg mul = lanes(lines.mul), plus = lanes(lines.plus), minus = lanes(lines.minus),
              top = lanes(lines.ceiling);
    const Reg zero = V::zero(), opaque = V::opaque();
    const __m128i fraction = _mm_cvtsi32_si128(lines.fraction);
    const auto map = [&](Reg high) {
        // At least one bit of fraction: the lanes hold at most 32767, signed minima are safe.
        return V::min(V::shiftRight(V::subs(V::adds(V::mulhi(high, mul), plus), minus), fraction), top);
    };
    int x = 0;
    for (; x + V::Pixels <= n; x += V::Pixels) {
        const Reg px = V::load(in + x);
        V::store(out + x,
                 V::orBits(V::pack(map(V::unpackLow(zero, px)), map(V::unpackHigh(zero, px))), opaque));
    }
    return x;
}

/// Four pixels a step.
struct Sse2Lanes {
    using Reg = __m128i;
    static constexpr int Pixels = 4;
    static Reg pixelLanes(short b, short g, short r) { return _mm_setr_epi16(b, g, r, 0, b, g, r, 0); }
    static Reg zero() { return _mm_setzero_si128(); }
    static Reg opaque() { return _mm_set1_epi32(int(0xff000000u)); }
    static Reg load(const QRgb* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
    static void store(QRgb* p, Reg v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
    static Reg unpackLow(Reg a, Reg b) { return _mm_unpacklo_epi8(a, b); }
    static Reg unpackHigh(Reg a, Reg b) { return _mm_unpackhi_epi8(a, b); }
    static Reg pack(Reg a, Reg b) { return _mm_packus_epi16(a, b); }
    static Reg mulhi(Reg a, Reg b) { return _mm_mulhi_epu16(a, b); }
    static Reg adds(Reg a, Reg b) { return _mm_adds_epu16(a, b); }
    static Reg subs(Reg a, Reg b) { return _mm_subs_epu16(a, b); }
    static Reg shiftRight(Reg a, __m128i n) { return _mm_srl_epi16(a, n); }
    static Reg min(Reg a, Reg b) { return _mm_min_epi16(a, b); }
    static Reg orBits(Reg a, Reg b) { return _mm_or_si128(a, b); }
};

} // namespace vorlan::tone

#endif
