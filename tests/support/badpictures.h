#pragma once

// Picture files as hostile downloads produce them, built byte by byte: a JPEG encoder small
// enough to write any header (claimed sizes, grey or CMYK, cut scans), PNG files whose zlib
// stream really holds a huge picture of zeros, and BMP headers with any field patched. The
// bombs are a few kilobytes to a few megabytes on disk; only a decoder would make them big.

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QtEndian>
#include <array>
#include <cstdint>

namespace vorlan::test {

/// Writes bits most significant first into JPEG entropy data, stuffing a zero after each 0xFF.
class JpegBits {
  public:
    void put(uint32_t code, int length) {
        for (int i = length - 1; i >= 0; --i) {
            m_byte = uint8_t((m_byte << 1) | ((code >> i) & 1));
            if (++m_count == 8) flushByte();
        }
    }
    QByteArray finish() {
        while (m_count != 0)
            put(1, 1); // pad with ones
        return m_out;
    }

  private:
    void flushByte() {
        m_out.append(char(m_byte));
        if (m_byte == 0xFF) m_out.append('\0');
        m_byte = 0;
        m_count = 0;
    }
    QByteArray m_out;
    uint8_t m_byte = 0;
    int m_count = 0;
};

inline void putSegment(QByteArray& out, uint8_t marker, const QByteArray& body) {
    out.append(char(0xFF)).append(char(marker));
    const int length = int(body.size()) + 2;
    out.append(char(length >> 8)).append(char(length & 0xFF));
    out.append(body);
}

/// A baseline JPEG of w x h pixels whose every component is flat: 1 component is grey, 4 are
/// CMYK (stored the way Adobe writes them). Only mcus blocks of scan data are written when
/// mcus >= 0, and the end marker only for a whole scan: a header that claims a huge picture
/// over a few bytes of data.
inline QByteArray flatJpeg(int w, int h, const QList<int>& values, qsizetype mcus = -1) {
    const int nc = int(values.size());
    QByteArray out("\xFF\xD8", 2);
    QByteArray dqt(1, '\0');
    dqt.append(char(8)); // DC step 8: a flat block's quantised DC is its value - 128
    dqt.append(QByteArray(63, char(1)));
    putSegment(out, 0xDB, dqt);
    QByteArray sof;
    sof.append(char(8))
        .append(char(h >> 8))
        .append(char(h & 0xFF))
        .append(char(w >> 8))
        .append(char(w & 0xFF));
    sof.append(char(nc));
    for (int c = 0; c < nc; ++c)
        sof.append(char(c + 1)).append(char(0x11)).append(char(0));
    putSegment(out, 0xC0, sof);
    // DC: categories 0..8, all with 4-bit codes equal to the category. AC: only end-of-block, "0".
    QByteArray dc(1, char(0x00));
    QByteArray counts(16, '\0');
    counts[3] = 9;
    dc.append(counts);
    for (int s = 0; s <= 8; ++s)
        dc.append(char(s));
    putSegment(out, 0xC4, dc);
    QByteArray ac(1, char(0x10));
    QByteArray acCounts(16, '\0');
    acCounts[0] = 1;
    ac.append(acCounts).append('\0');
    putSegment(out, 0xC4, ac);
    QByteArray sos(1, char(nc));
    for (int c = 0; c < nc; ++c)
        sos.append(char(c + 1)).append(char(0x00));
    sos.append(char(0)).append(char(63)).append(char(0));
    putSegment(out, 0xDA, sos);

    const qsizetype total = qsizetype((w + 7) / 8) * ((h + 7) / 8);
    const qsizetype written = mcus < 0 ? total : std::min(mcus, total);
    JpegBits bits;
    for (qsizetype m = 0; m < written; ++m) {
        for (int c = 0; c < nc; ++c) {
            const int diff = m == 0 ? values[c] - 128 : 0;
            int category = 0;
            for (int a = std::abs(diff); a; a >>= 1)
                ++category;
            bits.put(uint32_t(category), 4);
            if (category) bits.put(uint32_t(diff > 0 ? diff : diff + (1 << category) - 1), category);
            bits.put(0, 1); // end of block
        }
    }
    out.append(bits.finish());
    if (written == total) out.append("\xFF\xD9", 2);
    return out;
}

inline uint32_t crc32Of(const QByteArray& data) {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    uint32_t c = 0xFFFFFFFFu;
    for (char b : data)
        c = table[(c ^ uint8_t(b)) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

inline void putChunk(QByteArray& out, const char* type, const QByteArray& data) {
    char be[4];
    qToBigEndian(quint32(data.size()), be);
    out.append(be, 4);
    const QByteArray typed = QByteArray(type, 4) + data;
    out.append(typed);
    qToBigEndian(crc32Of(typed), be);
    out.append(be, 4);
}

/// A zlib stream of n zero bytes: one literal, then matches of 258 bytes at distance 1 in a
/// fixed-Huffman block, 13 bits for every 258 bytes.
inline QByteArray zlibZeros(qint64 n) {
    QByteArray out("\x78\x01", 2);
    uint64_t acc = 0;
    int used = 0;
    QByteArray body;
    body.reserve(int(n / 258 * 13 / 8 + 64));
    auto put = [&](uint32_t v, int length) { // deflate packs bits least significant first
        acc |= uint64_t(v) << used;
        used += length;
        while (used >= 8) {
            body.append(char(acc & 0xFF));
            acc >>= 8;
            used -= 8;
        }
    };
    auto huffman = [&](uint32_t code, int length) { // Huffman codes go most significant first
        uint32_t reversed = 0;
        for (int i = 0; i < length; ++i)
            reversed |= ((code >> i) & 1) << (length - 1 - i);
        put(reversed, length);
    };
    put(1, 1); // last block
    put(1, 2); // fixed Huffman
    qint64 left = n;
    if (left > 0) {
        huffman(0x30, 8); // literal 0
        --left;
    }
    for (; left >= 258; left -= 258) {
        huffman(0xC5, 8); // length 258
        huffman(0, 5);    // distance 1
    }
    for (; left > 0; --left)
        huffman(0x30, 8);
    huffman(0, 7); // end of block
    if (used) put(0, 8 - used);
    out.append(body);
    char be[4];
    qToBigEndian(quint32((uint32_t(n % 65521) << 16) | 1u), be); // Adler-32 of zeros
    out.append(be, 4);
    return out;
}

/// A complete, valid 1-bit grey PNG of w x h black pixels: a few megabytes at most on disk, w x h
/// bytes and more once decoded.
inline QByteArray blackPng1Bit(quint32 w, quint32 h) {
    QByteArray out("\x89PNG\r\n\x1a\n", 8);
    QByteArray ihdr(13, '\0');
    qToBigEndian(w, ihdr.data());
    qToBigEndian(h, ihdr.data() + 4);
    ihdr[8] = 1; // bit depth
    ihdr[9] = 0; // grey
    putChunk(out, "IHDR", ihdr);
    putChunk(out, "IDAT", zlibZeros(qint64(h) * ((w + 7) / 8 + 1)));
    putChunk(out, "IEND", QByteArray());
    return out;
}

/// An image encoded by Qt in the given format.
inline QByteArray encoded(const QImage& img, const char* format, int quality = -1) {
    QByteArray bytes;
    QBuffer b(&bytes);
    b.open(QIODevice::WriteOnly);
    img.save(&b, format, quality);
    return bytes;
}

/// bytes with a little-endian field of the given size overwritten at offset (BMP headers).
template <typename T> QByteArray patched(QByteArray bytes, int offset, T value) {
    qToLittleEndian(value, bytes.data() + offset);
    return bytes;
}

} // namespace vorlan::test
