#pragma once

// The observations of what was seen where: the one way the main window's report and a window-less
// run turn sightings into the lines for the Minor Planet Center.

#include "report/moverrows.h"
#include "report/mpcreport.h"
#include "report/reportsettings.h"

#include <QDateTime>
#include <QPointF>
#include <QVector>
#include <functional>
#include <optional>
#include <utility>

namespace vorlan {

/// A sighting: the slot it was seen in and where, picture 1's pixels.
using Sighting = std::pair<int, QPointF>;

/// Mid-exposure time (UTC) of a slot's picture, or none.
using TimeOfSlot = std::function<std::optional<QDateTime>(int slot)>;
/// Magnitude measured at a sighting, or none.
using MagnitudeOf = std::function<std::optional<double>(const Sighting&)>;

/// One observation a sighting whose slot has a time and whose place has a sky position, in
/// order; the others are left out. Designation and station from settings; a magnitude, when
/// magnitude gives one, in V (comparison stars' magnitudes are taken as visual, the band star
/// charts give).
QVector<Observation> sightingObservations(const QVector<Sighting>& sightings, const TimeOfSlot& time,
                                          const SkyOfPixel& sky, const ReportSettings& settings,
                                          const MagnitudeOf& magnitude = {});

/// The sightings of row of the list "Движущиеся объекты": every picture of a candidate, the one
/// picture of a flash. pictureSlots holds the slot of each picture of the search.
QVector<Sighting> rowSightings(const MovingSearchResult& result, const QVector<int>& pictureSlots,
                               const MoverRow& row);

} // namespace vorlan
