#include "view/picturefile.h"

#include "common/fileerror.h"
#include "view/fitsimage.h"
#include "view/greypicture.h"
#include "view/linearstretch.h"

#include <QBuffer>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QLocale>
#include <QtEndian>
#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace vorlan {

namespace {

qint64 s_budgetOverride = 0;

const QString SourceKey = QStringLiteral("vorlan.source");

/// What identifies a file's contents cheaply: its modification time and size.
QString fileStamp(const QFileInfo& info) {
    return QStringLiteral("%1 %2").arg(info.lastModified().toMSecsSinceEpoch()).arg(info.size());
}

bool s_keepGrey = true;

/// How the program holds a grey picture: at one byte a pixel, unless told to hold it as colour.
QImage::Format greyFormat() {
    return s_keepGrey ? QImage::Format_Grayscale8 : QImage::Format_RGB32;
}

/// Physical memory of the machine in bytes, lowered to the address-space limit of the process
/// and to the memory limit of its control group where these are set.
qint64 machineMemory() {
    qint64 bytes = qint64(8) << 30; // where the system cannot tell
#ifdef Q_OS_UNIX
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    if (pages > 0 && pageSize > 0) bytes = qint64(pages) * pageSize;
    rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        bytes = std::min(bytes, qint64(limit.rlim_cur));
    QFile cgroup(QStringLiteral("/sys/fs/cgroup/memory.max"));
    if (cgroup.open(QIODevice::ReadOnly)) {
        bool ok = false;
        const qint64 max = cgroup.readAll().trimmed().toLongLong(&ok);
        if (ok && max > 0) bytes = std::min(bytes, max);
    }
#endif
    return bytes;
}

/// A byte count as the user reads it: "1,5 ГБ", "600 МБ".
QString byteText(qint64 bytes) {
    const QLocale ru(QLocale::Russian);
    if (bytes >= (qint64(1) << 30))
        return ru.toString(double(bytes) / double(qint64(1) << 30), 'f', 1) + QStringLiteral(" ГБ");
    return ru.toString((bytes + (1 << 20) - 1) >> 20) + QStringLiteral(" МБ");
}

QString damaged() {
    return QStringLiteral("файл повреждён или неполон");
}

/// Index of the next marker byte (the one after 0xFF) at or after i in entropy-coded data, or
/// -1 when the data ends first. Stuffed zeros and restart markers belong to the scan.
qsizetype nextMarkerInScan(const uchar* p, qsizetype n, qsizetype i) {
    for (;;) {
        const void* ff = i < n ? std::memchr(p + i, 0xFF, size_t(n - i)) : nullptr;
        if (!ff) return -1;
        i = static_cast<const uchar*>(ff) - p + 1;
        while (i < n && p[i] == 0xFF)
            ++i; // fill bytes
        if (i >= n) return -1;
        const uchar m = p[i];
        if (m != 0x00 && !(m >= 0xD0 && m <= 0xD7)) return i;
    }
}

} // namespace

QString tooLargeReason(QSize size, qint64 needed, qint64 budget) {
    return QStringLiteral(
               "картинка %1 × %2 пикселей слишком велика: ей нужно %3 памяти, а можно занять не больше %4")
        .arg(size.width())
        .arg(size.height())
        .arg(byteText(needed), byteText(budget));
}

qint64 pictureMemoryBudget() {
    if (s_budgetOverride > 0) return s_budgetOverride;
    static const qint64 machine = machineMemory() / 4;
    return machine;
}

void setPictureMemoryBudget(qint64 bytes) {
    s_budgetOverride = std::max<qint64>(0, bytes);
}

void setGreyPicturesKept(bool kept) {
    s_keepGrey = kept;
}

namespace {

bool jpegDataComplete(const QByteArray& bytes) {
    const auto* p = reinterpret_cast<const uchar*>(bytes.constData());
    const qsizetype n = bytes.size();
    if (n < 4 || p[0] != 0xFF || p[1] != 0xD8) return false;
    qsizetype i = 2;
    for (;;) {
        // Decoders skip stray bytes between segments; so does this walk.
        while (i < n && p[i] != 0xFF)
            ++i;
        while (i < n && p[i] == 0xFF)
            ++i;
        if (i >= n) return false;
        const uchar marker = p[i++];
        if (marker == 0xD9) return true;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) continue; // markers without a length
        if (i + 2 > n) return false;
        const qsizetype length = (qsizetype(p[i]) << 8) | p[i + 1];
        if (length < 2 || i + length > n) return false;
        i += length;
        if (marker == 0xDA) {
            const qsizetype m = nextMarkerInScan(p, n, i);
            if (m < 0) return false;
            i = m - 1; // back on the 0xFF before the marker
        }
    }
}

bool pngDataComplete(const QByteArray& bytes) {
    const auto* p = reinterpret_cast<const uchar*>(bytes.constData());
    const qsizetype n = bytes.size();
    qsizetype i = 8; // signature
    while (i + 8 <= n) {
        const qsizetype length = qsizetype(qFromBigEndian<quint32>(p + i));
        const bool end = std::memcmp(p + i + 4, "IEND", 4) == 0;
        i += 12 + length; // length, type, data, CRC
        if (i > n) return false;
        if (end) return true;
    }
    return false;
}

bool bmpDataComplete(const QByteArray& bytes) {
    const auto* p = reinterpret_cast<const uchar*>(bytes.constData());
    const qsizetype n = bytes.size();
    if (n < 30) return false;
    const qint64 pixelsAt = qFromLittleEndian<quint32>(p + 10);
    const quint32 headerSize = qFromLittleEndian<quint32>(p + 14);
    qint64 width = 0, height = 0, bits = 0;
    quint32 compression = 0;
    if (headerSize == 12) {
        width = qFromLittleEndian<qint16>(p + 18);
        height = qFromLittleEndian<qint16>(p + 20);
        bits = qFromLittleEndian<quint16>(p + 24);
    } else {
        if (n < 34) return false;
        width = qFromLittleEndian<qint32>(p + 18);
        height = qFromLittleEndian<qint32>(p + 22);
        bits = qFromLittleEndian<quint16>(p + 28);
        compression = qFromLittleEndian<quint32>(p + 30);
    }
    // Compressed rows have no size known from the header; the decoder judges those, and
    // headers that make no sense.
    const bool plainRows = compression == 0 || compression == 3 || compression == 6;
    if (!plainRows || width <= 0 || height == 0 || bits <= 0 || bits > 32) return true;
    const qint64 rowBytes = (width * bits + 31) / 32 * 4;
    return pixelsAt + rowBytes * std::abs(height) <= n;
}

} // namespace

bool pictureDataComplete(const QByteArray& format, const QByteArray& bytes) {
    if (format == "jpeg") return jpegDataComplete(bytes);
    if (format == "png") return pngDataComplete(bytes);
    if (format == "bmp") return bmpDataComplete(bytes);
    return true;
}

DecodedPicture decodePictureFile(const QString& path) {
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
        result = decodeFitsFile(path, pictureMemoryBudget(), greyFormat());
        if (!result.image.isNull()) result.image.setText(SourceKey, stamp);
        return result;
    }
    // Read no further than the size the file had when it was opened, and only what the memory
    // budget allows.
    const qint64 budget = pictureMemoryBudget();
    if (file.size() > budget) {
        result.error = QStringLiteral("файл слишком велик: %1, а можно занять не больше %2")
                           .arg(byteText(file.size()), byteText(budget));
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
        result.error = damaged();
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
    const int heldBytes = s_keepGrey && greyDecoded ? 1 : 4;
    const qint64 needed = qint64(size.width()) * qint64(size.height()) * (heldBytes + linearBytes) +
                          (linearBytes ? stretchWorkingBytes(size.width(), 2) : 0);
    const QString tooLarge = tooLargeReason(size, needed, budget);
    if (needed > budget) {
        result.error = tooLarge;
        return result;
    }
    if (!pictureDataComplete(reader.format(), bytes)) {
        result.error = damaged();
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
            result.error = damaged();
            return result;
        }
        // Linear 16-bit camera data looks black as it is: it gets the automatic stretch.
        if (isSixteenBit(image)) image = stretchSixteenBit(image, greyFormat());
        // A grey JPEG decodes straight into one byte a pixel and a colour JPEG into RGB32; other
        // formats (palettes, alpha) are turned into one of the two once.
        if (!image.isNull())
            image = s_keepGrey ? heldPicture(std::move(image)) : colourPicture(std::move(image));
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
