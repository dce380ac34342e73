#pragma once

// The rows of the list "Движущиеся объекты": what the window shows of each candidate and flash.

#include "sky/skywcs.h"
#include "stars/movingsearch.h"

#include <QPointF>
#include <QStringList>
#include <QVector>
#include <functional>
#include <optional>

namespace vorlan {

/// The columns of the list, in order.
QStringList moverColumnTitles();
/// The column of the known object a candidate is, the last: moverRows leaves it empty for
/// whoever knows the known objects to fill.
int knownObjectColumn();

struct MoverRow {
    QStringList cells;  ///< one text a column (moverColumnTitles)
    QPointF at;         ///< where to show it: picture 1's pixels
    int candidate = -1; ///< index into MovingSearchResult::movers; -1 for a flash
    int flash = -1;     ///< index into MovingSearchResult::flashes; -1 for a candidate
};

/// Sky position of a picture 1 pixel, or none (no sky solution in force).
using SkyOfPixel = std::function<std::optional<SkyCoord>(QPointF)>;

/// The first columns every row has: its number, its position in picture 1 (pixels to 0.1) and on
/// the sky as the report line writes it (empty without a sky solution).
QStringList placeCells(int number, QPointF at, const SkyOfPixel& sky);

/// One row a candidate, numbered from 1, then one a flash ("вспышка?" and the picture it is in):
/// its position in picture 1 (pixels to 0.1, and right ascension and declination as the report
/// line writes them when sky gives them), its motion in pixels per hour (or per picture; ", 2 из 3"
/// after it for an object one of three pictures could not show), its
/// direction in degrees clockwise from the picture's up, and its change of brightness from
/// picture 1 to the last picture in magnitudes.
QVector<MoverRow> moverRows(const MovingSearchResult& result, const SkyOfPixel& sky);

/// What the list's caption line says: how many candidates and flashes were found.
QString moverSummary(const MovingSearchResult& result);

} // namespace vorlan
