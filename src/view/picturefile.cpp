#include "view/picturefile.h"

#include "view/fitsimage.h"
#include "view/linearstretch.h"

#include <QFileInfo>
#include <QImageReader>
#include <unistd.h>

namespace vorlan {

namespace {

/// How the program holds every picture: the frames stretch RGB32 themselves.
constexpr QImage::Format HeldFormat = QImage::Format_RGB32;

/// Bytes a picture may take while it is decoded: three quarters of the machine's memory.
qint64 decodeBudget() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    return pages > 0 && pageSize > 0 ? qint64(pages) * pageSize / 4 * 3 : qint64(4) << 30;
}

} // namespace

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
    if (isFitsFile(path)) return decodeFitsFile(path, decodeBudget(), HeldFormat);
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
        // Linear 16-bit camera data looks black as it is: it gets the automatic stretch.
        if (isSixteenBit(image)) image = stretchSixteenBit(image, HeldFormat);
        if (image.isNull()) throw std::bad_alloc();
        // A colour JPEG decodes straight into the held format, other formats (grey, palettes,
        // alpha) are turned into it once, in place where possible.
        if (image.format() != HeldFormat) image.convertTo(HeldFormat);
        result.image = image;
    } catch (const std::bad_alloc&) {
        result.error =
            QStringLiteral("недостаточно памяти для картинки %1 x %2").arg(size.width()).arg(size.height());
    }
    return result;
}

} // namespace vorlan
