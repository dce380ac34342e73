#pragma once

#include "view/picturerows.h"

#include <QImage>
#include <QSize>
#include <QString>
#include <algorithm>

namespace vorlan {

/// A rectangle of picture pixels to copy, both ends included: x0..x1 across, y0..y1 down.
/// The counters are 32-bit, so pictures wider or higher than 32767 pixels work too.
struct CutRegion {
    int x0 = 0, x1 = 0, y0 = 0, y1 = 0;
    bool operator==(const CutRegion&) const = default;
};

/// The region of w x h pixels around the spot (cutX, cutY) in picture twips of a picture of
/// pictureWidth x pictureHeight pixels: from Int(toPixels(spot) - w / 2), raised to 0, to
/// Int(toPixels(spot) + w / 2), lowered to Int(picture size). The far ends may lie one pixel past
/// the picture; reads there find nothing.
CutRegion cutRegion(float cutX, float cutY, int w, int h, float pictureWidth, float pictureHeight);

/// Sizes of a cut-out run with region w x h pixels and n pictures opened, in pixels.
struct CutLayout {
    QSize canvas;    ///< n x w + 30 by h
    QSize window;    ///< outer window: n x w + 100 by h + 230
    int block2X = 0; ///< where picture 2's block starts on the canvas: w + 15
};
CutLayout cutLayout(int pictureCount, int w, int h);

/// Largest canvas a run may ask for, in pixels (4 bytes each).
inline constexpr qint64 MaxCanvasPixels = qint64(1) << 28;

/// The region size typed into a text box: the whole part of its leading number. Returns 0 when
/// the text is not a positive number of at least one pixel or beyond any picture (1 000 000).
int regionSize(const QString& text);

/// A fresh canvas of the given size in pixels, filled with the neutral grey that marks "no
/// picture here"; a null image when the size is empty, beyond MaxCanvasPixels or memory.
QImage newCanvas(QSize size);

/// The background of every canvas: middle grey, neither sky nor star.
inline constexpr QRgb CanvasBackground = 0xff808080;

/// Copies the region of src to the canvas with its top-left corner at (offsetX, 0), pixel by
/// pixel, rows from y0 and columns from x0, each loop running at least once (so a region whose
/// far end lies before its near end still visits its first pixel). Pixels outside src write
/// nothing; writes outside the canvas are clipped. src is Grayscale8 or RGB32, the canvas RGB32.
/// After every pixel afterPixel() runs; when it returns false the copy ends there. Returns the
/// number of pixels visited. Defined here so that the check after each pixel is inlined.
template <typename AfterPixel>
qint64 copyRegion(const QImage& src, QImage& canvas, const CutRegion& r, int offsetX,
                  AfterPixel&& afterPixel) {
    // Along a row only the columns inside both pictures are written; the rest are only visited.
    const int firstX = std::max(0, r.x0 - offsetX);
    const int endX = std::min(src.width(), canvas.width() - offsetX + r.x0);
    uchar* const bits = canvas.bits();
    const qsizetype bpl = canvas.bytesPerLine();
    qint64 visited = 0;
    int y = r.y0;
    do {
        const int to = y - r.y0;
        const bool rowInside = y >= 0 && y < src.height() && to >= 0 && to < canvas.height();
        const PictureRow row = rowInside ? pictureRow(src, y) : PictureRow{};
        QRgb* const out = rowInside ? reinterpret_cast<QRgb*>(bits + to * bpl) : nullptr;
        int x = r.x0;
        do {
            ++visited;
            if (out && x >= firstX && x < endX) out[x - r.x0 + offsetX] = row.colour(x);
            if (!afterPixel()) return visited;
            ++x;
        } while (x <= r.x1);
        ++y;
    } while (y <= r.y1);
    return visited;
}

/// Which canvas block (1, 2, 3) a canvas x in pixels lies in, with block width b = canvas width
/// / pictureCount; 0 beyond the third block.
int canvasBlock(float x, float canvasWidth, int pictureCount);

/// Radius in canvas pixels of the circle a click draws: with shift, 70 / displayScale of the
/// block's picture; without, 15 in block 1 and 15 x bar1 / bar2 elsewhere (the scale bars'
/// values). Throws VorlanError on a zero divisor.
double circleRadius(bool shift, int block, float displayScale, int bar1, int bar2);

/// The caption of a cut-out: the sky position text, a blank, the user's text.
inline QString cutCaption(const QString& coordText, const QString& userText) {
    return coordText + QLatin1Char(' ') + userText;
}

} // namespace vorlan
