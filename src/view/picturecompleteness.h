#pragma once

// Whether a picture file holds the whole picture its header promises, judged from its bytes
// before anything is decoded.

#include <QByteArray>

namespace vorlan {

/// Whether the bytes of a picture file in the given format (as QImageReader names it) hold the
/// whole picture, so that a file cut short is refused instead of shown with a grey or black
/// part. JPEG: every segment and scan from the start marker to the end marker; data after the
/// end marker (camera trailers) does not matter. PNG: every chunk through IEND. BMP without
/// compression: the pixel rows the header promises. Other formats: true (their decoders say).
bool pictureDataComplete(const QByteArray& format, const QByteArray& bytes);

} // namespace vorlan
