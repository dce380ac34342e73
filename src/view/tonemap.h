#pragma once

#include <QRgb>
#include <QtGlobal>
#include <array>

namespace vorlan {

/// A straight line on one channel's values: v' = a * v + b, grey levels 0..255.
struct ToneLine {
    double a = 1;
    double b = 0;
    bool operator==(const ToneLine&) const = default;
    /// v' for v, unclipped.
    double at(double v) const { return a * v + b; }
};

/// What a picture is drawn through: one line per channel turned into 256-entry tables, so the
/// renderer pays one look-up a channel. The tables hold each channel already in its place in an
/// opaque RGB32 pixel; a line's value is rounded to the nearest level and clipped to 0..255.
class ToneMap {
  public:
    /// Every value as it is.
    ToneMap();
    /// Lines for red, green and blue.
    explicit ToneMap(const std::array<ToneLine, 3>& rgb);

    bool isIdentity() const { return m_identity; }
    bool operator==(const ToneMap&) const = default;
    /// The drawn colour of a colour pixel (its alpha byte is ignored; the result is opaque).
    QRgb colour(QRgb c) const { return 0xff000000u | m_red[qRed(c)] | m_green[qGreen(c)] | m_blue[qBlue(c)]; }
    /// The drawn colour of grey value v, which stands for RGB(v, v, v).
    QRgb grey(uchar v) const { return m_grey[v]; }
    /// The 256 drawn colours of the grey values, for kernels that look them up themselves.
    const QRgb* greyTable() const { return m_grey.data(); }

    /// The drawn level of value v on channel ch (0 red, 1 green, 2 blue).
    int level(int ch, int v) const;

  private:
    std::array<QRgb, 256> m_red{}, m_green{}, m_blue{}, m_grey{};
    bool m_identity = true;
};

} // namespace vorlan
