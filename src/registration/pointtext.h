#pragma once

#include "view/twips.h"

#include <QString>

namespace vorlan {

/// The caption of a reference point: Int(x), two blanks, Int(y) (floor, no leading blanks),
/// for example "1234  567". x, y in picture twips.
QString pointText(float x, float y);

/// A point counts as marked when its caption has at least 7 characters.
inline bool isMarked(const QString& text) { return text.size() >= 7; }

/// Where point 1 of a slot is drawn in the picture area, pixels: the frame's offset plus the
/// point (picture twips) times the display scale, in pixels.
inline float drawnX(float scale, float pointX, float imageLeft) {
    return toPixels(scale * pointX) + imageLeft;
}
inline float drawnY(float scale, float pointY, float imageTop) {
    return toPixels(pointY * scale) + imageTop;
}

} // namespace vorlan
