#pragma once

// Brightness of a picture's pixels as star detection sees it: grey levels times 256, so that a
// colour picture keeps the fractions its three channels give (Rec. 601 weights, 77 + 150 + 29 =
// 256) and a grey value v reads exactly 256 v, as its colour RGB(v, v, v) would.

#include <QRgb>

namespace vorlan {

/// The top of the range in 1/256 grey levels: white.
inline constexpr int LumaWhite = 255 * 256;

/// Brightness of an RGB32 colour, 1/256 grey levels (0 .. LumaWhite).
inline int lumaOf(QRgb c) {
    return 77 * int((c >> 16) & 0xff) + 150 * int((c >> 8) & 0xff) + 29 * int(c & 0xff);
}

/// Brightness of a grey value 0..255, 1/256 grey levels.
inline int lumaOf(unsigned char v) {
    return int(v) << 8;
}

} // namespace vorlan
