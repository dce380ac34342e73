#include "view/tonemap.h"
#include "view/tonemaprows.h"

#include <algorithm>
#include <cmath>

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
        // What the wider steps left, or all of it.
        x += tone::mapRowBy<tone::Sse2Lanes>(in + x, out + x, n - x, m_lines);
    }
#endif
    for (; x < n; ++x)
        out[x] = colour(in[x]);
}

} // namespace vorlan
