#pragma once

// One frame of a series as linear grey values, the form stacking adds up: a camera's counts in
// floats, never stretched to 8 bits first, so that adding frames gains the depth they carry.

#include "common/outcome.h"

#include <QImage>
#include <QString>
#include <memory>
#include <vector>

namespace vorlan {

/// Grey values of a picture, row 0 at the top as the picture is shown, in the file's own units
/// (counts for a camera's FITS, 0..65535 for a 16-bit picture, 0..255 for an 8-bit one). A
/// blank pixel, or one no frame covered, is NaN.
struct LinearFrame {
    int width = 0, height = 0;
    std::vector<float> pixels;
    /// Seconds of exposure the header or EXIF names; 0 when it names none.
    double exposureSeconds = 0;

    bool isNull() const { return pixels.empty(); }
    float* row(int y) { return pixels.data() + size_t(y) * size_t(width); }
    const float* row(int y) const { return pixels.data() + size_t(y) * size_t(width); }
    /// Bytes its values take.
    qint64 bytes() const { return qint64(pixels.size()) * qint64(sizeof(float)); }
};

/// A picture file opened for its grey values, read a band of rows at a time from the top, so that
/// a frame is binned or looked over without holding all its values. Reads what readLinearFrame
/// reads, with the same reasons for what it refuses.
class FrameRows {
  public:
    virtual ~FrameRows() = default;
    int width = 0, height = 0;
    double exposureSeconds = 0;
    /// Rows y .. y + count - 1 (row 0 at the top) into out, count x width values row after row.
    virtual Outcome<void> read(int y, int count, float* out) = 0;

    /// Opens path; a picture of more than memoryBudget bytes of floats is refused.
    static Outcome<std::unique_ptr<FrameRows>> open(const QString& path, qint64 memoryBudget);
};

/// Reads the picture file at path into linear grey values: a FITS image of any BITPIX (a cube of
/// three planes is averaged into grey) with its exposure time, or any picture Qt decodes (16-bit
/// PNG and TIFF keep their 16 bits; colour is taken through its brightness). A picture that
/// would need more than memoryBudget bytes, a file that is damaged or cut short, or that is no
/// picture comes back as a failure with a Russian reason.
Outcome<LinearFrame> readLinearFrame(const QString& path, qint64 memoryBudget);
/// Every row of a file opened for its rows, into storage's memory when it holds enough.
Outcome<LinearFrame> readLinearFrame(FrameRows& rows, std::vector<float>&& storage = {});

/// The frame shown as the program shows a linear picture: the automatic stretch into a
/// Format_Grayscale8 picture of the same size, for star detection and for the screen. NaN
/// pixels are black. A null picture when it does not fit in memory.
QImage stretchedFrame(const LinearFrame& frame);

} // namespace vorlan
