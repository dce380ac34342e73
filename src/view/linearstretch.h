#pragma once

#include <QImage>

namespace vorlan {

/// Linear samples (one plane = grey, three = red, green, blue) read a band of rows at a time, so
/// a picture is stretched without holding its linear data whole. Float samples mark blank pixels
/// as NaN; a 16-bit source may name one level that stands for a blank pixel (FITS BLANK).
template <class T> class LinearSource {
  public:
    virtual ~LinearSource() = default;
    int width = 0, height = 0, planes = 1;
    /// Stored row r is shown as row height - 1 - r (FITS keeps the bottom row first).
    bool bottomUp = false;
    /// The 16-bit level that stands for a blank pixel, -1 when none does.
    int blankLevel = -1;
    /// Reads stored rows r .. r + count - 1 of plane c into out (count x width samples, row after
    /// row, in stored order). False when the data cannot be read.
    virtual bool readRows(int c, int r, int count, T* out) = 0;
};

/// Bytes that stretchInto takes besides the picture it writes, for a source whose rows are width
/// samples of sampleBytes each (2: 16-bit, 4: float): a band of rows, the sample of a float plane
/// for its statistics, tables. A decoder counts them with the picture against its memory budget.
qint64 stretchWorkingBytes(qint64 width, int sampleBytes);

/// Maps linear data into out, an 8-bit picture of the source's size (Grayscale8 or RGB32 for
/// grey, RGB32 for colour), with the automatic stretch (StretchCurve), each plane on its own
/// curve, so a colour cast of the sky background is taken out as well. The curve comes from an
/// even spread of about a million pixels; blank pixels are black. False when the source fails
/// to read.
template <class T> bool stretchInto(LinearSource<T>& source, QImage& out);

/// True for the 16-bit formats that hold linear camera data (Grayscale16, RGBX64, RGBA64).
bool isSixteenBit(const QImage& img);

/// A 16-bit picture stretched to 8 bits: grey in greyFormat, colour as RGB32. A null image when
/// the picture does not fit in memory.
QImage stretchSixteenBit(const QImage& img, QImage::Format greyFormat);

} // namespace vorlan
