#pragma once

// The 400 x 400 photometry cut-out of picture 1 and what the measurement may read of it.

#include <QImage>
#include <QPoint>
#include <QPointF>
#include <optional>

namespace vorlan {

/// Side of the photometry cut-out, pixels.
inline constexpr int CutSize = 400;

/// What a position of the cut-out holds, as its mask byte says.
enum CutPixel : uchar {
    SkyPixel = 0,     ///< a pixel of picture 1: star or background, as its brightness says
    OutsidePixel = 1, ///< no pixel of picture 1 lies here (the cut-out passed its edge)
    RingPixel = 2,    ///< paint of a restricting ring: stops a star scan, is no background
    BlankPixel = 3,   ///< the white picture before any cut-out: sets a threshold, holds no star
};

/// Colour of the parts of the cut-out that lie outside picture 1: a slate grey that no sky
/// pixel is mistaken for, RGB(72, 88, 104).
inline constexpr QRgb NeutralColour = 0xff485868;

/// The photometry picture as the measurement reads it: a 400 x 400 RGB32 image and a
/// Grayscale8 mask of CutPixel values of the same size, and the point of picture 1 (its pixels)
/// that it was cut round, which lies at (200, 200) of the cut-out.
struct PhotometryCut {
    QImage image;
    QImage mask;
    QPointF point{};
};

/// The picture before any cut-out: plain white, with no pixel of picture 1 in it.
PhotometryCut BlankCut();

/// Copies the 400 x 400 square of picture (Grayscale8 or RGB32) whose top-left corner is
/// (left, top), picture pixels, 1:1 into a new cut-out, which is RGB32 whatever the picture. Parts of the
/// square outside the picture are painted NeutralColour and marked OutsidePixel.
PhotometryCut CutFromPicture(const QImage& picture, int left, int top);

/// Draws a restricting ring centred on centre (cut-out pixels) of the given radius, pixels:
/// black 4 pixels wide, white 2 pixels wide on the same radius. Its pixels are marked RingPixel.
void DrawRestrictingRing(PhotometryCut& cut, QPoint centre, int radius);

/// Brightness of a colour: floor((R + G + B) / 3), 0..255.
inline int PixelBrightness(QRgb c) {
    return (qRed(c) + qGreen(c) + qBlue(c)) / 3;
}

/// Distance of a cut-out position (x, y) from the centre of picture 1, per cent of the
/// half-diagonal: 0 at the centre, 100 at the corners. cutX, cutY: the point round which the
/// cut-out was taken, picture-1 pixels; frameW, frameH: size of the displayed picture 1, screen
/// pixels, shown at displayScale. Empty when there is no picture 1 to measure against.
std::optional<double> CentreDistancePercent(float cutX, float cutY, int x, int y, int frameW, int frameH,
                                            float displayScale);

} // namespace vorlan
