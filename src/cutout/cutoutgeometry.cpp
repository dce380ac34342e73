#include "cutout/cutoutgeometry.h"

#include "common/numberforms.h"
#include "common/vorlanerror.h"
#include "view/twips.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace vorlan {

namespace {

/// One axis of a region: the spot in picture twips, the size in pixels, the picture's extent.
std::pair<int, int> regionAxis(float cut, int size, float extent) {
    // The spot in pixels is a 32-bit float quotient; the half size joins it in 64 bits.
    const double spot = double(toPixels(cut));
    const double lo = std::max(0.0, Int(spot - size / 2.0));
    const double hi = std::min(Int(spot + size / 2.0), Int(double(extent)));
    // Whole numbers already; a spot far beyond any picture overflows instead of wrapping.
    return {RoundToInt32(lo), RoundToInt32(hi)};
}

} // namespace

CutRegion cutRegion(float cutX, float cutY, int w, int h, float pictureWidth, float pictureHeight) {
    const auto [x0, x1] = regionAxis(cutX, w, pictureWidth);
    const auto [y0, y1] = regionAxis(cutY, h, pictureHeight);
    return {x0, x1, y0, y1};
}

CutLayout cutLayout(int pictureCount, int w, int h) {
    const int n = std::max(0, pictureCount);
    return {QSize(n * w + 30, h), QSize(n * w + 100, h + 230), w + 15};
}

int regionSize(const QString& text) {
    const double v = Int(LeadingNumber(text));
    return v >= 1 && v <= 1'000'000 ? int(v) : 0;
}

QImage newCanvas(QSize size) {
    if (size.isEmpty() || qint64(size.width()) * size.height() > MaxCanvasPixels) return {};
    try {
        QImage canvas(size, QImage::Format_RGB32);
        if (!canvas.isNull()) canvas.fill(CanvasBackground);
        return canvas;
    } catch (const std::bad_alloc&) {
        return {};
    }
}

int canvasBlock(float x, float canvasWidth, int pictureCount) {
    const float b = float(checkedDivide(canvasWidth, pictureCount));
    if (x < b) return 1;
    if (x < 2 * b) return 2;
    if (x < 3 * b) return 3;
    return 0;
}

double circleRadius(bool shift, int block, float displayScale, int bar1, int bar2) {
    if (shift) return checkedDivide(70.0, displayScale);
    if (block == 1) return 15.0;
    return checkedDivide(15.0 * bar1, bar2);
}

} // namespace vorlan
