#include "view/tonemap.h"

#include <algorithm>
#include <cmath>

namespace vorlan {

namespace {

int clippedLevel(const ToneLine& line, int v) {
    return std::clamp(int(std::floor(line.at(v) + 0.5)), 0, 255);
}

} // namespace

ToneMap::ToneMap() : ToneMap(std::array<ToneLine, 3>{}) {}

ToneMap::ToneMap(const std::array<ToneLine, 3>& rgb) {
    m_identity = true;
    for (int v = 0; v < 256; ++v) {
        const int r = clippedLevel(rgb[0], v), g = clippedLevel(rgb[1], v), b = clippedLevel(rgb[2], v);
        m_identity = m_identity && r == v && g == v && b == v;
        m_red[size_t(v)] = QRgb(r) << 16;
        m_green[size_t(v)] = QRgb(g) << 8;
        m_blue[size_t(v)] = QRgb(b);
        m_grey[size_t(v)] = 0xff000000u | m_red[size_t(v)] | m_green[size_t(v)] | m_blue[size_t(v)];
    }
}

int ToneMap::level(int ch, int v) const {
    const auto& table = ch == 0 ? m_red : ch == 1 ? m_green : m_blue;
    return int(table[size_t(std::clamp(v, 0, 255))] >> (16 - 8 * ch)) & 0xff;
}

} // namespace vorlan
