#include "deep/deeprows.h"

#include <cmath>

namespace vorlan {

QVector<MoverRow> deepMoverRows(const DeepSearchResult& result, const SkyOfPixel& sky) {
    QVector<MoverRow> rows;
    for (int i = 0; i < result.candidates.size(); ++i) {
        const DeepCandidate& c = result.candidates[i];
        MoverRow r{placeCells(i + 1, c.at, sky), c.at, i};
        r.cells << QStringLiteral("%1 пикс/ч, глубокий поиск, ОСШ %2")
                       .arg(QString::number(c.pixelsPerHour(), 'f', 1), QString::number(c.snr, 'f', 1))
                << QString::number(std::lround(c.directionDegrees()) % 360) + QStringLiteral("°") << QString()
                << QString();
        rows << r;
    }
    return rows;
}

} // namespace vorlan
