#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

namespace vorlan {

/// A picture file decoded once: the image, or the reason it could not be read.
struct DecodedPicture {
    QImage image;
    QString error; ///< empty on success; otherwise a Russian reason the user can act on
};

/// Decodes a picture file once, with the size read from the same reader. A picture whose pixels
/// are all grey is held at one byte a pixel (Format_Grayscale8), any other as RGB32; see
/// heldPicture. Before anything is decoded, the size in the file's header (at the bytes a pixel
/// the picture will be held at: 1 where the decoder says grey, else 4) is
/// checked against pictureMemoryBudget(), so a small file claiming a huge picture is refused
/// without allocating it. A JPEG whose data ends early is refused rather than shown half grey.
/// Every failure comes back as a reason: not found, no permission, empty, not a picture,
/// damaged or incomplete, too large for memory. The decoded picture carries the modification
/// time and size of the file it came from, so a later user of the slot's pixels can tell
/// whether the file still holds them.
DecodedPicture decodePictureFile(const QString& path);

/// True when picture was decoded from path and the file has not changed on disk since.
bool pictureMatchesFile(const QImage& picture, const QString& path);

/// Bytes one decoded picture may take: a quarter of the machine's memory (or of the process's
/// memory limit, where one is set and lower), leaving room for the decoder's own buffers, the
/// other slots and the rest of the desktop.
qint64 pictureMemoryBudget();

/// The reason given for a picture of size pixels that would need more than budget bytes.
QString tooLargeReason(QSize size, qint64 needed, qint64 budget);

/// Replaces the machine-derived budget by bytes (0 goes back to it), so that tests behave the
/// same on every machine.
void setPictureMemoryBudget(qint64 bytes);

/// With false, every picture is held as RGB32, grey ones too, as they were before grey
/// pictures had their own form; tests compare the two. True (keeping grey) is the default.
void setGreyPicturesKept(bool kept);

/// Whether the bytes of a picture file in the given format (as QImageReader names it) hold the
/// whole picture, so that a file cut short is refused instead of shown with a grey or black
/// part. JPEG: every segment and scan from the start marker to the end marker; data after the
/// end marker (camera trailers) does not matter. PNG: every chunk through IEND. BMP without
/// compression: the pixel rows the header promises. Other formats: true (their decoders say).
bool pictureDataComplete(const QByteArray& format, const QByteArray& bytes);

} // namespace vorlan
