#include "view/picturefile.h"

#include <QDateTime>
#include <QFileInfo>
#include <QImageReader>

namespace vorlan {

namespace {
const QString StampKey = QStringLiteral("vorlan-file-stamp");
} // namespace

QString pictureFileStamp(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists()) return QString();
    return QStringLiteral("%1 %2").arg(info.lastModified().toMSecsSinceEpoch()).arg(info.size());
}

QString decodedFileStamp(const QImage& image) {
    return image.text(StampKey);
}

DecodedPicture decodePictureFile(const QString& path) {
    DecodedPicture result;
    const QFileInfo info(path);
    if (!info.exists()) {
        result.error = QStringLiteral("файл не найден");
        return result;
    }
    if (info.size() == 0) {
        result.error = QStringLiteral("файл пуст");
        return result;
    }
    QImageReader::setAllocationLimit(0);
    QImageReader reader(path);
    reader.setAutoTransform(false);
    const QSize size = reader.size();
    if (!reader.canRead()) {
        result.error = reader.errorString();
        return result;
    }
    try {
        QImage image;
        if (!reader.read(&image) || image.isNull()) {
            result.error = reader.errorString();
            if (size.isValid())
                result.error += QStringLiteral(" (%1 x %2)").arg(size.width()).arg(size.height());
            return result;
        }
        // The frames stretch RGB32 themselves; a colour JPEG decodes straight into it, other
        // formats (grey, palettes, alpha) are turned into it once, in place where possible.
        if (image.format() != QImage::Format_RGB32)
            image.convertTo(QImage::Format_RGB32);
        // Stamped while the pixels have one owner, so that the stamp copies nothing.
        image.setText(StampKey, pictureFileStamp(path));
        result.image = image;
    } catch (const std::bad_alloc&) {
        result.error = QStringLiteral("недостаточно памяти для картинки %1 x %2").arg(size.width()).arg(size.height());
    }
    return result;
}

} // namespace vorlan
