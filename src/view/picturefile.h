#pragma once

#include <QImage>
#include <QString>

namespace vorlan {

/// A picture file decoded once: the image, or the reason it could not be read.
struct DecodedPicture {
    QImage image;
    QString error; ///< empty on success
};

/// Decodes a picture file once, with the size read from the same reader. Qt's default
/// allocation limit (128 MB, about 33 megapixels) is lifted, because real cameras make bigger
/// pictures; a picture that does not fit in memory comes back as an error, not a crash.
/// The picture carries the stamp of the file it was decoded from (decodedFileStamp).
DecodedPicture decodePictureFile(const QString& path);

/// Stamp of a file as it is on disk now: time of its last change and its size; empty when it
/// does not exist.
QString pictureFileStamp(const QString& path);
/// The stamp of its file that a picture from decodePictureFile carries; empty for others.
QString decodedFileStamp(const QImage& image);

} // namespace vorlan
