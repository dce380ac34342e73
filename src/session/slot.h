#pragma once

// One picture of a session and everything known about it, in the picture's own pixels
// (continuous, y down, the centre of the top-left pixel at (0.5, 0.5): the frame of StarList).
// A slot is read through Session::slot(k) and changed only through the session's setters, so
// that every change is announced by one Session::slotChanged.

#include "blink/brightnessmatch.h"
#include "registration/pictureturn.h"
#include "sky/picturesky.h"
#include "sky/platesolution.h"
#include "stars/starlist.h"

#include <QDateTime>
#include <QFlags>
#include <QImage>
#include <QPointF>
#include <QString>
#include <array>
#include <optional>

namespace vorlan {

/// What of a slot changed, as Session::slotChanged says it.
enum class SlotPart : unsigned {
    Picture = 1u << 0,    ///< path, decoded picture and its version
    Points = 1u << 1,     ///< reference points 1 and 2
    Transform = 1u << 2,  ///< the transform to picture 1 and the turned picture made from it
    Stars = 1u << 3,      ///< the star list
    Time = 1u << 4,       ///< the observation time
    Sky = 1u << 5,        ///< the sky solution
    Brightness = 1u << 6, ///< the brightness map onto picture 1
};
Q_DECLARE_FLAGS(SlotParts, SlotPart)
Q_DECLARE_OPERATORS_FOR_FLAGS(SlotParts)

/// Where a slot's transform to picture 1 came from.
enum class RegistrationSource {
    Stars,      ///< automatic registration: the stars both pictures share
    HandPoints, ///< the two reference points the user marked on both pictures
    Wcs,        ///< the world coordinate systems of both pictures
};

/// A slot's placement on picture 1.
struct SlotRegistrationState {
    SimilarityTransform toPicture1; ///< this picture's pixels -> picture 1's pixels
    RegistrationSource source = RegistrationSource::Stars;
    PictureTurn turn; ///< the turn it is shown with, when needsTurn(toPicture1)
    QImage turned;    ///< the picture resampled by turn; null when it needs none
};

/// The two-star solution: the slot's two reference points (pixels) and the catalogue
/// coordinates of the stars under them (radians).
struct TwoStarSky {
    std::array<QPointF, 2> points;
    StarPair stars;
};

/// A slot's sky solution: the WCSs it has (from the header, from a solve), the source in force,
/// and the two-star solution when that was made.
struct SlotSky {
    PictureSky wcs;
    std::optional<TwoStarSky> twoStars;
};

struct Slot {
    QString path;       ///< the file the picture was decoded from; empty for an empty slot
    QImage picture;     ///< decoded once, shared and never written to; null for an empty slot
    quint64 version = 0; ///< grows with every picture the session puts in any slot; 0 when empty
    std::array<std::optional<QPointF>, 2> points; ///< reference points 1 and 2, pixels
    std::optional<SlotRegistrationState> registration; ///< none until registered (picture 1: none)
    /// The sources the moving search and the report work on, found on the picture of
    /// starsVersion; none until found.
    std::optional<StarList> stars;
    quint64 starsVersion = 0;
    std::optional<QDateTime> time; ///< mid-exposure, UTC; none when the file does not say
    SlotSky sky;
    std::optional<BrightnessFit> brightness; ///< this picture's tones mapped onto picture 1's

    bool empty() const { return picture.isNull(); }
    /// The star list, when it was found on the picture the slot holds now.
    const StarList* currentStars() const { return stars && starsVersion == version ? &*stars : nullptr; }
};

} // namespace vorlan
