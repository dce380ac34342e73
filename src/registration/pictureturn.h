#pragma once

// A picture shown in picture 1's orientation: the registration's turn and mirror applied once,
// by resampling, while its scale and shift stay with the display scale and the frame position.

#include "stars/starlist.h"

#include <QImage>
#include <QSize>

namespace vorlan {

class JobControl;

/// Turns smaller than this (degrees), unmirrored, are left to the overlay: at 0.2° a star 500
/// pixels from point 1 is 1.7 pixels off, about what a hand-marked point was.
inline constexpr double LeastShownTurnDegrees = 0.2;

/// Whether a registration (picture k pixels -> picture 1 pixels) turns or mirrors the picture
/// enough for it to be shown turned: a mirror, or a turn beyond LeastShownTurnDegrees.
bool needsTurn(const SimilarityTransform& toPicture1);

/// How a picture of `size` pixels is shown turned: toShown carries its continuous pixels onto the
/// turned picture's (scale 1: the registration's turn and mirror only), placed so that the turned
/// picture's bounding box starts at (0, 0); size is that box, whole pixels.
struct PictureTurn {
    SimilarityTransform toShown;
    QSize size;
};
PictureTurn pictureTurn(const SimilarityTransform& toPicture1, QSize size);

/// Resamples picture (Format_Grayscale8 or Format_RGB32) once into turn's orientation, bilinearly,
/// row by row through scanLine. The result has picture's format (one byte a pixel stays one byte a
/// pixel); pixels whose centre falls outside the picture are black. With a control, progress goes
/// to it after every row (done rows of turn.size.height(), the text `what`) and a stop ends the
/// work: the result is then null, as it is when the memory for it cannot be had.
QImage turnPicture(const QImage& picture, const PictureTurn& turn, JobControl* control = nullptr,
                   const QString& what = QString());

/// Why a turned picture of `size` pixels could not be made: the memory for it.
QString turnedTooLargeReason(QSize size);

} // namespace vorlan
