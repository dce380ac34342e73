#pragma once

// A series of frames in a project file, after line 34 like the other extension lines
// (projectlayout.h), so that reopening the project stacks the frames again without registering
// them again. The series is the lines
//
//     Серия: R G среднее|медиана
//     Кадр N: STATE TIME EXPOSURE WIDTH HEIGHT STARS MATCHED RESIDUAL A B TX TY ORIENT SOURCE PATH
//     Причина N: text
//     Движение серии: SPEED DIRECTION 3|все
//
// R is the reference frame and N a frame, both counted from 1 in the order the frames were
// given; G the groups (1..3). STATE is "взят" (stacked), "снят" (left out by the user) or "брак"
// (not registered: its reason follows on its "Причина" line). TIME is the mid-exposure in UTC
// (ISO 8601 with milliseconds) or "-"; A B TX TY the frame's pixels -> the reference frame's
// pixels as on a "Совмещение" line, ORIENT "прямо" or "зеркально", SOURCE "звёзды" or "небо";
// a frame not registered has "-" for each of them. The path is the rest of the line. The motion
// line says the stacking along a motion the pictures showed: pixels per hour, degrees clockwise
// from up, and whether it made picture 3 or all three.

#include "common/outcome.h"
#include "series/shownseries.h"

#include <QList>
#include <QStringList>
#include <optional>
#include <utility>

namespace vorlan {

/// The lines for a series, in the order above.
QStringList seriesLines(const StoredSeries& series);

/// The series among the extension lines; none when they hold no sound "Серия" line, or one of its
/// frames' lines cannot be read (then damagedSeriesLines names it).
std::optional<StoredSeries> readSeriesLines(const QStringList& extensionLines);

/// The series lines among the extension lines that cannot be read: index into the list and why.
QList<std::pair<int, Failure>> damagedSeriesLines(const QStringList& extensionLines);

} // namespace vorlan
