#include "view/fitsimage.h"

#include "view/linearstretch.h"

#include <QFile>
#include <QFileInfo>
#include <cmath>
#include <fitsio.h>
#include <memory>
#include <new>
#include <type_traits>
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

/// cfitsio reports a file that ends too soon as a read error: the HDU's own extent tells.
int truncationStatus(fitsfile* f, const QString& path, int status) {
    int probe = 0;
    LONGLONG headStart = 0, dataStart = 0, dataEnd = 0;
    if (status && !fits_get_hduaddrll(f, &headStart, &dataStart, &dataEnd, &probe) &&
        dataEnd > QFileInfo(path).size())
        return END_OF_FILE;
    return status;
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
    FitsSource(fitsfile* f, const ImageHeader& h) : m_file(f) {
        this->width = int(h.width);
        this->height = int(h.height);
        this->planes = int(h.planes);
        this->bottomUp = true; // FITS keeps the bottom row first
        m_signed = h.equivType == SHORT_IMG || h.equivType == SBYTE_IMG;
        if constexpr (std::is_same_v<T, quint16>) this->blankLevel = vorlan::blankLevel(f, m_signed);
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
            if (fits_read_pix(m_file, TFLOAT, first, n, &blank, out, &anyBlank, &status)) return false;
        }
        return true;
    }
    int status = 0;

  private:
    fitsfile* m_file;
    bool m_signed = false;
};

template <class T>
QImage readImage(fitsfile* f, const ImageHeader& h, QImage::Format greyFormat, int& status) {
    FitsSource<T> source(f, h);
    QImage image = stretchToPicture(source, greyFormat);
    status = source.status;
    return image;
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
    // What the pixels will take, from the header alone: the 8-bit picture (the linear data
    // passes through in bands of rows).
    const bool integer = isIntegerType(h.equivType);
    const double pixels = double(h.width) * double(h.height);
    const double needed = pixels * (h.planes == 1 && greyFormat == QImage::Format_Grayscale8 ? 1 : 4);
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
        result.image = integer ? readImage<quint16>(file.get(), h, greyFormat, status)
                               : readImage<float>(file.get(), h, greyFormat, status);
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
