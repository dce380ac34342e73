#pragma once

#include <QStringList>
#include <cstdint>

namespace vorlan {

/// The entry procedure: makes the program's folder the current folder, sets the start values
/// of the shared state and shows the main window; then, once events run, opens the given files
/// (full paths) as the menus would, or as the frames of a series.
void Main(const QStringList& files = {}, bool series = false);

/// Pans with an arrow key pressed on one of the routed controls of the main window: both pan
/// bars are disabled, the bar of the key moves by its SmallChange, both are enabled again.
/// keyCode is a virtual-key code (37..40 arrows); the key is not consumed.
void ScrollByArrowKey(int16_t keyCode);

} // namespace vorlan
