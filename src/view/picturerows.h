#pragma once

// How everything that reads a decoded picture gets at its pixels. A picture is held either as
// one grey byte a pixel (Format_Grayscale8) or as RGB32 (0xffRRGGBB); a grey value v stands for
// the colour RGB(v, v, v), so readers see the same colours whichever way the picture is held.

#include <QImage>
#include <cstring>

namespace vorlan {

/// Whether a decoded picture is held at one grey byte a pixel.
inline bool isGreyPicture(const QImage& picture) {
    return picture.format() == QImage::Format_Grayscale8;
}

/// The opaque RGB32 colour that grey value v stands for: RGB(v, v, v).
inline QRgb greyColour(uchar v) {
    return 0xff000000u | QRgb(v) * 0x010101u;
}

/// One row of a decoded picture as it is held: exactly one of grey (Format_Grayscale8) and
/// rgb (Format_RGB32) is set. Columns are picture pixels from 0.
struct PictureRow {
    const uchar* grey = nullptr;
    const QRgb* rgb = nullptr;

    /// Colour of column x as RGB32.
    QRgb colour(int x) const { return grey ? greyColour(grey[x]) : rgb[x]; }

    /// Writes the colours of columns x .. x + n - 1 as RGB32 into out.
    void copyColours(int x, int n, QRgb* out) const {
        if (!grey) {
            std::memcpy(out, rgb + x, size_t(n) * sizeof(QRgb));
            return;
        }
        for (int i = 0; i < n; ++i)
            out[i] = greyColour(grey[x + i]);
    }
};

/// Row y (0 <= y < height) of a Grayscale8 or RGB32 picture.
inline PictureRow pictureRow(const QImage& picture, int y) {
    const uchar* line = picture.constScanLine(y);
    if (isGreyPicture(picture)) return {line, nullptr};
    return {nullptr, reinterpret_cast<const QRgb*>(line)};
}

/// An opaque picture in a form pictureRow reads: Grayscale8 and the 32-bit RGB forms as they are,
/// anything else converted to RGB32 once.
inline QImage rowReadable(const QImage& picture) {
    switch (picture.format()) {
    case QImage::Format_Grayscale8:
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        return picture;
    default:
        return picture.convertToFormat(QImage::Format_RGB32);
    }
}

/// Colour of pixel (x, y) inside a Grayscale8 or RGB32 picture, as RGB32.
inline QRgb pictureColour(const QImage& picture, int x, int y) {
    return pictureRow(picture, y).colour(x);
}

} // namespace vorlan
