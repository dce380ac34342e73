#include "view/picturecompleteness.h"

#include <QtEndian>
#include <cstdlib>
#include <cstring>

namespace vorlan {

namespace {

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

} // namespace vorlan
