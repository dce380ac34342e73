#include "view/fitsimage.h"

#include "view/linearstretch.h"

#include <QFile>
#include <QFileInfo>
#include <cmath>
#include <fitsio.h>
#include <memory>
#include <new>
#include <vector>

namespace vorlan {

namespace {

struct FitsCloser {
    void operator()(fitsfile* f) const {
        int status = 0;
        fits_close_file(f, &status);
    }
};
using FitsHandle = std::unique_ptr<fitsfile, FitsCloser>;

QString fitsReason(int status) {
    switch (status) {
    case FILE_NOT_OPENED:
        return QStringLiteral("файл не открывается");
    case END_OF_FILE:
        return QStringLiteral("файл FITS обрезан: он кончается раньше, чем обещает заголовок");
    case MEMORY_ALLOCATION:
        return QStringLiteral("недостаточно памяти");
    default:
        return QStringLiteral("файл FITS повреждён (ошибка cfitsio %1)").arg(status);
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

/// Plane c of a FITS cube as it is shown: FITS stores the bottom row first.
template <class T>
SamplePlane<T> shownPlane(const T* data, const char* blanks, const ImageHeader& h, long c) {
    const qsizetype planeSize = qsizetype(h.width) * h.height;
    const qsizetype lastRow = c * planeSize + (h.height - 1) * qsizetype(h.width);
    return {data + lastRow, 1, -qsizetype(h.width), blanks ? blanks + lastRow : nullptr};
}

/// cfitsio reports a file that ends too soon as a read error: the HDU's own extent tells.
int truncationStatus(fitsfile* f, const QString& path, int status) {
    int probe = 0;
    LONGLONG headStart = 0, dataStart = 0, dataEnd = 0;
    if (status && !fits_get_hduaddrll(f, &headStart, &dataStart, &dataEnd, &probe) &&
        dataEnd > QFileInfo(path).size())
        return END_OF_FILE;
    return status;
}

/// 8- and 16-bit integer images: the raw samples keep their order in 16 bits, and the stretch
/// depends only on that order and on differences, so no conversion to floating point is needed.
QImage readIntegerImage(fitsfile* f, const ImageHeader& h, QImage::Format greyFormat, int& status) {
    const qsizetype count = qsizetype(h.width) * h.height * h.planes;
    // cfitsio writes every sample and every blank flag: no need to clear them first.
    const std::unique_ptr<quint16[]> samples(new quint16[size_t(count)]);
    const std::unique_ptr<char[]> blanks(new char[size_t(count)]);
    long first[3] = {1, 1, 1};
    int anyBlank = 0;
    const bool isSigned = h.equivType == SHORT_IMG || h.equivType == SBYTE_IMG;
    if (fits_read_pixnull(f, isSigned ? TSHORT : TUSHORT, first, count, samples.get(), blanks.get(),
                          &anyBlank, &status))
        return QImage();
    if (isSigned) // -32768..32767 onto 0..65535, order kept
        for (qsizetype i = 0; i < count; ++i)
            samples[i] ^= 0x8000;
    std::vector<SamplePlane<quint16>> planes;
    for (long c = 0; c < h.planes; ++c)
        planes.push_back(shownPlane<quint16>(samples.get(), anyBlank ? blanks.get() : nullptr, h, c));
    return stretchPlanes(int(h.width), int(h.height), planes, greyFormat);
}

/// Every other image (32- and 64-bit integers, floating point, scaled integers): physical values
/// as floats, blank pixels as NaN.
QImage readRealImage(fitsfile* f, const ImageHeader& h, QImage::Format greyFormat, int& status) {
    const qsizetype count = qsizetype(h.width) * h.height * h.planes;
    const std::unique_ptr<float[]> samples(new float[size_t(count)]);
    long first[3] = {1, 1, 1};
    float blank = NAN;
    int anyBlank = 0;
    if (fits_read_pix(f, TFLOAT, first, count, &blank, samples.get(), &anyBlank, &status)) return QImage();
    std::vector<SamplePlane<float>> planes;
    for (long c = 0; c < h.planes; ++c)
        planes.push_back(shownPlane<float>(samples.get(), nullptr, h, c));
    return stretchPlanes(int(h.width), int(h.height), planes, greyFormat);
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

DecodedPicture decodeFitsFile(const QString& path, qint64 memoryBudget, QImage::Format greyFormat) {
    DecodedPicture result;
    QFile probe(path);
    if (!probe.open(QIODevice::ReadOnly)) {
        result.error = fitsReason(FILE_NOT_OPENED);
        return result;
    }
    if (probe.read(9) != "SIMPLE  =") {
        result.error = QStringLiteral("это не файл FITS");
        return result;
    }
    probe.close();
    int status = 0;
    fitsfile* raw = nullptr;
    // The disk-file opener takes the name as it is: no cfitsio filter syntax in brackets.
    fits_open_diskfile(&raw, QFile::encodeName(path).constData(), READONLY, &status);
    FitsHandle file(raw);
    if (status) {
        result.error = fitsReason(status);
        return result;
    }
    ImageHeader h;
    if (!findImage(file.get(), h, status)) {
        result.error =
            status ? fitsReason(status) : QStringLiteral("в файле FITS нет двумерного изображения");
        return result;
    }
    // What the pixels will take, from the header alone: samples (with blank flags for integers)
    // and the 8-bit picture.
    const bool integer = isIntegerType(h.equivType);
    const double pixels = double(h.width) * double(h.height);
    const double outBytes = h.planes == 1 && greyFormat == QImage::Format_Grayscale8 ? 1 : 4;
    const double needed = pixels * (h.planes * (integer ? 3.0 : 4.0) + outBytes);
    if (needed > double(memoryBudget) || h.width > 0x7fffffffL / 4 || h.height > 0x7fffffffL) {
        result.error =
            QStringLiteral("изображение %1 x %2 не поместится в памяти (нужно %3 МБ, доступно %4 МБ)")
                .arg(h.width)
                .arg(h.height)
                .arg(std::ceil(needed / 1048576.0), 0, 'f', 0)
                .arg(memoryBudget / 1048576);
        return result;
    }
    try {
        result.image = integer ? readIntegerImage(file.get(), h, greyFormat, status)
                               : readRealImage(file.get(), h, greyFormat, status);
    } catch (const std::bad_alloc&) {
        result.image = QImage();
        status = MEMORY_ALLOCATION;
    }
    if (status || result.image.isNull()) {
        result.image = QImage();
        result.error = fitsReason(status ? truncationStatus(file.get(), path, status) : MEMORY_ALLOCATION);
    }
    return result;
}

} // namespace vorlan
