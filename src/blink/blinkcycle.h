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
/// a third picture blink pictures 1 and 2. (The tick goes round it by nextBlinkPhase, blinkshare.h.)
QVector<BlinkView> blinkCycleOf(BlinkSet set, bool difference, bool thirdLoaded);

} // namespace vorlan
