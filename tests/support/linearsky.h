#pragma once

// Linear data as astronomy cameras record it, for the FITS and 16-bit picture tests, the
// benchmark and the screenshot scene: a star field in counts, and a FITS writer through cfitsio.

#include <QFile>
#include <QImage>
#include <QRandomGenerator>
#include <QString>
#include <algorithm>
#include <cmath>
#include <fitsio.h>
#include <vector>

namespace vorlan::test {

/// Physical values of one or more planes, row 0 at the top as the picture is shown.
struct LinearData {
    int width = 0, height = 0, planes = 1;
    std::vector<double> values; ///< plane by plane, row by row from the top
    struct StarPeak {
        int x, y;         ///< the pixel nearest the star's centre
        double amplitude; ///< counts above the background there, before clipping
    };
    std::vector<StarPeak> stars;
    double& at(int x, int y, int c = 0) { return values[size_t((c * height + y) * width + x)]; }
};

/// A sky background of about background counts with Gaussian noise of sigma, plus Gaussian stars
/// whose peaks reach peak counts (the brightest ones clip there).
inline LinearData linearStarField(int w, int h, int stars, double background, double sigma, double peak,
                                  quint32 seed) {
    LinearData d{w, h, 1, std::vector<double>(size_t(w) * h), {}};
    QRandomGenerator rng(seed);
    for (double& v : d.values) {
        // Box-Muller: two uniform numbers give one normal one.
        const double u1 = 1.0 - rng.generateDouble(), u2 = rng.generateDouble();
        v = background + sigma * std::sqrt(-2 * std::log(u1)) * std::cos(2 * M_PI * u2);
    }
    for (int i = 0; i < stars; ++i) {
        const double cx = rng.bounded(double(w)), cy = rng.bounded(double(h));
        const double amplitude = peak * (0.05 + 0.95 * rng.generateDouble());
        const double r = 1.2 + 1.5 * rng.generateDouble();
        d.stars.push_back(
            {std::min(w - 1, int(std::lround(cx))), std::min(h - 1, int(std::lround(cy))), amplitude});
        for (int y = std::max(0, int(cy - 4 * r)); y <= std::min(h - 1, int(cy + 4 * r)); ++y)
            for (int x = std::max(0, int(cx - 4 * r)); x <= std::min(w - 1, int(cx + 4 * r)); ++x) {
                const double dd = (x - cx) * (x - cx) + (y - cy) * (y - cy);
                d.at(x, y) = std::min(peak, d.at(x, y) + amplitude * std::exp(-dd / (2 * r * r)));
            }
    }
    return d;
}

struct FitsLayout {
    int bitpix = USHORT_IMG; ///< cfitsio image type: BYTE_IMG, SHORT_IMG, USHORT_IMG, LONG_IMG, ...
    double bzero = 0, bscale = 1;
    bool compressed = false;
    bool blankDefined = false; ///< integers: a BLANK keyword for values written as NaN
};

/// Writes d as the first HDU (or, with emptyPrimary, as an IMAGE extension after an empty
/// primary HDU) of a new FITS file. FITS keeps the bottom row first, so rows are written from the
/// bottom. NaN values become blank pixels. Returns cfitsio's status (0 = written).
inline int writeFits(const QString& path, const LinearData& d, const FitsLayout& layout,
                     bool emptyPrimary = false) {
    QFile::remove(path);
    int status = 0;
    fitsfile* f = nullptr;
    fits_create_file(&f, QFile::encodeName(path).constData(), &status);
    if (status) return status;
    if (emptyPrimary) fits_create_img(f, BYTE_IMG, 0, nullptr, &status);
    if (layout.compressed) fits_set_compression_type(f, RICE_1, &status);
    long naxes[3] = {d.width, d.height, d.planes};
    fits_create_img(f, layout.bitpix, d.planes == 1 ? 2 : 3, naxes, &status);
    const bool unsignedDefault =
        layout.bitpix == USHORT_IMG || layout.bitpix == ULONG_IMG || layout.bitpix == SBYTE_IMG;
    if (!unsignedDefault && (layout.bzero != 0 || layout.bscale != 1)) {
        double zero = layout.bzero, scale = layout.bscale;
        fits_write_key(f, TDOUBLE, "BZERO", &zero, nullptr, &status);
        fits_write_key(f, TDOUBLE, "BSCALE", &scale, nullptr, &status);
        fits_set_bscale(f, scale, zero, &status);
    }
    if (layout.blankDefined) {
        // The top of the range: a reader that misses BLANK shows these pixels white.
        LONGLONG blank = layout.bitpix == BYTE_IMG                                   ? 255
                         : layout.bitpix == SHORT_IMG || layout.bitpix == USHORT_IMG ? 32767
                                                                                     : 2147483647LL;
        fits_write_key(f, TLONGLONG, "BLANK", &blank, nullptr, &status);
        fits_set_imgnull(f, blank, &status);
    }
    std::vector<double> bottomUp(d.values.size());
    for (int c = 0; c < d.planes; ++c)
        for (int y = 0; y < d.height; ++y)
            std::copy_n(&d.values[size_t((c * d.height + y) * d.width)], d.width,
                        &bottomUp[size_t((c * d.height + d.height - 1 - y) * d.width)]);
    double nullValue = -1e300;
    bool anyNull = false;
    for (double& v : bottomUp) {
        if (std::isnan(v)) {
            v = nullValue;
            anyNull = true;
        } else if (layout.bitpix > 0 && layout.bscale == 1) {
            v = std::round(v); // the compressor takes whole counts only
        }
    }
    long first[3] = {1, 1, 1};
    if (layout.compressed && layout.bitpix == SHORT_IMG) {
        // Compressed images take only their own sample type.
        std::vector<short> raw(bottomUp.size());
        std::transform(bottomUp.begin(), bottomUp.end(), raw.begin(), [&](double v) {
            return short(v == nullValue ? 32767 : std::clamp(v, -32768.0, 32766.0));
        });
        short nullShort = 32767;
        fits_write_pixnull(f, TSHORT, first, LONGLONG(raw.size()), raw.data(), anyNull ? &nullShort : nullptr,
                           &status);
    } else if (layout.compressed && layout.bitpix == USHORT_IMG) {
        std::vector<unsigned short> raw(bottomUp.size());
        std::transform(bottomUp.begin(), bottomUp.end(), raw.begin(),
                       [](double v) { return (unsigned short)(std::clamp(v, 0.0, 65535.0)); });
        fits_write_pix(f, TUSHORT, first, LONGLONG(raw.size()), raw.data(), &status);
    } else {
        fits_write_pixnull(f, TDOUBLE, first, LONGLONG(bottomUp.size()), bottomUp.data(),
                           anyNull ? &nullValue : nullptr, &status);
    }
    int closeStatus = 0;
    fits_close_file(f, &closeStatus);
    return status ? status : closeStatus;
}

/// The data rounded into a 16-bit grey picture (for 16-bit PNG and TIFF files).
inline QImage sixteenBitPicture(const LinearData& d) {
    QImage img(d.width, d.height, QImage::Format_Grayscale16);
    for (int y = 0; y < d.height; ++y) {
        auto* line = reinterpret_cast<quint16*>(img.scanLine(y));
        for (int x = 0; x < d.width; ++x)
            line[x] = quint16(std::clamp(std::lround(d.values[size_t(y * d.width + x)]), 0L, 65535L));
    }
    return img;
}

} // namespace vorlan::test
