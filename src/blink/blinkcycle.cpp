#include "blink/blinkcycle.h"

namespace vorlan {

QVector<BlinkView> blinkCycleOf(BlinkSet set, bool difference, bool thirdLoaded) {
    QVector<BlinkView> cycle{{1, false}};
    auto partner = [&](int k) { cycle.append({k, difference}); };
    switch (set) {
    case BlinkSet::OneTwo: partner(2); break;
    case BlinkSet::OneThree: partner(3); break;
    case BlinkSet::OneTwoThree:
        partner(2);
        if (thirdLoaded) partner(3);
        break;
    }
    return cycle;
}

} // namespace vorlan
