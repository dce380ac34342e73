#include "view/picturefile.h"

#include "common/fileerror.h"
#include "common/outcome.h"
#include "view/fitsimage.h"
#include "view/greypicture.h"
#include "view/linearstretch.h"
#include "view/picturebudget.h"
#include "view/picturecompleteness.h"

#include <QBuffer>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <cerrno>

namespace vorlan {

namespace {

const QString SourceKey = QStringLiteral("vorlan.source");

/// What identifies a file's contents cheaply: its modification time and size.
QString fileStamp(const QFileInfo& info) {
    return QStringLiteral("%1 %2").arg(info.lastModified().toMSecsSinceEpoch()).arg(info.size());
}

} // namespace

qint64 PictureLoadOptions::budget() const {
    return memoryBudget > 0 ? memoryBudget : pictureMemoryBudget();
}

QImage::Format PictureLoadOptions::greyFormat() const {
    return keepGrey ? QImage::Format_Grayscale8 : QImage::Format_RGB32;
}

DecodedPicture decodePictureFile(const QString& path, const PictureLoadOptions& options) {
    DecodedPicture result;
    // Checked before it is opened: opening a FIFO waits for a writer that may never come.
    result.error = notAFileReason(path);
    if (!result.error.isEmpty()) return result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        const int err = errno;
        result.error = fileErrorReason(QFileInfo::exists(path) ? err : ENOENT, false);
        return result;
    }
    // Taken before reading: a file that changes while it is read looks changed afterwards.
    const QString stamp = fileStamp(QFileInfo(path));
    // FITS goes to cfitsio straight from the file, in bands of rows, never read whole here.
    if (file.size() > 0 && isFitsFile(path)) {
        result = decodeFitsFile(path, options.budget(), options.greyFormat());
        if (!result.image.isNull()) result.image.setText(SourceKey, stamp);
        return result;
    }
    // Read no further than the size the file had when it was opened, and only what the memory
    // budget allows.
    const qint64 budget = options.budget();
    if (file.size() > budget) {
        result.error = fileTooLargeReason(file.size(), budget);
        return result;
    }
    const QByteArray bytes = file.read(file.size());
    if (file.error() != QFileDevice::NoError) {
        result.error = fileErrorReason(errno, false);
        return result;
    }
    file.close();
    if (bytes.isEmpty()) {
        result.error = QStringLiteral("файл пуст (0 байт)");
        return result;
    }

    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    // The content decides the format: a text file named .jpg is no picture, a JPEG named .bmp is.
    QImageReader reader(&buffer);
    reader.setAutoTransform(false);
    if (!reader.canRead()) {
        result.error = QStringLiteral("это не картинка: формат файла не распознан");
        return result;
    }
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty()) {
        result.error = damagedReason();
        return result;
    }
    // 16-bit data is decoded whole before it is stretched to the 8-bit picture that is kept.
    const QImage::Format decoded = reader.imageFormat();
    const int linearBytes = decoded == QImage::Format_Grayscale16 ? 2
                            : decoded == QImage::Format_RGBX64 || decoded == QImage::Format_RGBA64 ||
                                    decoded == QImage::Format_RGBA64_Premultiplied
                                ? 8
                                : 0;
    // A decoder that says grey gives a picture that is held at one byte a pixel.
    const bool greyDecoded = decoded == QImage::Format_Grayscale8 || decoded == QImage::Format_Grayscale16;
    const int heldBytes = options.keepGrey && greyDecoded ? 1 : 4;
    const qint64 needed = qint64(size.width()) * qint64(size.height()) * (heldBytes + linearBytes) +
                          (linearBytes ? stretchWorkingBytes(size.width(), 2) : 0);
    const QString tooLarge = tooLargeReason(size, needed, budget);
    if (needed > budget) {
        result.error = tooLarge;
        return result;
    }
    if (!pictureDataComplete(reader.format(), bytes)) {
        result.error = damagedReason();
        return result;
    }
    // The decoder's own allocation stays inside the same budget, whatever the header said. Qt
    // counts 4 bytes a pixel for a grey JPEG too, though it allocates one, so the limit it checks
    // is scaled to match.
    const qint64 decoderLimit = budget / heldBytes * 4;
    QImageReader::setAllocationLimit(int(std::min<qint64>(decoderLimit >> 20, INT_MAX - 1)) + 1);
    QImage image;
    try {
        if (!reader.read(&image) || image.isNull()) {
            result.error = damagedReason();
            return result;
        }
        // Linear 16-bit camera data looks black as it is: it gets the automatic stretch.
        if (isSixteenBit(image)) image = stretchSixteenBit(image, options.greyFormat());
        // A grey JPEG decodes straight into one byte a pixel and a colour JPEG into RGB32; other
        // formats (palettes, alpha) are turned into one of the two once.
        if (!image.isNull())
            image = options.keepGrey ? heldPicture(std::move(image)) : colourPicture(std::move(image));
    } catch (const std::bad_alloc&) {
        image = QImage();
    }
    if (image.isNull()) {
        result.error = tooLarge;
        return result;
    }
    // Stamped while the pixels have one owner, so that the stamp copies nothing.
    image.setText(SourceKey, stamp);
    result.image = image;
    return result;
}

bool pictureMatchesFile(const QImage& picture, const QString& path) {
    const QFileInfo info(path);
    return !picture.isNull() && info.isFile() && picture.text(SourceKey) == fileStamp(info);
}

} // namespace vorlan
