#include "view/tonemap.h"

#include <algorithm>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vorlan {

ToneMap::ToneMap() : ToneMap(std::array<ToneLine, 3>{}) {}

ToneMap::ToneMap(const std::array<ToneLine, 3>& rgb, const std::array<int, 3>& ceiling) {
    // v * mul >> 8 holds a * v with `fraction` bits below the point; mul = a << (fraction + 8)
    // must stay in 16 bits.
    const double steepest = std::max({rgb[0].a, rgb[1].a, rgb[2].a});
    while (m_lines.fraction > 1 && steepest * (256 << m_lines.fraction) > 65535.0)
        --m_lines.fraction;
    const double unit = 1 << m_lines.fraction;
    m_fixed = true;
    for (size_t ch = 0; ch < 3; ++ch) {
        const ToneLine& line = rgb[2 - ch];
        const double mul = std::round(line.a * unit * 256);
        const double offset = std::round(line.b * unit) + unit / 2; // the half rounds to the nearest
        m_fixed = m_fixed && line.a >= 0 && mul <= 65535 && std::abs(offset) <= 65535;
        m_lines.mul[ch] = uint16_t(std::clamp(mul, 0.0, 65535.0));
        m_lines.plus[ch] = uint16_t(std::clamp(offset, 0.0, 65535.0));
        m_lines.minus[ch] = uint16_t(std::clamp(-offset, 0.0, 65535.0));
        m_lines.ceiling[ch] = uint16_t(std::clamp(ceiling[2 - ch], 0, 255));
    }
    m_identity = true;
    for (int v = 0; v < 256; ++v) {
        int level[3]; // blue, green, red
        for (size_t ch = 0; ch < 3; ++ch) {
            if (m_fixed) {
                const int t = std::max(0, std::min(65535, (v * m_lines.mul[ch] >> 8) + m_lines.plus[ch]) -
                                              m_lines.minus[ch]);
                level[ch] = std::min(int(m_lines.ceiling[ch]), t >> m_lines.fraction);
            } else {
                level[ch] = std::clamp(int(std::floor(rgb[2 - ch].at(v) + 0.5)), 0, int(m_lines.ceiling[ch]));
            }
        }
        m_identity = m_identity && level[0] == v && level[1] == v && level[2] == v;
        m_blue[size_t(v)] = QRgb(level[0]);
        m_green[size_t(v)] = QRgb(level[1]) << 8;
        m_red[size_t(v)] = QRgb(level[2]) << 16;
        m_grey[size_t(v)] = 0xff000000u | m_red[size_t(v)] | m_green[size_t(v)] | m_blue[size_t(v)];
    }
}

int ToneMap::level(int ch, int v) const {
    const auto& table = ch == 0 ? m_red : ch == 1 ? m_green : m_blue;
    return int(table[size_t(std::clamp(v, 0, 255))] >> (16 - 8 * ch)) & 0xff;
}

void ToneMap::mapRow(const QRgb* in, QRgb* out, int n) const {
    int x = 0;
#if defined(__SSE2__)
    if (m_fixed) {
#if defined(__x86_64__) || defined(__i386__)
        static const bool avx2 = __builtin_cpu_supports("avx2");
        if (avx2) x = tone::mapRowAvx2(in, out, n, m_lines);
#endif
        // Lanes b g r a of two pixels, 16 bits each, the value in the high byte; alpha is
        // multiplied by 0 and set afterwards.
        auto lanes = [](const std::array<uint16_t, 3>& c) {
            return _mm_setr_epi16(short(c[0]), short(c[1]), short(c[2]), 0, short(c[0]), short(c[1]),
                                  short(c[2]), 0);
        };
        const __m128i mul = lanes(m_lines.mul), plus = lanes(m_lines.plus), minus = lanes(m_lines.minus),
                      top = lanes(m_lines.ceiling);
        const __m128i zero = _mm_setzero_si128(), opaque = _mm_set1_epi32(int(0xff000000u));
        const __m128i fraction = _mm_cvtsi32_si128(m_lines.fraction);
        auto twoPixels = [&](__m128i high) {
            const __m128i t = _mm_subs_epu16(_mm_adds_epu16(_mm_mulhi_epu16(high, mul), plus), minus);
            // At least one bit of fraction: the lanes hold at most 32767, signed minima are safe.
            return _mm_min_epi16(_mm_srl_epi16(t, fraction), top);
        };
        for (; x + 4 <= n; x += 4) { // what the wider loop left, or all of it
            const __m128i px = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + x));
            const __m128i mapped = _mm_packus_epi16(twoPixels(_mm_unpacklo_epi8(zero, px)),
                                                    twoPixels(_mm_unpackhi_epi8(zero, px)));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_or_si128(mapped, opaque));
        }
    }
#endif
    for (; x < n; ++x)
        out[x] = colour(in[x]);
}

} // namespace vorlan
