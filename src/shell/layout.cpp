#include "shell/layout.h"
#include "view/twips.h"

namespace vorlan {

LoadGeometry mainWindowLoadGeometry(int screenWidthPx, int screenHeightPx) {
    LoadGeometry g;
    g.width = toTwips(float(screenWidthPx)) - 200.0f;
    g.height = toTwips(float(screenHeightPx)) - 500.0f;
    g.top = 50;
    g.left = 50;
    return g;
}

ResizeLayout mainWindowResizeLayout(float widthTwips, float heightTwips) {
    // 113: caption, menu and borders; 50: margin; 15: the horizontal bar above the panel;
    // 25: the vertical bar at the right.
    ResizeLayout l{};
    l.W = toPixels(widthTwips);
    l.H = toPixels(heightTwips);
    l.frameTop = l.H - 113 - 50;
    l.frameLeft = 0;
    l.hscrollTop = l.H - 113 - 50 - 15;
    l.hscrollLeft = 0;
    l.hscrollWidth = l.W - 25;
    l.vscrollTop = 0;
    l.vscrollLeft = l.W - 25;
    l.vscrollHeightSet = l.H - 113 - 50 - 20 > 0;
    l.vscrollHeight = l.vscrollHeightSet ? l.H - 113 - 50 - 20 : 0;
    return l;
}

} // namespace vorlan
