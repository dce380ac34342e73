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
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

/// A FITS image read band by band: FITS keeps the bottom row first, so a band of the picture's
/// rows is a run of the file's rows read at once and turned over in place.
class FitsRows : public FrameRows {
  public:
    FitsHandle file;
    long planes = 1;

    /// Set when the picture is one plane of plain 16-bit integers: its rows are then read straight
    /// from the file and turned into floats in one pass, without cfitsio's slower conversion.
    struct Plain16 {
        QFile data;
        qint64 start = 0; ///< byte offset of the first stored row
        float scale = 1, zero = 0;
        int blank = 0x10000; ///< the stored value of a blank pixel; out of range when none is
        std::vector<uchar> raw;
    };
    std::unique_ptr<Plain16> plain;

    Outcome<void> read(int y, int count, float* out) override {
        if (plain) return readPlain(y, count, out);
        const LONGLONG n = LONGLONG(count) * width;
        if (planes == 3) m_plane.resize(size_t(n));
        int status = 0;
        for (long c = 0; c < planes; ++c) {
            long first[3] = {1, long(height) - y - count + 1, c + 1};
            float blank = NAN;
            int anyBlank = 0;
            float* into = c == 0 ? out : m_plane.data();
            if (fits_read_pix(file.get(), TFLOAT, first, n, &blank, into, &anyBlank, &status))
                return frameFailure(cfitsioReason(status));
            if (c > 0)
                for (LONGLONG i = 0; i < n; ++i)
                    out[i] += into[i];
        }
        if (planes == 3)
            for (LONGLONG i = 0; i < n; ++i)
                out[i] *= 1.0f / 3;
        for (int a = 0, b = count - 1; a < b; ++a, --b)
            std::swap_ranges(out + size_t(a) * width, out + size_t(a + 1) * width, out + size_t(b) * width);
        return {};
    }

  private:
    Outcome<void> readPlain(int y, int count, float* out) {
        const qint64 rowBytes = qint64(width) * 2;
        plain->raw.resize(size_t(rowBytes) * size_t(count));
        if (!plain->data.seek(plain->start + qint64(height - y - count) * rowBytes) ||
            plain->data.read(reinterpret_cast<char*>(plain->raw.data()), rowBytes * count) != rowBytes * count)
            return frameFailure(damagedReason());
        for (int k = 0; k < count; ++k)
            bigEndian16ToFloat(plain->raw.data() + size_t(count - 1 - k) * size_t(rowBytes), width, *plain,
                               out + size_t(k) * width);
        return {};
    }

    static void bigEndian16ToFloat(const uchar* in, int n, const Plain16& p, float* out) {
        int i = 0;
#if defined(__SSE2__)
        const __m128 scale = _mm_set1_ps(p.scale), zero = _mm_set1_ps(p.zero), blank = _mm_set1_ps(NAN);
        const __m128i blankValue = _mm_set1_epi32(p.blank);
        for (; i + 8 <= n; i += 8) {
            __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 2 * i));
            r = _mm_or_si128(_mm_slli_epi16(r, 8), _mm_srli_epi16(r, 8));
            const __m128i halves[2] = {_mm_srai_epi32(_mm_unpacklo_epi16(r, r), 16),
                                       _mm_srai_epi32(_mm_unpackhi_epi16(r, r), 16)};
            for (int h = 0; h < 2; ++h) {
                const __m128 v = _mm_add_ps(_mm_mul_ps(_mm_cvtepi32_ps(halves[h]), scale), zero);
                const __m128 isBlank = _mm_castsi128_ps(_mm_cmpeq_epi32(halves[h], blankValue));
                _mm_storeu_ps(out + i + 4 * h, _mm_or_ps(_mm_andnot_ps(isBlank, v), _mm_and_ps(isBlank, blank)));
            }
        }
#endif
        for (; i < n; ++i) {
            const int v = qint16(quint16(in[2 * i] << 8 | in[2 * i + 1]));
            out[i] = v == p.blank ? NAN : float(v) * p.scale + p.zero;
        }
    }

    std::vector<float> m_plane; ///< the band of the second or third plane of a colour cube
};

/// The value of a numeric key, or otherwise when the header has none.
double keyOr(fitsfile* f, const char* key, double otherwise) {
    double v = otherwise;
    int status = 0;
    return fits_read_key(f, TDOUBLE, key, &v, nullptr, &status) ? otherwise : v;
}

Outcome<std::unique_ptr<FrameRows>> openFitsRows(const QString& path, qint64 memoryBudget) {
    int status = 0;
    auto rows = std::make_unique<FitsRows>();
    rows->file = openFitsForReading(path, status);
    if (status) return frameFailure(cfitsioReason(status));
    fitsfile* file = rows->file.get();
    long naxes[3] = {0, 0, 0};
    int naxis = 0;
    // The first HDU that holds a plane (or three) of pixels.
    for (int hdu = 1;; ++hdu) {
        int type = 0, bitpix = 0;
        if (fits_movabs_hdu(file, hdu, &type, &status))
            return frameFailure(hdu > 1 && status == END_OF_FILE
                                    ? QStringLiteral("в файле FITS нет двумерного изображения")
                                    : cfitsioReason(status));
        if (type != IMAGE_HDU) continue;
        if (fits_get_img_param(file, 3, &bitpix, &naxis, naxes, &status)) return frameFailure(cfitsioReason(status));
        const bool plane = naxis == 2 || (naxis == 3 && (naxes[2] == 1 || naxes[2] == 3));
        if (plane && naxes[0] > 0 && naxes[1] > 0) break;
    }
    rows->planes = naxis == 3 ? naxes[2] : 1;
    const double needed = double(naxes[0]) * double(naxes[1]) * sizeof(float);
    if (needed > double(memoryBudget) || naxes[0] > 0x7fffffffL / 4 || naxes[1] > 0x7fffffffL)
        return frameFailure(tooLargeReason(QSize(int(std::min(naxes[0], 0x7fffffffL)),
                                                 int(std::min(naxes[1], 0x7fffffffL))),
                                           qint64(std::min(needed, 9e18)), memoryBudget));
    // A file cut short is refused before anything is read for it.
    LONGLONG headStart = 0, dataStart = 0, dataEnd = 0;
    if (!fits_get_hduaddrll(file, &headStart, &dataStart, &dataEnd, &status) &&
        dataEnd - 2880 > QFileInfo(path).size())
        return frameFailure(damagedReason() + QStringLiteral(": он кончается раньше, чем обещает заголовок FITS"));
    rows->width = int(naxes[0]);
    rows->height = int(naxes[1]);
    rows->exposureSeconds = fitsExposure(file);
    int bitpix = 0, compressed = 0;
    fits_get_img_type(file, &bitpix, &status);
    compressed = fits_is_compressed_image(file, &status);
    if (!status && bitpix == SHORT_IMG && !compressed && rows->planes == 1) {
        auto plain = std::make_unique<FitsRows::Plain16>();
        plain->data.setFileName(path);
        plain->start = dataStart;
        plain->scale = float(keyOr(file, "BSCALE", 1));
        plain->zero = float(keyOr(file, "BZERO", 0));
        const double blank = keyOr(file, "BLANK", 0x10000);
        plain->blank = blank >= -32768 && blank <= 32767 ? int(blank) : 0x10000;
        if (plain->data.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) rows->plain = std::move(plain);
    }
    return std::unique_ptr<FrameRows>(std::move(rows));
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

/// A picture decoded whole (the formats Qt reads come out whole), its rows handed out from memory.
class DecodedRows : public FrameRows {
  public:
    explicit DecodedRows(LinearFrame f) : m_frame(std::move(f)) {
        width = m_frame.width;
        height = m_frame.height;
        exposureSeconds = m_frame.exposureSeconds;
    }
    Outcome<void> read(int y, int count, float* out) override {
        std::copy_n(m_frame.row(y), size_t(count) * size_t(width), out);
        return {};
    }

  private:
    LinearFrame m_frame;
};

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

Outcome<std::unique_ptr<FrameRows>> FrameRows::open(const QString& path, qint64 memoryBudget) {
    if (!QFileInfo(path).isFile()) return Failure{FileNotFound, QStringLiteral("файл не найден")};
    if (QFileInfo(path).size() == 0) return frameFailure(QStringLiteral("файл пуст"));
    QFile probe(path);
    if (probe.open(QIODevice::ReadOnly) && probe.read(9) == "SIMPLE  =") return openFitsRows(path, memoryBudget);
    if (isFitsFile(path)) return frameFailure(QStringLiteral("это не картинка: файл не начинается как FITS"));
    Outcome<LinearFrame> decoded = readOtherFrame(path, memoryBudget);
    if (!decoded.ok()) return decoded.failure();
    return std::unique_ptr<FrameRows>(std::make_unique<DecodedRows>(std::move(decoded).value()));
}

Outcome<LinearFrame> readLinearFrame(const QString& path, qint64 memoryBudget) {
    Outcome<std::unique_ptr<FrameRows>> opened = FrameRows::open(path, memoryBudget);
    if (!opened.ok()) return opened.failure();
    return readLinearFrame(*opened.value());
}

Outcome<LinearFrame> readLinearFrame(FrameRows& rows, std::vector<float>&& storage) {
    LinearFrame frame;
    frame.width = rows.width;
    frame.height = rows.height;
    frame.exposureSeconds = rows.exposureSeconds;
    frame.pixels = std::move(storage);
    try {
        frame.pixels.resize(size_t(frame.width) * size_t(frame.height));
    } catch (const std::bad_alloc&) {
        return frameFailure(QStringLiteral("недостаточно памяти для картинки"));
    }
    // Bands small enough to be turned over while still in the processor's cache.
    const int band = std::max(1, (256 << 10) / int(sizeof(float)) / std::max(1, frame.width));
    for (int y = 0; y < frame.height; y += band)
        if (Outcome<void> r = rows.read(y, std::min(band, frame.height - y), frame.row(y)); !r.ok())
            return r.failure();
    return frame;
}

QImage stretchedFrame(const LinearFrame& frame) {
    QImage out(frame.width, frame.height, QImage::Format_Grayscale8);
    if (out.isNull()) return out;
    FrameSource source(frame);
    return stretchInto(source, out) ? out : QImage();
}

} // namespace vorlan
