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

/// Bytes read to tell a file's format: more than any decoder's signature and header need.
constexpr qint64 FormatHeadBytes = 64 * 1024;

QString notAPictureReason() {
    return QStringLiteral("это не картинка: формат файла не распознан");
}

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
    // Checked before it is opened: opening a FIFO waits for a writer that may never come.
    if (const QString notAFile = notAFileReason(path); !notAFile.isEmpty()) return pictureFailure(notAFile);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        const int err = errno;
        if (!QFileInfo::exists(path)) return Failure{FileNotFound, fileErrorReason(ENOENT, false)};
        return pictureFailure(fileErrorReason(err, false));
    }
    // Taken before reading: a file that changes while it is read looks changed afterwards.
    const QString stamp = fileStamp(QFileInfo(path));
    // FITS goes to cfitsio straight from the file, in bands of rows, never read whole here.
    if (file.size() > 0 && isFitsFile(path)) {
        DecodedPicture fits = decodeFitsFile(path, options.budget(), options.greyFormat());
        if (!fits.ok()) return fits;
        // Moved out, so that stamping it copies no pixels.
        QImage image = std::move(fits).value();
        image.setText(SourceKey, stamp);
        return image;
    }
    // The content decides the format: a text file named .jpg is no picture, a JPEG named .bmp is.
    // The decoders tell their formats by the first bytes, so a large file that is no picture is
    // refused after reading those alone.
    const qint64 size = file.size();
    if (size > 0) {
        QBuffer head;
        head.setData(file.read(std::min(size, FormatHeadBytes)));
        head.open(QIODevice::ReadOnly);
        if (file.error() != QFileDevice::NoError) return pictureFailure(fileErrorReason(errno, false));
        if (!QImageReader(&head).canRead()) return pictureFailure(notAPictureReason());
        file.seek(0);
    }
    // Read no further than the size the file had when it was opened, and only what the memory
    // budget allows.
    const qint64 budget = options.budget();
    if (size > budget) {
        return pictureFailure(fileTooLargeReason(size, budget));
    }
    const QByteArray bytes = file.read(size);
    if (file.error() != QFileDevice::NoError) {
        return pictureFailure(fileErrorReason(errno, false));
    }
    file.close();
    if (bytes.isEmpty()) {
        return pictureFailure(QStringLiteral("файл пуст (0 байт)"));
    }

    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(false);
    // The whole file may still disagree with its first bytes (it shrank since).
    if (!reader.canRead()) {
        return pictureFailure(notAPictureReason());
    }
    const QSize pixels = reader.size();
    if (!pixels.isValid() || pixels.isEmpty()) {
        return pictureFailure(damagedReason());
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
    const qint64 needed = qint64(pixels.width()) * qint64(pixels.height()) * (heldBytes + linearBytes) +
                          (linearBytes ? stretchWorkingBytes(pixels.width(), 2) : 0);
    const QString tooLarge = tooLargeReason(pixels, needed, budget);
    if (needed > budget) {
        return pictureFailure(tooLarge);
    }
    if (!pictureDataComplete(reader.format(), bytes)) {
        return pictureFailure(damagedReason());
    }
    // The decoder's own allocation stays inside the same budget, whatever the header said. Qt
    // counts 4 bytes a pixel for a grey JPEG too, though it allocates one, so the limit it checks
    // is scaled to match.
    const qint64 decoderLimit = budget / heldBytes * 4;
    QImageReader::setAllocationLimit(int(std::min<qint64>(decoderLimit >> 20, INT_MAX - 1)) + 1);
    QImage image;
    try {
        if (!reader.read(&image) || image.isNull()) {
            return pictureFailure(damagedReason());
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
        return pictureFailure(tooLarge);
    }
    // Stamped while the pixels have one owner, so that the stamp copies nothing.
    image.setText(SourceKey, stamp);
    return image;
}

bool pictureMatchesFile(const QImage& picture, const QString& path) {
    const QFileInfo info(path);
    return !picture.isNull() && info.isFile() && picture.text(SourceKey) == fileStamp(info);
}

} // namespace vorlan
