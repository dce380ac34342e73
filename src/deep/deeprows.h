#pragma once

// The deep search's candidates as rows of the list "Движущиеся объекты".

#include "deep/deepsearch.h"
#include "report/moverrows.h"

namespace vorlan {

/// One row a candidate, numbered from 1, in the list's columns: its place at the series' mid-time
/// (reference pixels, and on the sky when sky gives it), its motion in pixels per hour marked
/// "глубокий поиск" with the stacked signal-to-noise, its direction in degrees clockwise from up;
/// no change of brightness (one stack holds it). MoverRow::candidate indexes result.candidates.
QVector<MoverRow> deepMoverRows(const DeepSearchResult& result, const SkyOfPixel& sky);

} // namespace vorlan
