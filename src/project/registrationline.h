#pragma once

// The automatic registration of a picture in a project file.
//
// A project file holds its 34 lines first, as every reader of them expects. What the 34 lines
// cannot say follows them as extension lines (projectlayout.h), one fact a line, each line opened
// by a keyword of its own, so that a reader that stops after line 34 never sees them, and a
// reader that knows some keywords passes over the lines of the others (and lines it cannot read). The registration of picture k
// (2 or 3) on picture 1 is the line
//
//     Совмещение k: a b tx ty
//     Совмещение k: a b tx ty зеркально
//
// with the similarity transform from picture k's pixels to picture 1's pixels (continuous
// pixels, the centre of the top-left pixel at (0.5, 0.5)):
//
//     x1 = a * x - b * m * y + tx,   y1 = b * x + a * m * y + ty,   m = -1 after "зеркально", else 1
//
// so its turn is atan2(b, a), clockwise on the screen, and its scale hypot(a, b). Numbers are
// written with "." and up to 12 significant digits; the words are separated by single blanks.
// On reading, a picture whose registration turns or mirrors it is shown turned again; its
// display scale and position come from the 34 lines and the overlay as always.

#include "common/outcome.h"
#include "stars/starlist.h"

#include <QString>
#include <QStringList>

namespace vorlan {

/// A registration line as it stands in a project file.
struct RegistrationLine {
    int picture = 2;
    SimilarityTransform toPicture1;
};

/// The line for picture (2 or 3) registered by toPicture1.
QString registrationLine(int picture, const SimilarityTransform& toPicture1);

/// True when the line opens with the registration keyword.
bool isRegistrationLine(const QString& line);

/// The registration a line of the keyword holds, or why it holds none: words missing or too
/// many, another picture than 2 or 3, a word for a number, numbers no registration has (not
/// finite or beyond 1e9: the number Overflow; a scale outside 0.01 .. 100: InvalidValue).
Outcome<RegistrationLine> readRegistrationLine(const QString& line);

/// The registrations among the lines after line 34, the last sound line of a picture winning;
/// lines that hold none are passed over.
QList<RegistrationLine> readRegistrationLines(const QStringList& extensionLines);

} // namespace vorlan
