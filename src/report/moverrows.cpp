#include "report/moverrows.h"

#include "report/mpcreport.h"

#include <cmath>

namespace vorlan {

namespace {

QString decimal(double v, int digits) {
    return QString::number(v, 'f', digits);
}

/// A change of brightness to 0.1 magnitude with its sign; none is "0.0".
QString magnitudeChange(double dm) {
    const double tenths = std::round(dm * 10);
    return (tenths > 0 ? QStringLiteral("+") : QString()) + decimal(tenths == 0 ? 0.0 : tenths / 10, 1);
}

} // namespace

QStringList placeCells(int number, QPointF at, const SkyOfPixel& sky) {
    QStringList cells{QString::number(number), decimal(at.x(), 1), decimal(at.y(), 1)};
    const std::optional<SkyCoord> c = sky ? sky(at) : std::nullopt;
    cells << (c ? mpcRightAscension(c->ra) : QString()) << (c ? mpcDeclination(c->dec) : QString());
    return cells;
}

QStringList moverColumnTitles() {
    return {QStringLiteral("№"),           QStringLiteral("X"),         QStringLiteral("Y"),
            QStringLiteral("α (J2000)"),   QStringLiteral("δ (J2000)"), QStringLiteral("Движение"),
            QStringLiteral("Направление"), QStringLiteral("Δm"),        QStringLiteral("Известный объект")};
}

int knownObjectColumn() {
    return int(moverColumnTitles().size()) - 1;
}

QVector<MoverRow> moverRows(const MovingSearchResult& result, const SkyOfPixel& sky) {
    QVector<MoverRow> rows;
    for (int i = 0; i < result.movers.size(); ++i) {
        const MovingCandidate& c = result.movers[i];
        MoverRow r{placeCells(rows.size() + 1, c.at[0], sky), c.at[0], i};
        // An object one picture could not show moves as the other two say: the motion tells so.
        r.cells << decimal(c.speed, 1) +
                       (c.perHour ? QStringLiteral(" пикс/ч") : QStringLiteral(" пикс/снимок")) +
                       (c.unseen >= 0 ? QStringLiteral(", 2 из 3") : QString())
                << QString::number(std::lround(c.directionDegrees) % 360) + QStringLiteral("°")
                << magnitudeChange(c.magnitudeDifference) << QString();
        rows << r;
    }
    for (int i = 0; i < result.flashes.size(); ++i) {
        const FlashCandidate& f = result.flashes[i];
        MoverRow r{placeCells(rows.size() + 1, f.at, sky), f.at, -1, i};
        r.cells << QStringLiteral("вспышка?") << QStringLiteral("снимок %1").arg(f.picture + 1) << QString()
                << QString();
        rows << r;
    }
    return rows;
}

QString moverSummary(const MovingSearchResult& result) {
    return QStringLiteral("Кандидатов: %1, вспышек: %2").arg(result.movers.size()).arg(result.flashes.size());
}

} // namespace vorlan
