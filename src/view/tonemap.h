#pragma once

#include <QRgb>
#include <QtGlobal>
#include <array>
#include <cstdint>

namespace vorlan {

namespace tone {
/// Rising lines in 16-bit fixed point, blue, green, red (the byte order of a pixel in memory):
/// level = min(ceiling, max(0, min(65535, (v * mul >> 8) + plus) - minus) >> fraction).
struct FixedLines {
    std::array<uint16_t, 3> mul{}, plus{}, minus{}, ceiling{};
    int fraction = 8;
    bool operator==(const FixedLines&) const = default;
};
/// Maps the first pixels of a row through lines with AVX2, eight at a time; returns how many
/// (a multiple of 8). Only for processors that have AVX2.
int mapRowAvx2(const QRgb* in, QRgb* out, int n, const FixedLines& lines);
} // namespace tone

/// A straight line on one channel's values: v' = a * v + b, grey levels 0..255.
struct ToneLine {
    double a = 1;
    double b = 0;
    bool operator==(const ToneLine&) const = default;
    /// v' for v, unclipped.
    double at(double v) const { return a * v + b; }
};

/// What a picture is drawn through: one line per channel, turned into 256-entry tables so that a
/// pixel costs one look-up a channel. The tables hold each channel already in its place in an
/// opaque RGB32 pixel. A rising line is taken in 16-bit fixed point, with 8 bits of fraction or
/// as many as the steepest line leaves (at least 1), rounded to the nearest level and clipped to
/// 0..255; rows of colour pixels are mapped by the same 16-bit steps four pixels at a time (SSE2),
/// so both ways give the same pixels. A falling line is rounded in doubles and only looked up.
/// A ceiling per channel caps the drawn levels: pictures blinked against each other saturate at
/// the same level, where the brightest of them clipped.
class ToneMap {
  public:
    /// Every value as it is.
    ToneMap();
    /// Lines for red, green and blue, each capped at its ceiling (levels 0..255).
    explicit ToneMap(const std::array<ToneLine, 3>& rgb, const std::array<int, 3>& ceiling = {255, 255, 255});

    bool isIdentity() const { return m_identity; }
    bool operator==(const ToneMap&) const = default;
    /// The drawn colour of a colour pixel (its alpha byte is ignored; the result is opaque).
    QRgb colour(QRgb c) const { return 0xff000000u | m_red[qRed(c)] | m_green[qGreen(c)] | m_blue[qBlue(c)]; }
    /// The drawn colour of grey value v, which stands for RGB(v, v, v).
    QRgb grey(uchar v) const { return m_grey[v]; }
    /// The 256 drawn colours of the grey values, for kernels that look them up themselves.
    const QRgb* greyTable() const { return m_grey.data(); }
    /// Maps n colour pixels from in to out (which may be the same row), as colour() does.
    void mapRow(const QRgb* in, QRgb* out, int n) const;

    /// The drawn level of value v on channel ch (0 red, 1 green, 2 blue).
    int level(int ch, int v) const;

  private:
    std::array<QRgb, 256> m_red{}, m_green{}, m_blue{}, m_grey{};
    bool m_identity = true;
    tone::FixedLines m_lines;
    bool m_fixed = false; ///< every line rises and fits the 16-bit steps
};

} // namespace vorlan
