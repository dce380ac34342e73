#pragma once

// What the main window shows of a series: the registered frames and the stacking that made the
// pictures in its slots, kept so that another grouping, another motion or a saved project
// stacks again without registering again.

#include "series/seriesstack.h"

#include <QDateTime>
#include <QPointF>
#include <QString>
#include <array>
#include <optional>

namespace vorlan {

/// A series and the stacking chosen for it.
struct StoredSeries {
    SeriesRegistration registration;
    int groups = 3;
    StackCombine combine = StackCombine::ClippedMean;
    /// The motion the shown stacks were stacked along, and whether all of them were (else picture 3 only).
    std::optional<SeriesMotion> motion;
    bool motionForAll = false;

    /// The file of the reference frame, whose pixels every stack is on; empty when there is none.
    QString referencePath() const {
        return registration.reference < 0 ? QString() : registration.frames[registration.reference].path;
    }
};

/// A stack as a slot of the main window shows it.
struct StackInSlot {
    QString caption;                  ///< "стопка k: N кадров, ..." (stackCaption)
    std::optional<QDateTime> midTime; ///< the stack's observation time, UTC
};

/// The series behind the pictures of the main window; a slot that holds no stack has none.
struct ShownSeries {
    StoredSeries series;
    std::array<std::optional<StackInSlot>, 3> stacks; ///< by slot - 1
    /// The object as Shift + clicks put it on stacks 1 and 3 (picture pixels), for the next
    /// "Сложить по движению...".
    std::array<std::optional<QPointF>, 2> motionClicks;
};

} // namespace vorlan
