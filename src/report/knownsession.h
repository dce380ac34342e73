#pragma once

// What the main window keeps of the known objects: the orbits read, and the objects found on
// picture 1 for its current picture, sky solution and time.

#include "report/knownobjects.h"

#include <QPointer>
#include <QStringList>
#include <array>
#include <memory>
#include <vector>

namespace vorlan {

class KnownOverlay;

struct KnownSession {
    std::shared_ptr<const std::vector<OrbitRecord>> orbits;
    QStringList orbitsFrom; ///< the files orbits were read from
    int skipped = 0;        ///< damaged lines of those files
    std::vector<KnownObject> known;
    /// The same objects where they stand at the mid-times of stacks 2 and 3, when the pictures are
    /// stacks of a series (all on picture 1's pixels): the circles follow the blink.
    std::array<std::vector<KnownObject>, 2> onStacks;
    QString limitNote; ///< the magnitude limit known holds to, and where it came from
    QString knownFor; ///< what known was found for: picture, sky solution, time, settings
    QPointer<KnownOverlay> overlay;
    std::array<QPointer<KnownOverlay>, 2> stackOverlays;
};

} // namespace vorlan
