#pragma once

namespace vorlan {

/// Window size and place on load, in twips, for a screen of the given size in pixels.
struct LoadGeometry {
    float width, height, left, top;
};
LoadGeometry mainWindowLoadGeometry(int screenWidthPx, int screenHeightPx);

/// Placement of the panel and pan bars for a window of the given outer size in twips. All
/// results are pixels of the window's client area. vscrollHeightSet is false when the window
/// is too low (183 pixels or less) and the vertical bar keeps its height.
struct ResizeLayout {
    float W, H;
    float frameTop, frameLeft;
    float hscrollTop, hscrollLeft, hscrollWidth;
    float vscrollTop, vscrollLeft;
    bool vscrollHeightSet;
    float vscrollHeight;
};
ResizeLayout mainWindowResizeLayout(float widthTwips, float heightTwips);

} // namespace vorlan
