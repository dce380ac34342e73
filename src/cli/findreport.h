#pragma once

// What `vorlan find` and `vorlan known` write to standard output, for people (the rows of the
// list "Движущиеся объекты", the 80-column lines) and for programs (ADES, CSV, JSON).

#include "report/knownobjects.h"
#include "report/moverrows.h"
#include "report/mpcreport.h"

#include <QString>
#include <QVector>
#include <vector>

namespace vorlan {

/// A moving object found, with everything a report says of it.
struct FoundObject {
    MoverRow row;                      ///< as the list shows it, the known object's column filled
    MovingCandidate candidate;         ///< positions in picture 1's pixels
    QVector<Observation> observations; ///< one a picture with a time and a sky place, in order
    QString known;                     ///< the known object it is ("(433)"); empty when none
};

/// The observer's designation of the i-th object (from 0): base for the first, then its trailing
/// number counted on in the same width ("VRL0001", "VRL0002"), or a number appended when base
/// ends in none.
QString numberedDesignation(const QString& base, int i);

/// found in format: "list" (a row's cells, tab separated), "mpc" (the
/// 80-column lines), "ades" (a complete PSV submission), "csv" (a header line, then one line an
/// object: its place in picture 1) or "json" (an array, one object each with every position).
/// Pixels are picture 1's, x right and y down from its top-left corner; RA and Dec J2000 degrees.
QString findReport(const QString& format, const QVector<FoundObject>& found, const AdesContext& context);

/// The known objects of a field in format: "list" (as the window lists them), "csv" or "json"
/// (designation, RA and Dec in degrees, pixels, V, motion in arc-seconds a minute).
QString knownReport(const QString& format, const std::vector<KnownObject>& known);

} // namespace vorlan
