#include "blink/blinkshare.h"

#include <algorithm>
#include <cmath>

namespace vorlan {

int nextBlinkPhase(int phase, int phaseCount) {
    return phase >= 1 && phase < phaseCount ? phase + 1 : 1;
}

QRect sharedRegion(const QRect& area, std::optional<QPointF> boxCentre) {
    if (!boxCentre) return area;
    const QRect square(int(std::floor(boxCentre->x())) - 100, int(std::floor(boxCentre->y())) - 100, 200,
                       200);
    return square & area;
}

int gifDelayCentiseconds(int intervalMs) {
    return std::max(1, int(std::lround(intervalMs / 10.0)));
}

QString withGifSuffix(const QString& path) {
    if (path.endsWith(QStringLiteral(".gif"), Qt::CaseInsensitive)) return path;
    return path + QStringLiteral(".gif");
}

} // namespace vorlan
