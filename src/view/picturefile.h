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
/// The decoded picture carries the modification time and size of the file it came from, so a
/// later user of the slot's pixels can tell whether the file still holds them.
DecodedPicture decodePictureFile(const QString& path);

/// True when picture was decoded from path and the file has not changed on disk since.
bool pictureMatchesFile(const QImage& picture, const QString& path);

} // namespace vorlan
