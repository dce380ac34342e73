#include "view/pangeometry.h"

#include "common/numberforms.h"
#include "view/twips.h"

#include <algorithm>
#include <cmath>

namespace vorlan {

LoadPanSetup loadPanSetup(float pictureWidth, float pictureHeight, int barWidth, int barHeight) {
    LoadPanSetup s{};
    s.dx = pictureWidth - float(barWidth);
    s.dy = pictureHeight - float(barHeight);
    s.tooBig = s.dx > 32000.0f || s.dy > 32000.0f;
    if (s.tooBig)
        return s;
    s.maxH = int(RoundHalfEven(s.dx));
    s.maxV = int(RoundHalfEven(s.dy));
    // Large step half the visible width (height), small step a quarter.
    const float a = pictureWidth * (float(barWidth) / 2.0f / pictureWidth);
    s.largeH = int(Int(a));
    s.smallH = int(Int(a / 2.0f));
    const float b = pictureHeight * (float(barHeight) / 2.0f / pictureHeight);
    s.largeV = int(Int(b));
    s.smallV = int(Int(b / 2.0f));
    return s;
}

RescaleGeometry rescaleGeometry(float oldScale, float newScale, float left, float top, float point1X, float point1Y,
                                float pictureWidth, float pictureHeight) {
    RescaleGeometry g{};
    if (oldScale == 0.0f) {
        // Nothing to keep in place: the frame keeps its corner.
        g.left = left;
        g.top = top;
    } else {
        const float a = oldScale * point1X;
        const float b = oldScale * point1Y;
        g.left = left - toPixels(newScale / oldScale * a - a);
        g.top = top - toPixels(newScale / oldScale * b - b);
    }
    g.width = int(Int(pictureWidth * newScale));
    g.height = int(Int(pictureHeight * newScale));
    return g;
}

RescalePanSetup rescalePanSetup(int frameWidth, int frameHeight, float imageLeft, float imageTop, int barWidth,
                                int barHeight) {
    RescalePanSetup s{};
    float mx = float(frameWidth - barWidth);
    if (imageLeft > 0) mx += imageLeft;
    float my = float(frameHeight - barHeight);
    if (imageTop > 0) my += imageTop;
    s.maxH = int(RoundHalfEven(std::fabs(mx)));
    s.maxV = int(RoundHalfEven(std::fabs(my)));
    s.setH = std::fabs(mx) > std::fabs(imageLeft);
    s.valueH = int(RoundHalfEven(std::fabs(imageLeft)));
    s.setV = std::fabs(my) > std::fabs(imageTop);
    s.valueV = int(RoundHalfEven(std::fabs(imageTop)));
    s.largeH = int(Int(barWidth / 2.0));
    s.smallH = int(Int(barWidth / 2.0 / 4.0));
    s.largeV = int(Int(barHeight / 2.0));
    s.smallV = int(Int(barHeight / 2.0 / 4.0));
    return s;
}

int overallSliderValue(float displayScale, float overallScale, int minValue, int maxValue) {
    const float v = displayScale * overallScale * 1000.0f;
    const double clamped = std::clamp(double(v), double(minValue), double(maxValue));
    return int(RoundHalfEven(clamped));
}

} // namespace vorlan
