#pragma once

// What the main window keeps of the moving-object search and of the spot the report is for.

#include "stars/movingsearch.h"

#include <QPointF>
#include <QVector>
#include <optional>

namespace vorlan {

/// A spot picked with Shift + click: the slot clicked and the position in that picture's pixels.
struct PickedSpot {
    int slot = 1;
    QPointF pixel;
};

struct MoverSession {
    MovingSearchResult result;
    QVector<int> pictureSlots;      ///< the slot of each picture of the search (result positions are by picture)
    int chosenCandidate = -1;  ///< the candidate chosen last in the list, -1 for none
    std::optional<PickedSpot> picked; ///< the last Shift + click, when it came after the choice
};

} // namespace vorlan
