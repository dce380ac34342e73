#pragma once

// What the main window keeps of the moving-object search and of the spot the report is for.

#include "deep/deepplan.h"
#include "stars/movingsearch.h"

#include <QPointF>
#include <QVector>
#include <array>
#include <optional>
#include <utility>

namespace vorlan {

/// A spot picked with Shift + click: the slot clicked and the position in that picture's pixels.
struct PickedSpot {
    int slot = 1;
    QPointF pixel;
};

/// The sources of one slot's picture as the search found them, good while the slot shows the same
/// picture.
struct SlotStars {
    qint64 pictureKey = 0; ///< QImage::cacheKey of the picture they were found on
    StarList stars;
    std::optional<SimilarityTransform> toPicture1; ///< as the search refined it on the stars, when it did
};

struct MoverSession {
    MovingSearchResult result;
    QVector<int> pictureSlots; ///< the slot of each picture of the search (result positions are by picture)
    /// What the row chosen last in the list stands for: the slot and position in picture 1 of
    /// each sighting (every picture of a candidate, the one picture of a flash)
    QVector<std::pair<int, QPointF>> chosen;
    std::optional<PickedSpot> picked;              ///< the last Shift + click, when it came after the choice
    std::array<std::optional<SlotStars>, 3> stars; ///< by slot - 1
    /// The deep search the list shows instead of result, when it shows one, and its row chosen
    /// last (an index into its candidates; -1 for none or when a Shift + click came after).
    std::optional<DeepListed> deep;
    int deepChosen = -1;
};

} // namespace vorlan
