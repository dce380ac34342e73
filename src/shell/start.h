#pragma once

#include <cstdint>

namespace vorlan {

/// The entry procedure: makes the program's folder the current folder, sets the start values
/// of the shared state and shows the main window.
void Main();

/// Pans with an arrow key pressed on one of the routed controls of the main window: both pan
/// bars are disabled, the bar of the key moves by its SmallChange, both are enabled again.
/// keyCode is a virtual-key code (37..40 arrows); the key is not consumed.
void ScrollByArrowKey(int16_t keyCode);

} // namespace vorlan
