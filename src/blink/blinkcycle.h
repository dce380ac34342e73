#pragma once

// Which pictures one blink cycle shows, phase by phase, as the "Vorlan" menu sets it. Both the
// timer tick and whatever records the blink (an animated GIF) take the phases from here.

#include <QVector>

namespace vorlan {

/// Which pictures blink: a pair with picture 1, or all three in turn.
enum class BlinkSet { OneTwo, OneThree, OneTwoThree };

/// What one phase shows: the picture of a slot, or (difference) the difference of that slot's
/// picture with picture 1, drawn where picture 1 lies.
struct BlinkView {
    int slot = 1;
    bool difference = false;
    bool operator==(const BlinkView&) const = default;
};

/// The phases of one cycle, phase 1 first: picture 1, then its partner or partners in slot order.
/// With the difference on each partner shows as its difference with picture 1. All three without
/// a third picture blink pictures 1 and 2.
QVector<BlinkView> blinkCycleOf(BlinkSet set, bool difference, bool thirdLoaded);

/// The phase after `phase` in a cycle of `phaseCount` phases (1 to phaseCount); a phase beyond
/// the cycle (0 at start, or left from a longer cycle) goes on with phase 1.
int nextBlinkPhase(int phase, int phaseCount);

} // namespace vorlan
