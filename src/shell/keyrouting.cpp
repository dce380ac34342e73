#include "shell/keyrouting.h"

namespace vorlan {

char arrowKeyBar(int16_t key) {
    switch (key) {
    case KeyLeft:
    case KeyRight: return 'h';
    case KeyUp:
    case KeyDown: return 'v';
    default: return 0;
    }
}

std::optional<int> arrowKeyValue(int16_t key, int v, int step, int max) {
    switch (key) {
    case KeyLeft:
        if (v > step) return v - step;
        return std::nullopt;
    case KeyUp:
        return v > step ? v - step : 0;
    case KeyRight:
        return v + step >= max ? max : v + step;
    case KeyDown:
        if (v + step < max) return v + step;
        return std::nullopt;
    default: return std::nullopt;
    }
}

} // namespace vorlan
