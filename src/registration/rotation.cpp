#include "registration/rotation.h"

#include "common/jobrunner.h"
#include "common/numberforms.h"
#include "sky/skymath.h"
#include "view/picturerows.h"

#include <cmath>
#include <vector>

namespace vorlan {

float rotationAngle(const PointPair& picture1, const PointPair& target) {
    // One output for both directions: a pair without a direction keeps the one before it.
    double angle = 0;
    DirectionAngle(double(picture1.y2 - picture1.y1), double(picture1.x2 - picture1.x1), angle);
    const float a1 = float(angle);
    DirectionAngle(double(target.y2 - target.y1), double(target.x2 - target.x1), angle);
    const float a2 = float(angle);
    float d = a2 - a1;
    while (std::fabs(d) > 3.1415927f)
        d = float(double(d) - (d > 0 ? 1 : -1) * sky::TwoPi);
    return d;
}

QString rotationAnnouncement(float angle) {
    return QStringLiteral("выполняется поворот на угол ") +
           PatternForm(double(angle) * sky::DegPerRad, QStringLiteral("0.00")) + QStringLiteral("°");
}

QString rotationProgress(float row, float lastRow) {
    const float p = row / lastRow * 100.0f;
    return QStringLiteral("выполнено = ") + PatternForm(double(p), QStringLiteral("00.0")) +
           QStringLiteral("%");
}

QSize rotatedCanvasSize(int w, int h, float angle) {
    const double c = std::fabs(std::cos(double(angle)));
    const double s = std::fabs(std::sin(double(angle)));
    // A turn by a float ±90° leaves |cos| at 4e-8: rounding, not ceiling, keeps the H x W canvas.
    return {int(RoundHalfEven(w * c + h * s)), int(RoundHalfEven(h * c + w * s))};
}

RotationGeometry rotationGeometry(int w, int h, float angle) {
    RotationGeometry g;
    g.width = w;
    g.height = h;
    g.canvas = rotatedCanvasSize(w, h, angle);
    g.cx = w / 2.0;
    g.cy = h / 2.0;
    g.ncx = g.canvas.width() / 2.0;
    g.ncy = g.canvas.height() / 2.0;
    g.cosD = std::cos(double(angle));
    g.sinD = std::sin(double(angle));
    // A quarter or half turn held in a 32-bit float is off by up to 4E-8 rad. That moves no
    // pixel, but it tips floored positions that fall exactly on whole numbers to one side over
    // part of the picture and leaves a seam; so the turn is taken as the exact one it stands for.
    auto snap = [](double& v) {
        if (std::fabs(v) < 1e-6)
            v = 0;
        else if (std::fabs(std::fabs(v) - 1) < 1e-12)
            v = v > 0 ? 1 : -1;
    };
    snap(g.cosD);
    snap(g.sinD);
    return g;
}

namespace {

/// Floor for values well inside the int range, without a library call.
inline int floorInt(double v) {
    const int i = int(v);
    return v < i ? i - 1 : i;
}

} // namespace

void rotateRow(const QImage& src, QImage& canvas, const RotationGeometry& g, int y) {
    const int w = src.width();
    const int h = src.height();
    // A grey picture's rows are turned into colours once per row, not four times per pixel.
    thread_local std::vector<QRgb> greyRows[2];
    auto rgbRow = [&](int sy, std::vector<QRgb>& buffer) -> const QRgb* {
        if (sy >= h) return nullptr;
        const PictureRow row = pictureRow(src, sy);
        if (row.rgb) return row.rgb;
        buffer.resize(size_t(w));
        row.copyColours(0, w, buffer.data());
        return buffer.data();
    };
    const QRgb* row0 = rgbRow(y, greyRows[0]);
    const QRgb* row1 = rgbRow(y + 1, greyRows[1]);
    uchar* bits = canvas.bits();
    const qsizetype bpl = canvas.bytesPerLine();
    const unsigned cw = unsigned(canvas.width());
    const unsigned ch = unsigned(canvas.height());
    auto line = [bits, bpl](int py) { return reinterpret_cast<QRgb*>(bits + py * bpl); };

    // Along a row dy is fixed, so the matrix reduces to a start value plus x times cos and sin.
    const double dy = g.cy - y;
    const double ax = g.ncx - g.cx * g.cosD - dy * g.sinD;
    const double ay = g.ncy + g.cx * g.sinD - dy * g.cosD;

    // Inner positions have all four source pixels; the last column and row miss some.
    const int inner = row0 && row1 ? w - 1 : 0;
    int x = 0;
    for (; x < inner; ++x) {
        const int nx = floorInt(ax + x * g.cosD);
        const int ny = floorInt(ay - x * g.sinD);
        if (unsigned(nx) < cw - 1 && unsigned(ny) < ch - 1) {
            QRgb* top = line(ny) + nx;
            QRgb* bottom = line(ny + 1) + nx;
            top[0] = row0[x];
            top[1] = row0[x + 1];
            bottom[1] = row1[x + 1];
            bottom[0] = row1[x];
            continue;
        }
        auto put = [&](int px, int py, QRgb c) {
            if (unsigned(px) < cw && unsigned(py) < ch) line(py)[px] = c;
        };
        put(nx, ny, row0[x]);
        put(nx + 1, ny, row0[x + 1]);
        put(nx + 1, ny + 1, row1[x + 1]);
        put(nx, ny + 1, row1[x]);
    }
    for (; x <= w; ++x) {
        const int nx = floorInt(ax + x * g.cosD);
        const int ny = floorInt(ay - x * g.sinD);
        auto put = [&](int px, int py, const QRgb* row, int sx) {
            if (row && sx < w && unsigned(px) < cw && unsigned(py) < ch) line(py)[px] = row[sx];
        };
        put(nx, ny, row0, x);
        put(nx + 1, ny, row0, x + 1);
        put(nx + 1, ny + 1, row1, x + 1);
        put(nx, ny + 1, row1, x);
    }
}

int rotatePicture(const QImage& src, QImage& canvas, const RotationGeometry& g, JobControl& control) {
    const int lastRow = src.height();
    int y = 0;
    for (;; ++y) {
        rotateRow(src, canvas, g, y);
        control.progress(y, lastRow, rotationProgress(float(y), float(lastRow)));
        if (y == lastRow || control.takeStopRequest()) break;
    }
    return y;
}

} // namespace vorlan
