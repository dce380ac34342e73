#include "registration/pictureturn.h"

#include "common/jobrunner.h"

#include <algorithm>
#include <cmath>

namespace vorlan {

QString turnedTooLargeReason(QSize size) {
    return QStringLiteral("Повёрнутый снимок %1 x %2 пикселей не помещается в памяти.")
        .arg(size.width())
        .arg(size.height());
}

bool needsTurn(const SimilarityTransform& toPicture1) {
    return toPicture1.mirrored || std::abs(toPicture1.turnDegrees()) > LeastShownTurnDegrees;
}

PictureTurn pictureTurn(const SimilarityTransform& toPicture1, QSize size) {
    PictureTurn turn;
    SimilarityTransform& u = turn.toShown;
    const double angle = toPicture1.turnRadians();
    u.a = std::cos(angle);
    u.b = std::sin(angle);
    u.mirrored = toPicture1.mirrored;
    double minX = HUGE_VAL, minY = HUGE_VAL, maxX = -HUGE_VAL, maxY = -HUGE_VAL;
    for (const QPointF corner : {QPointF(0, 0), QPointF(size.width(), 0), QPointF(0, size.height()),
                                 QPointF(size.width(), size.height())}) {
        const QPointF p = u.map(corner);
        minX = std::min(minX, p.x());
        minY = std::min(minY, p.y());
        maxX = std::max(maxX, p.x());
        maxY = std::max(maxY, p.y());
    }
    u.tx = -minX;
    u.ty = -minY;
    // A quarter turn leaves the box a hair over whole pixels; that hair is no pixel of its own.
    turn.size = QSize(int(std::ceil(maxX - minX - 1e-6)), int(std::ceil(maxY - minY - 1e-6)));
    return turn;
}

namespace {

/// The columns i (0 <= i < n) for which lo <= start + i * step <= hi, as [first, last]; first > last
/// when there are none.
void clipColumns(double start, double step, double lo, double hi, int n, int& first, int& last) {
    constexpr double Slack = 1e-9;
    if (std::abs(step) < 1e-15) {
        if (start < lo - Slack || start > hi + Slack) last = first - 1;
        return;
    }
    double a = (lo - start) / step, b = (hi - start) / step;
    if (a > b) std::swap(a, b);
    first = std::max(first, int(std::ceil(std::max(a - Slack, -1.0))));
    last = std::min(last, int(std::floor(std::min(b + Slack, double(n)))));
}

/// Bilinear weights in fixed point: fractions in 1/1024, products in 1/2^20.
constexpr int WeightBits = 10;
constexpr int WeightOne = 1 << WeightBits;

inline int mix(int topLeft, int topRight, int bottomLeft, int bottomRight, int fx, int fy) {
    const int top = topLeft * (WeightOne - fx) + topRight * fx;
    const int bottom = bottomLeft * (WeightOne - fx) + bottomRight * fx;
    return (top * (WeightOne - fy) + bottom * fy + (1 << (2 * WeightBits - 1))) >> (2 * WeightBits);
}

} // namespace

QImage turnPicture(const QImage& picture, const PictureTurn& turn, JobControl* control, const QString& what) {
    const bool grey = picture.format() == QImage::Format_Grayscale8;
    QImage out(turn.size, grey ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
    if (out.isNull() || picture.isNull()) return QImage();
    out.fill(grey ? 0u : 0xff000000u);
    const int w = picture.width(), h = picture.height();
    const int ow = out.width(), oh = out.height();
    // The last pixel pair a sample may straddle: a one-pixel-wide picture has only the one.
    const int lastX = std::max(0, w - 2), lastY = std::max(0, h - 2);
    const SimilarityTransform back = turn.toShown.inverted();
    // Along an output row the source position moves by the first column of the inverse.
    const double stepX = back.a, stepY = back.b;
    for (int j = 0; j < oh; ++j) {
        const QPointF start = back.map(QPointF(0.5, j + 0.5));
        int first = 0, last = ow - 1;
        clipColumns(start.x(), stepX, 0, w, ow, first, last);
        clipColumns(start.y(), stepY, 0, h, ow, first, last);
        uchar* line = out.scanLine(j);
        for (int i = first; i <= last; ++i) {
            // Continuous position less half a pixel: the sample's place among pixel centres.
            const double sx = std::clamp(start.x() + i * stepX - 0.5, 0.0, double(w - 1));
            const double sy = std::clamp(start.y() + i * stepY - 0.5, 0.0, double(h - 1));
            const int x0 = std::min(int(sx), lastX), y0 = std::min(int(sy), lastY);
            const int fx = int((sx - x0) * WeightOne + 0.5), fy = int((sy - y0) * WeightOne + 0.5);
            const int x1 = std::min(x0 + 1, w - 1), y1 = std::min(y0 + 1, h - 1);
            const uchar* r0 = picture.constScanLine(y0);
            const uchar* r1 = picture.constScanLine(y1);
            if (grey) {
                line[i] = uchar(mix(r0[x0], r0[x1], r1[x0], r1[x1], fx, fy));
                continue;
            }
            const QRgb a = reinterpret_cast<const QRgb*>(r0)[x0], b = reinterpret_cast<const QRgb*>(r0)[x1];
            const QRgb c = reinterpret_cast<const QRgb*>(r1)[x0], d = reinterpret_cast<const QRgb*>(r1)[x1];
            reinterpret_cast<QRgb*>(line)[i] = qRgb(mix(qRed(a), qRed(b), qRed(c), qRed(d), fx, fy),
                                                    mix(qGreen(a), qGreen(b), qGreen(c), qGreen(d), fx, fy),
                                                    mix(qBlue(a), qBlue(b), qBlue(c), qBlue(d), fx, fy));
        }
        if (control) {
            control->progress(j + 1, oh, what);
            if (control->stopRequested()) return QImage();
        }
    }
    return out;
}

} // namespace vorlan
