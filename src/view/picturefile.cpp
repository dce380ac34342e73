#include "view/picturefile.h"

#include <QFileInfo>
#include <QImageReader>

namespace vorlan {

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
        // Formats the painter stretches slowly (palettes, 1-bit) are turned into RGB32 once;
        // the usual camera formats stay as decoded so no second copy is ever made.
        switch (image.format()) {
        case QImage::Format_RGB32:
        case QImage::Format_ARGB32:
        case QImage::Format_ARGB32_Premultiplied:
        case QImage::Format_Grayscale8:
        case QImage::Format_RGB888:
            break;
        default:
            image.convertTo(QImage::Format_RGB32);
        }
        result.image = image;
    } catch (const std::bad_alloc&) {
        result.error = QStringLiteral("недостаточно памяти для картинки %1 x %2").arg(size.width()).arg(size.height());
    }
    return result;
}

} // namespace vorlan
