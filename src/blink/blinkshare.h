#pragma once

// The arithmetic of sharing what blinks: which part of the picture area goes into the GIF or onto
// the clipboard, how the blink interval becomes a GIF delay, and how the phase moves on.

#include <QPointF>
#include <QRect>
#include <QString>
#include <optional>

namespace vorlan {

/// The phase after `phase` in a cycle of `phaseCount` phases (1 to phaseCount); a phase beyond
/// the cycle (0 at start, or left from a longer cycle) goes on with phase 1.
int nextBlinkPhase(int phase, int phaseCount);

/// The part of the picture area that is shared, in pixels of the picture area (`area` is its
/// rectangle, from (0, 0)): the whole area, or, while the marker box is drawn around boxCentre,
/// its 200 x 200 square, from its left and top sides up to its right and bottom ones (the sides
/// stand on the pixels their coordinates fall in), clipped to the area. Empty when the box lies
/// wholly outside the area.
QRect sharedRegion(const QRect& area, std::optional<QPointF> boxCentre);

/// The delay of a GIF frame in hundredths of a second for a blink interval in milliseconds,
/// rounded to the nearest; at least 1, since browsers show a delay of 0 as fast as they can.
int gifDelayCentiseconds(int intervalMs);

/// The file name with ".gif" added unless it already ends in ".gif" (in any case): a name such
/// as "m45.png" gets it too, so the file is never taken for a picture of another format.
QString withGifSuffix(const QString& path);

} // namespace vorlan
