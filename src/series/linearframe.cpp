#include "series/linearframe.h"

#include "view/fitshandle.h"
#include "view/fitsimage.h"
#include "view/linearstretch.h"
#include "view/picturebudget.h"

#include <QFileInfo>
#include <QImageReader>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace vorlan {

namespace {

Failure frameFailure(const QString& reason) {
    return {BadFile, reason};
}

QString cfitsioReason(int status) {
    if (status == FILE_NOT_OPENED) return QStringLiteral("файл не открывается");
    return damagedReason() + QStringLiteral(" (ошибка cfitsio %1)").arg(status);
}

/// The exposure the header names (EXPTIME, else EXPOSURE), seconds; 0 when none.
double fitsExposure(fitsfile* f) {
    for (const char* key : {"EXPTIME", "EXPOSURE"}) {
        double seconds = 0;
        int status = 0;
        if (!fits_read_key(f, TDOUBLE, key, &seconds, nullptr, &status) && seconds >= 0) return seconds;
    }
    return 0;
}

Outcome<LinearFrame> readFitsFrame(const QString& path, qint64 memoryBudget) {
    int status = 0;
    const FitsHandle file = openFitsForReading(path, status);
    if (status) return frameFailure(cfitsioReason(status));
    long naxes[3] = {0, 0, 0};
    int naxis = 0;
    // The first HDU that holds a plane (or three) of pixels.
    for (int hdu = 1;; ++hdu) {
        int type = 0, bitpix = 0;
        if (fits_movabs_hdu(file.get(), hdu, &type, &status))
            return frameFailure(hdu > 1 && status == END_OF_FILE
                                    ? QStringLiteral("в файле FITS нет двумерного изображения")
                                    : cfitsioReason(status));
        if (type != IMAGE_HDU) continue;
        if (fits_get_img_param(file.get(), 3, &bitpix, &naxis, naxes, &status))
            return frameFailure(cfitsioReason(status));
        const bool plane = naxis == 2 || (naxis == 3 && (naxes[2] == 1 || naxes[2] == 3));
        if (plane && naxes[0] > 0 && naxes[1] > 0) break;
    }
    const long planes = naxis == 3 ? naxes[2] : 1;
    const double needed = double(naxes[0]) * double(naxes[1]) * sizeof(float) * (planes == 3 ? 2 : 1);
    if (needed > double(memoryBudget) || naxes[0] > 0x7fffffffL / 4 || naxes[1] > 0x7fffffffL)
        return frameFailure(tooLargeReason(QSize(int(std::min(naxes[0], 0x7fffffffL)),
                                                 int(std::min(naxes[1], 0x7fffffffL))),
                                           qint64(std::min(needed, 9e18)), memoryBudget));
    // A file cut short is refused before anything is read for it.
    LONGLONG headStart = 0, dataStart = 0, dataEnd = 0;
    if (!fits_get_hduaddrll(file.get(), &headStart, &dataStart, &dataEnd, &status) &&
        dataEnd - 2880 > QFileInfo(path).size())
        return frameFailure(damagedReason() + QStringLiteral(": он кончается раньше, чем обещает заголовок FITS"));
    LinearFrame frame;
    frame.width = int(naxes[0]);
    frame.height = int(naxes[1]);
    frame.exposureSeconds = fitsExposure(file.get());
    const size_t n = size_t(frame.width) * size_t(frame.height);
    try {
        frame.pixels.resize(n);
        std::vector<float> plane(planes == 3 ? n : 0);
        float blank = NAN;
        int anyBlank = 0;
        for (long c = 0; c < planes; ++c) {
            long first[3] = {1, 1, c + 1};
            float* into = c == 0 ? frame.pixels.data() : plane.data();
            if (fits_read_pix(file.get(), TFLOAT, first, LONGLONG(n), &blank, into, &anyBlank, &status))
                return frameFailure(cfitsioReason(status));
            if (c > 0)
                for (size_t i = 0; i < n; ++i)
                    frame.pixels[i] += plane[i];
        }
        if (planes == 3)
            for (float& v : frame.pixels)
                v /= 3;
    } catch (const std::bad_alloc&) {
        return frameFailure(QStringLiteral("недостаточно памяти для картинки"));
    }
    // FITS keeps the bottom row first.
    for (int y = 0, z = frame.height - 1; y < z; ++y, --z)
        std::swap_ranges(frame.row(y), frame.row(y) + frame.width, frame.row(z));
    return frame;
}

Outcome<LinearFrame> readOtherFrame(const QString& path, qint64 memoryBudget) {
    QImageReader reader(path);
    const QSize size = reader.size();
    if (!reader.canRead())
        return frameFailure(QFileInfo::exists(path) ? QStringLiteral("это не картинка или файл повреждён")
                                                    : QStringLiteral("файл не открывается"));
    const double needed = double(size.width()) * size.height() * (sizeof(float) + 8);
    if (size.isValid() && needed > double(memoryBudget))
        return frameFailure(tooLargeReason(size, qint64(needed), memoryBudget));
    QImageReader::setAllocationLimit(int(std::min<qint64>(memoryBudget >> 20, 1 << 30)) + 1);
    QImage picture;
    if (!reader.read(&picture)) return frameFailure(damagedReason() + QStringLiteral(": ") + reader.errorString());
    const bool deep = picture.depth() > 32 || picture.format() == QImage::Format_Grayscale16;
    picture = picture.convertToFormat(deep ? QImage::Format_Grayscale16 : QImage::Format_Grayscale8);
    LinearFrame frame;
    frame.width = picture.width();
    frame.height = picture.height();
    frame.pixels.resize(size_t(frame.width) * size_t(frame.height));
    for (int y = 0; y < frame.height; ++y) {
        float* out = frame.row(y);
        if (deep) {
            const auto* in = reinterpret_cast<const quint16*>(picture.constScanLine(y));
            std::copy_n(in, frame.width, out);
        } else {
            std::copy_n(picture.constScanLine(y), frame.width, out);
        }
    }
    return frame;
}

/// A frame's values handed to the stretch as its linear source.
class FrameSource : public LinearSource<float> {
  public:
    explicit FrameSource(const LinearFrame& f) : m_frame(f) {
        width = f.width;
        height = f.height;
    }
    bool readRows(int, int r, int count, float* out) override {
        std::memcpy(out, m_frame.row(r), size_t(count) * size_t(width) * sizeof(float));
        return true;
    }

  private:
    const LinearFrame& m_frame;
};

} // namespace

Outcome<LinearFrame> readLinearFrame(const QString& path, qint64 memoryBudget) {
    if (!QFileInfo(path).isFile()) return Failure{FileNotFound, QStringLiteral("файл не найден")};
    if (QFileInfo(path).size() == 0) return frameFailure(QStringLiteral("файл пуст"));
    QFile probe(path);
    if (probe.open(QIODevice::ReadOnly) && probe.read(9) == "SIMPLE  =") return readFitsFrame(path, memoryBudget);
    if (isFitsFile(path)) return frameFailure(QStringLiteral("это не картинка: файл не начинается как FITS"));
    return readOtherFrame(path, memoryBudget);
}

QImage stretchedFrame(const LinearFrame& frame) {
    QImage out(frame.width, frame.height, QImage::Format_Grayscale8);
    if (out.isNull()) return out;
    FrameSource source(frame);
    return stretchInto(source, out) ? out : QImage();
}

} // namespace vorlan
