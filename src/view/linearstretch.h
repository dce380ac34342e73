#pragma once

#include <QImage>
#include <vector>

namespace vorlan {

/// One plane of linear samples as laid out in memory, seen as the picture is shown: the first
/// sample of the top row, and the steps (in samples, either sign) to the next pixel to the right
/// and to the next row down. Float planes mark blank pixels as NaN; blanks of integer planes
/// are flagged in a byte array laid out like the samples (non-zero = blank), when there is one.
template <class T> struct SamplePlane {
    const T* top = nullptr;
    qsizetype pixelStep = 1;
    qsizetype rowStep = 0;
    const char* blankTop = nullptr;
};

/// Maps linear data (one plane = grey, three = red, green, blue; width x height pixels) to an
/// 8-bit picture with the automatic stretch, each plane on its own curve, so a colour cast of the
/// sky background is taken out as well. Grey comes out in greyFormat (Grayscale8 or RGB32),
/// colour as RGB32. Blank pixels are black. A null image when the picture does not fit in memory.
template <class T>
QImage stretchPlanes(int width, int height, const std::vector<SamplePlane<T>>& planes,
                     QImage::Format greyFormat);

/// True for the 16-bit formats that hold linear camera data (Grayscale16, RGBX64, RGBA64).
bool isSixteenBit(const QImage& img);

/// A 16-bit picture stretched to 8 bits: grey in greyFormat, colour as RGB32.
QImage stretchSixteenBit(const QImage& img, QImage::Format greyFormat);

} // namespace vorlan
