#pragma once

#include <cstdint>
#include <optional>

namespace vorlan {

/// Virtual-key codes of the arrow keys.
enum ArrowKey : int16_t { KeyLeft = 37, KeyUp = 38, KeyRight = 39, KeyDown = 40 };

/// Which pan bar an arrow key moves: 'h' for HScroll1 (Left, Right), 'v' for VScroll1 (Up,
/// Down), 0 for any other key.
char arrowKeyBar(int16_t key);

/// The new Value of the bar that key moves, from its current value v, the step (SmallChange or
/// LargeChange) and its Max; nothing when the bar keeps its value. Left only subtracts when
/// v > step; Up goes to 0 otherwise; Right goes to Max when v + step reaches it; Down only adds
/// while v + step stays below Max. All values are integers of the bar, unitless.
std::optional<int> arrowKeyValue(int16_t key, int v, int step, int max);

} // namespace vorlan
