#pragma once

// The colours of the blink's frames reduced to the 256 that a GIF can hold. One palette serves
// every frame and every colour is mapped by itself alone (no dithering, no neighbours), so a
// pixel that is the same in two frames comes out the same in both and nothing flickers that does
// not flicker on the screen.

#include <QImage>
#include <QRgb>
#include <QVector>
#include <vector>

namespace vorlan {

/// At most 256 colours chosen for a set of frames, and the entry each of their colours maps to.
class FramePalette {
  public:
    /// The palette of frames (Format_Grayscale8, RGB32 or ARGB32, taken as opaque). When they hold
    /// 256 colours or fewer, each is kept exactly. Otherwise up to 224 entries are placed greedily
    /// where they bring the most pixels within 3 levels in every channel of an entry, and the rest
    /// by a median cut over the colours still left out (star cores, saturated spots), so that no
    /// colour is far from every entry. Each colour then maps to an entry within 3 levels when one
    /// is, else to the nearest (Euclidean distance in levels).
    static FramePalette build(const QVector<QImage>& frames);

    /// The palette's colours as 0xffRRGGBB, 1 to 256 of them.
    const QVector<QRgb>& colours() const { return m_colours; }

    /// The entry for colour c (alpha ignored); c must be a colour of the frames it was built from.
    uchar index(QRgb c) const;

  private:
    QVector<QRgb> m_colours;
    std::vector<quint32> m_keys;  ///< every distinct colour of the frames, 0xRRGGBB, ascending
    std::vector<uchar> m_entries; ///< the palette entry of m_keys[i]
};

} // namespace vorlan
