#pragma once

// Window layouts, mouse positions and the points a project file keeps are measured in twips, 15
// to a screen pixel at display scale 1. The factor lives here alone: whoever needs to go between
// twips and pixels goes through these helpers.

#include <QPointF>

namespace vorlan {

inline constexpr int TwipsPerPixel = 15;

constexpr int toTwips(int pixels) {
    return pixels * TwipsPerPixel;
}
constexpr float toTwips(float pixels) {
    return pixels * float(TwipsPerPixel);
}
constexpr double toTwips(double pixels) {
    return pixels * double(TwipsPerPixel);
}
inline QPointF toTwips(QPointF pixels) {
    return pixels * double(TwipsPerPixel);
}

constexpr float toPixels(float twips) {
    return twips / float(TwipsPerPixel);
}
constexpr double toPixels(double twips) {
    return twips / double(TwipsPerPixel);
}
inline QPointF toPixels(QPointF twips) {
    return twips / double(TwipsPerPixel);
}

} // namespace vorlan
