#include "view/fitsimage.h"

#include "common/isolatedrun.h"
#include "common/outcome.h"
#include "view/fitshandle.h"
#include "view/linearstretch.h"
#include "view/picturebudget.h"

#include <QFile>
#include <QFileInfo>
#include <cmath>
#include <cstring>
#include <fitsio.h>
#include <functional>
#include <memory>
#include <new>
#include <type_traits>
#include <vector>

namespace vorlan {

namespace {

QString fitsReason(int status) {
    switch (status) {
    case FILE_NOT_OPENED:
        return QStringLiteral("файл не открывается");
    case END_OF_FILE:
        return damagedReason() + QStringLiteral(": он кончается раньше, чем обещает заголовок FITS");
    case MEMORY_ALLOCATION:
        return QStringLiteral("недостаточно памяти для картинки");
    default:
        return damagedReason() + QStringLiteral(" (ошибка cfitsio %1)").arg(status);
    }
}

struct ImageHeader {
    int equivType = 0;
    long width = 0, height = 0, planes = 0;
};

/// Moves to the first HDU that holds a picture: two axes, or three with one or three planes.
/// Returns false (status untouched) when there is none.
bool findImage(fitsfile* f, ImageHeader& h, int& status) {
    for (int hdu = 1;; ++hdu) {
        int type = 0;
        if (fits_movabs_hdu(f, hdu, &type, &status)) {
            if (status == END_OF_FILE && hdu > 1) status = 0; // past the last HDU
            return false;
        }
        if (type != IMAGE_HDU) continue;
        int bitpix = 0, naxis = 0;
        long naxes[3] = {0, 0, 0};
        if (fits_get_img_param(f, 3, &bitpix, &naxis, naxes, &status) ||
            fits_get_img_equivtype(f, &h.equivType, &status))
            return false;
        const bool plane = naxis == 2 || (naxis == 3 && (naxes[2] == 1 || naxes[2] == 3));
        if (plane && naxes[0] > 0 && naxes[1] > 0) {
            h.width = naxes[0];
            h.height = naxes[1];
            h.planes = naxis == 3 ? naxes[2] : 1;
            return true;
        }
    }
}

/// True when the file ends more than `slack` bytes before the end of the data that the current
/// HDU's header promises.
bool endsEarly(fitsfile* f, const QString& path, LONGLONG slack) {
    int status = 0;
    LONGLONG headStart = 0, dataStart = 0, dataEnd = 0;
    return !fits_get_hduaddrll(f, &headStart, &dataStart, &dataEnd, &status) &&
           dataEnd - slack > QFileInfo(path).size();
}

/// cfitsio reports a file that ends too soon as a read error: the HDU's own extent tells.
int truncationStatus(fitsfile* f, const QString& path, int status) {
    return status && endsEarly(f, path, 0) ? END_OF_FILE : status;
}

/// The 16-bit level that the header's BLANK value (ZBLANK in a tile-compressed image) becomes
/// when read as below, or -1 when no pixel is blank.
int blankLevel(fitsfile* f, bool isSigned) {
    LONGLONG blank = 0;
    int status = 0;
    if (fits_read_key(f, TLONGLONG, "BLANK", &blank, nullptr, &status)) {
        status = 0;
        if (fits_read_key(f, TLONGLONG, "ZBLANK", &blank, nullptr, &status)) return -1;
    }
    double zero = 0;
    status = 0;
    if (fits_read_key(f, TDOUBLE, "BZERO", &zero, nullptr, &status)) zero = 0;
    const double level = double(blank) + zero + (isSigned ? 32768 : 0);
    return level >= 0 && level <= 65535 ? int(level) : -1;
}

/// The image of the current HDU read a band of rows at a time. 8- and 16-bit integers are read
/// as 16-bit levels that keep their order (the stretch depends only on that order and on
/// differences, so no floating point is needed), blank pixels as the level BLANK stands for;
/// every other image (32- and 64-bit integers, floating point, scaled integers) as physical
/// values in floats, blank pixels as NaN.
template <class T> class FitsSource : public LinearSource<T> {
  public:
    FitsSource(fitsfile* f, const ImageHeader& h, bool compressed) : m_file(f) {
        this->width = int(h.width);
        this->height = int(h.height);
        this->planes = int(h.planes);
        this->bottomUp = true; // FITS keeps the bottom row first
        m_signed = h.equivType == SHORT_IMG || h.equivType == SBYTE_IMG;
        if constexpr (std::is_same_v<T, quint16>) this->blankLevel = vorlan::blankLevel(f, m_signed);
        // Stored floats keep their blank pixels as NaN and need no check for them (which costs
        // cfitsio a test per pixel); integers (BLANK) and compressed tiles (ZBLANK) do.
        m_checkBlank = compressed || (h.equivType != FLOAT_IMG && h.equivType != DOUBLE_IMG);
    }
    bool readRows(int c, int r, int count, T* out) override {
        long first[3] = {1, r + 1, c + 1};
        const LONGLONG n = LONGLONG(count) * this->width;
        int anyBlank = 0;
        if constexpr (std::is_same_v<T, quint16>) {
            if (fits_read_pix(m_file, m_signed ? TSHORT : TUSHORT, first, n, nullptr, out, &anyBlank,
                              &status))
                return false;
            if (m_signed) // -32768..32767 onto 0..65535, order kept
                for (LONGLONG i = 0; i < n; ++i)
                    out[i] ^= 0x8000;
        } else {
            float blank = NAN;
            if (fits_read_pix(m_file, TFLOAT, first, n, m_checkBlank ? &blank : nullptr, out, &anyBlank,
                              &status))
                return false;
        }
        return true;
    }
    int status = 0;

  private:
    fitsfile* m_file;
    bool m_signed = false;
    bool m_checkBlank = true;
};

/// Gives the picture to write into: width x height in format; null when it cannot. compressed
/// tells whether the image is tile-compressed.
using PictureAllocator = std::function<QImage(int width, int height, QImage::Format format, bool compressed)>;

/// Reads the image of the current HDU into a picture from allocate. Every header keyword is read
/// before the picture is asked for.
template <class T>
QImage readImage(fitsfile* f, const ImageHeader& h, QImage::Format format, const PictureAllocator& allocate,
                 int& status) {
    const bool compressed = fits_is_compressed_image(f, &status);
    FitsSource<T> source(f, h, compressed);
    QImage out = allocate(source.width, source.height, format, compressed);
    if (out.isNull()) return out;
    if (!stretchInto(source, out)) status = source.status ? source.status : READ_ERROR;
    return status ? QImage() : out;
}

bool isIntegerType(int equivType) {
    return equivType == BYTE_IMG || equivType == SBYTE_IMG || equivType == SHORT_IMG ||
           equivType == USHORT_IMG;
}

} // namespace

bool isFitsFile(const QString& path) {
    static const QStringList extensions = {QStringLiteral("fits"), QStringLiteral("fit"),
                                           QStringLiteral("fts"), QStringLiteral("fz")};
    if (extensions.contains(QFileInfo(path).suffix(), Qt::CaseInsensitive)) return true;
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(9) == "SIMPLE  =";
}

namespace {

QImage ownPicture(int width, int height, QImage::Format format, bool) {
    return QImage(width, height, format);
}

/// The decoding itself, in this process.
DecodedPicture decodeFits(const QString& path, qint64 memoryBudget, QImage::Format greyFormat,
                          const PictureAllocator& allocate) {
    int status = 0;
    const FitsHandle file = openFitsForReading(path, status);
    if (status) {
        return pictureFailure(fitsReason(status));
    }
    ImageHeader h;
    if (!findImage(file.get(), h, status)) {
        return pictureFailure(status ? fitsReason(status)
                                     : QStringLiteral("в файле FITS нет двумерного изображения"));
    }
    // What the pixels will take, from the header alone: the 8-bit picture and what the stretch
    // works in (the linear data passes through in bands of rows).
    const QImage::Format format = h.planes == 1 ? greyFormat : QImage::Format_RGB32;
    const int sampleBytes = isIntegerType(h.equivType) ? 2 : 4;
    const double needed =
        double(h.width) * double(h.height) * (format == QImage::Format_Grayscale8 ? 1 : 4) +
        double(stretchWorkingBytes(std::min<qint64>(h.width, qint64(1) << 40), sampleBytes));
    if (needed > double(memoryBudget) || h.width > 0x7fffffffL / 4 || h.height > 0x7fffffffL) {
        return pictureFailure(
            tooLargeReason(QSize(int(std::min(h.width, 0x7fffffffL)), int(std::min(h.height, 0x7fffffffL))),
                           qint64(std::min(needed, 9e18)), memoryBudget));
    }
    // Nor is anything allocated for data that the file does not hold (its last block's padding,
    // which some writers leave out, aside).
    if (endsEarly(file.get(), path, 2880)) {
        return pictureFailure(fitsReason(END_OF_FILE));
    }
    QImage image;
    try {
        image = isIntegerType(h.equivType) ? readImage<quint16>(file.get(), h, format, allocate, status)
                                           : readImage<float>(file.get(), h, format, allocate, status);
        if (image.isNull() && !status) status = MEMORY_ALLOCATION;
    } catch (const std::bad_alloc&) {
        status = MEMORY_ALLOCATION;
    }
    if (status) return pictureFailure(fitsReason(truncationStatus(file.get(), path, status)));
    return image;
}

/// What the decoding copy sends back, followed by its error text; the pixels are in the shared
/// memory.
struct ChildReply {
    qint32 width = 0, height = 0, format = 0, bytesPerLine = 0;
};

/// A file that keeps cfitsio busy for minutes is as good as damaged.
constexpr int DecodingTimeLimitMs = 120000;

/// cfitsio trusts the header it reads, and a damaged one can crash it (a division by a tile size
/// of zero, a keyword value longer than its buffer). So an isolated copy of this process reads
/// the file first; if it dies, the file is reported as damaged and the program goes on. A plain
/// image is then read here (its header is known to be sound, and its pixels are plain copies);
/// a tile-compressed one, whose damaged tiles could crash the decompressor as well, is decoded
/// by that copy into memory shared with us.
DecodedPicture decodeFitsIsolated(const QString& path, qint64 memoryBudget, QImage::Format greyFormat) {
    SharedPictureMemory memory;
    if (!memory.valid()) return decodeFits(path, memoryBudget, greyFormat, ownPicture);
    const IsolatedResult run = runIsolated(
        [&] {
            ChildReply reply;
            QByteArray error;
            try {
                bool headerOnly = false;
                const DecodedPicture p =
                    decodeFits(path, memoryBudget, greyFormat,
                               [&memory, &headerOnly](int w, int h, QImage::Format f, bool compressed) {
                                   if (compressed) return memory.writablePicture(w, h, f);
                                   headerOnly = true;
                                   return QImage();
                               });
                if (headerOnly) {
                    reply.width = -1; // sound: read it yourself
                } else {
                    const QImage image = p.valueOr(QImage());
                    reply.width = image.width();
                    reply.height = image.height();
                    reply.format = image.format();
                    reply.bytesPerLine = int(image.bytesPerLine());
                    error = p.reason().toUtf8();
                }
            } catch (...) {
                error = fitsReason(MEMORY_ALLOCATION).toUtf8();
            }
            return QByteArray(reinterpret_cast<const char*>(&reply), sizeof reply) + error;
        },
        DecodingTimeLimitMs);
    if (run.end == IsolatedEnd::NotStarted) return decodeFits(path, memoryBudget, greyFormat, ownPicture);
    const bool answered =
        run.end == IsolatedEnd::Answered && run.answer.size() >= qsizetype(sizeof(ChildReply));
    ChildReply reply;
    QByteArray error;
    if (answered) {
        std::memcpy(&reply, run.answer.constData(), sizeof reply);
        error = run.answer.mid(sizeof reply);
    }
    if (answered && reply.width == -1) return decodeFits(path, memoryBudget, greyFormat, ownPicture);
    if (!answered || !error.isEmpty() || reply.width <= 0 || reply.height <= 0)
        return pictureFailure(answered && !error.isEmpty()
                                  ? QString::fromUtf8(error)
                                  : damagedReason() + QStringLiteral(": cfitsio не смог его прочитать"));
    QImage image =
        memory.picture(reply.width, reply.height, reply.bytesPerLine, QImage::Format(reply.format));
    if (image.isNull()) return pictureFailure(fitsReason(MEMORY_ALLOCATION));
    return image;
}

} // namespace

DecodedPicture decodeFitsFile(const QString& path, qint64 memoryBudget, QImage::Format greyFormat) {
    QFile probe(path);
    if (!probe.open(QIODevice::ReadOnly)) return pictureFailure(fitsReason(FILE_NOT_OPENED));
    if (probe.read(9) != "SIMPLE  =")
        return pictureFailure(QStringLiteral("это не картинка: файл не начинается как FITS"));
    probe.close();
    return decodeFitsIsolated(path, memoryBudget, greyFormat);
}

} // namespace vorlan
