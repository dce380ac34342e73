#include "view/greypicture.h"

#include <array>

namespace vorlan {

namespace {

bool isGreyColour(QRgb c) {
    return qRed(c) == qGreen(c) && qGreen(c) == qBlue(c);
}

/// Grey bytes of an RGB32 picture whose pixels are all grey; null at the first coloured one.
QImage greyOfRgb32(const QImage& colour) {
    const int w = colour.width();
    const int h = colour.height();
    auto rowIsGrey = [&](int y) {
        const auto* in = reinterpret_cast<const QRgb*>(colour.constScanLine(y));
        for (int x = 0; x < w; ++x)
            if (!isGreyColour(in[x])) return false;
        return true;
    };
    if (!rowIsGrey(0)) return {};
    QImage grey(w, h, QImage::Format_Grayscale8);
    if (grey.isNull()) return {};
    for (int y = 0; y < h; ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(colour.constScanLine(y));
        uchar* out = grey.scanLine(y);
        // Without a branch per pixel the loop vectorises: blue ^ green and green ^ red are
        // gathered over the row and looked at once it is done.
        QRgb differences = 0;
        for (int x = 0; x < w; ++x) {
            const QRgb c = in[x];
            differences |= (c ^ (c >> 8)) & 0xffffu;
            out[x] = uchar(c);
        }
        if (differences) return {};
    }
    return grey;
}

/// Grey bytes of an Indexed8 picture whose pixels all have grey palette colours; null when one
/// has not. The palette is read through Qt's own conversion, so each grey byte is what the RGB32
/// form would hold for that index.
QImage greyOfIndexed(const QImage& indexed) {
    QImage probe(256, 1, QImage::Format_Indexed8);
    probe.setColorTable(indexed.colorTable());
    for (int i = 0; i < 256; ++i)
        probe.scanLine(0)[i] = uchar(i);
    probe.convertTo(QImage::Format_RGB32);
    if (probe.isNull()) return {};
    const int used = int(indexed.colorCount());
    std::array<int, 256> greyOf{}; // -1: the index stands for a colour
    for (int i = 0; i < 256; ++i) {
        const QRgb c = reinterpret_cast<const QRgb*>(probe.constScanLine(0))[i];
        greyOf[size_t(i)] = i < used && isGreyColour(c) ? qBlue(c) : -1;
    }
    const int w = indexed.width();
    QImage grey(w, indexed.height(), QImage::Format_Grayscale8);
    if (grey.isNull()) return {};
    for (int y = 0; y < indexed.height(); ++y) {
        const uchar* in = indexed.constScanLine(y);
        uchar* out = grey.scanLine(y);
        for (int x = 0; x < w; ++x) {
            const int v = greyOf[in[x]];
            if (v < 0) return {};
            out[x] = uchar(v);
        }
    }
    return grey;
}

} // namespace

QImage colourPicture(QImage decoded) {
    if (decoded.format() != QImage::Format_RGB32) decoded.convertTo(QImage::Format_RGB32);
    return decoded.format() == QImage::Format_RGB32 ? decoded : QImage();
}

QImage heldPicture(QImage decoded) {
    switch (decoded.format()) {
    case QImage::Format_Grayscale8:
        return decoded;
    case QImage::Format_Grayscale16:
        // Qt takes 16-bit grey to 8 bits the same way whether the target is grey or RGB32.
        decoded.convertTo(QImage::Format_Grayscale8);
        return decoded.format() == QImage::Format_Grayscale8 ? decoded : QImage();
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
    case QImage::Format_Indexed8: {
        if (decoded.format() != QImage::Format_Indexed8) decoded.convertTo(QImage::Format_Indexed8);
        QImage grey = greyOfIndexed(decoded);
        return grey.isNull() ? colourPicture(std::move(decoded)) : grey;
    }
    default: {
        QImage colour = colourPicture(std::move(decoded));
        if (colour.isNull()) return {};
        QImage grey = greyOfRgb32(colour);
        return grey.isNull() ? colour : grey;
    }
    }
}

} // namespace vorlan
