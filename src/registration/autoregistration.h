#pragma once

// Automatic registration of pictures 2 and 3 on picture 1: the stars of each decoded picture,
// matched to picture 1's, two reference stars for the points, and each turned or mirrored
// picture resampled once into picture 1's orientation. Values in, values out: the window runs it
// on the job runner and applies the result.

#include "common/outcome.h"
#include "registration/pictureturn.h"
#include "stars/starlist.h"

#include <QImage>
#include <QPointF>
#include <QVector>
#include <array>
#include <optional>

namespace vorlan {

class JobControl;

/// One picture registered on picture 1 (or not).
struct RegisteredPicture {
    int picture = 2;               ///< its slot, 2 or 3
    Outcome<StarMatch> match = Failure{}; ///< failed: nothing else is set
    std::array<QPointF, 2> points; ///< points 1 and 2: the reference stars' centroids, this picture's pixels
    PictureTurn turn;              ///< the turn it is shown with, when needsTurn(match.transform)
    QImage turned;                 ///< the picture resampled by turn; null when it needs no turn
};

/// What a registration run found.
struct AutoRegistration {
    std::array<QPointF, 2> points;       ///< points 1 and 2 on picture 1, pixels
    QVector<RegisteredPicture> pictures; ///< in the order asked for
    bool stopped = false;                ///< the run was stopped: nothing of it is to be applied
    bool anyRegistered() const;
};

/// A registered picture as a project file keeps it: its slot, its registration on picture 1 and
/// the display scale it was shown at.
struct SlotRegistration {
    int slot = 2;
    SimilarityTransform toPicture1;
    float scale = 1;
};

/// The two reference stars: bright usable stars of picture 1 that the registered pictures show
/// too, well apart and away from every picture's edge. Point 1 is the brighter. A star matched
/// in a picture is placed there at its own centroid; where a registered picture did not match it,
/// at picture 1's centroid carried back through that picture's transform. others[i] and
/// matches[i] belong together; pictures whose match is not ok play no part. points[0] is picture
/// 1's pair, points[1 + i] others[i]'s. found is false when fewer than two such stars exist.
struct ReferenceStars {
    bool found = false;
    QVector<std::array<QPointF, 2>> points;
};
ReferenceStars chooseReferenceStars(const StarList& one, const QVector<StarList>& others,
                                    const QVector<Outcome<StarMatch>>& matches);

/// Registers each of others (slot number, decoded picture: Format_Grayscale8 or Format_RGB32) on
/// picture one: detection, matching, the reference stars, and the resampling of every picture
/// that needs a turn. Where the stars of others[i] do not match and skyGuesses[i] holds the
/// transform the two pictures' world coordinate systems imply, that transform registers it, with
/// the stars it carries within 3 pixels of picture 1's paired. With a control it reports its
/// progress in Russian and obeys a stop.
AutoRegistration registerOnPicture1(const QImage& one, const QVector<QPair<int, QImage>>& others,
                                    JobControl* control = nullptr,
                                    const QVector<std::optional<SimilarityTransform>>& skyGuesses = {});

/// The line txtInfo shows for a registered picture: the stars matched, the turn in degrees as the
/// rotation window announces it (positive counter-clockwise), the scale (picture 1 pixels per
/// picture pixel), "зеркально" when mirrored and the residual in pixels; locale separator.
QString registrationSummary(int picture, const StarMatch& match);

/// The message for a picture that could not be registered: which one, and why.
QString registrationFailure(int picture, const Failure& failure);

} // namespace vorlan
