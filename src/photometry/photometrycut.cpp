#include "photometry/photometrycut.h"

#include "common/numberforms.h"
#include "view/picturerows.h"

#include <QPainter>
#include <cmath>
#include <cstring>

namespace vorlan {

namespace {

QImage maskOf(CutPixel fill) {
    QImage mask(CutSize, CutSize, QImage::Format_Grayscale8);
    mask.fill(fill);
    return mask;
}

} // namespace

PhotometryCut BlankCut() {
    QImage image(CutSize, CutSize, QImage::Format_RGB32);
    image.fill(Qt::white);
    return {image, maskOf(BlankPixel), QPointF()};
}

PhotometryCut CutFromPicture(const QImage& picture, int left, int top) {
    PhotometryCut cut{QImage(CutSize, CutSize, QImage::Format_RGB32), maskOf(OutsidePixel), QPointF()};
    cut.image.fill(NeutralColour);
    const QRect inside = QRect(left, top, CutSize, CutSize) & picture.rect();
    if (inside.isEmpty()) return cut;
    const int dx = inside.left() - left;
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        const int cy = y - top;
        pictureRow(picture, y)
            .copyColours(inside.left(), inside.width(), reinterpret_cast<QRgb*>(cut.image.scanLine(cy)) + dx);
        std::memset(cut.mask.scanLine(cy) + dx, SkyPixel, size_t(inside.width()));
    }
    return cut;
}

void DrawRestrictingRing(PhotometryCut& cut, QPoint centre, int radius) {
    auto ring = [&](QImage& target, const QColor& outer, const QColor& inner) {
        QPainter p(&target);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(outer, 4));
        p.drawEllipse(centre, radius, radius);
        p.setPen(QPen(inner, 2));
        p.drawEllipse(centre, radius, radius);
    };
    ring(cut.image, Qt::black, Qt::white);
    // The same strokes into a scratch mask: whatever the pen touched is ring.
    QImage touched(cut.mask.size(), QImage::Format_Grayscale8);
    touched.fill(0);
    ring(touched, Qt::white, Qt::white);
    for (int y = 0; y < CutSize; ++y) {
        const uchar* t = touched.constScanLine(y);
        uchar* m = cut.mask.scanLine(y);
        for (int x = 0; x < CutSize; ++x)
            if (t[x] && m[x] == SkyPixel) m[x] = RingPixel;
    }
}

std::optional<double> CentreDistancePercent(float cutX, float cutY, int x, int y, int frameW, int frameH,
                                            float displayScale) {
    if (!(displayScale > 0) || frameW <= 0 || frameH <= 0) return std::nullopt;
    const double px = double(cutX) - 200 + x;
    const double py = double(cutY) - 200 + y;
    const double cx = double(RoundHalfEven(frameW / 2.0 / displayScale));
    const double cy = double(RoundHalfEven(frameH / 2.0 / displayScale));
    const int64_t rd = RoundHalfEven(std::sqrt(cx * cx + cy * cy));
    const int64_t d = RoundHalfEven(std::sqrt((cx - px) * (cx - px) + (cy - py) * (cy - py)));
    if (rd == 0) return std::nullopt;
    return 100.0 - double(std::llabs(rd - d) * 100) / double(rd);
}

} // namespace vorlan
