#include "blink/markerbox.h"

namespace vorlan {

std::array<QLineF, 6> markerBoxLines(float c, float r) {
    std::array<QLineF, 6> l;
    l[0] = QLineF(c - 100, r - 100, c + 100, r - 100);
    // Each whisker hangs off the first end of the line placed just before it.
    l[4] = QLineF(l[0].x1() - 100, l[0].y1() + 100, l[0].x1(), l[0].y1() + 100);
    l[1] = QLineF(c + 100, r - 100, c + 100, r + 100);
    l[5] = QLineF(l[1].x1(), l[1].y1() + 100, l[1].x1() + 100, l[1].y1() + 100);
    l[2] = QLineF(c + 100, r + 100, c - 100, r + 100);
    l[3] = QLineF(c - 100, r + 100, c - 100, r - 100);
    return l;
}

} // namespace vorlan
