#pragma once

// The two-star plate solution: scale and rotation of picture 1 come from two marked stars whose
// sky coordinates the user typed; no focal length or pixel size is needed. The picture must show
// the sky unmirrored (north up and east left when it stands upright).

#include <QString>

namespace vorlan {

/// A position on picture 1 in twips, y growing downwards.
struct TwipPoint {
    float x = 0;
    float y = 0;
};

/// The two reference stars' catalogue coordinates, radians.
struct StarPair {
    float ra1 = 0, dec1 = 0;
    float ra2 = 0, dec2 = 0;
};

/// A solved sky position (radians, rounded to floats) and the scale f in twips per radian.
struct SkyFix {
    float ra = 0;
    float dec = 0;
    float scale = 0;
};

/// Sky position of target from the two marked stars. p1, p2 and target are twips of the
/// displayed picture (y down). Throws VorlanError on degenerate input: both marks at one place,
/// identical or all-zero star coordinates, a star at a celestial pole.
SkyFix SolveSkyPosition(TwipPoint p1, TwipPoint p2, TwipPoint target, const StarPair& stars);

/// The marks of picture 1 in picture twips (picture pixels x TwipsPerPixel, independent of zoom) with the
/// stars' coordinates.
struct MarkedStars {
    TwipPoint point1;
    TwipPoint point2;
    StarPair stars;
};

/// Points 1 and 2 of picture 1 and the star coordinates from the shared state.
MarkedStars MarkedStarsFromState();

/// SolveSkyPosition with the marks scaled to a picture displayed at the given scale; target in
/// twips of that displayed picture.
SkyFix SolveAtScale(const MarkedStars& marked, float scale, TwipPoint target);

/// The readout's "от центра=" text for a cursor at (x, y) twips over a picture displayed at
/// widthPx x heightPx screen pixels: the distance from the centre as a percentage of the half
/// diagonal, "0.0" at the centre, "100.0" at a corner. Throws VorlanError for a picture of zero
/// size.
QString CentreDistanceText(int widthPx, int heightPx, float x, float y);

/// What "Считать!" works from.
struct PlateInput {
    MarkedStars marked;
    float pictureWidth = 0; ///< size of picture 1, picture pixels
    float pictureHeight = 0;
    float displayScale = 0; ///< the scale picture 1 is displayed at: screen pixels per picture pixel
    bool readoutActive = false;
};

/// What "Считать!" computes.
struct PlateSolution {
    TwipPoint centre;   ///< centre of the picture as displayed, twips
    SkyFix centreSky;   ///< its sky position; scale f in twips per radian at the display scale
    TwipPoint probe;    ///< the top-centre point, one twip below the top edge
    double probeRa = 0; ///< sky position of the probe; the centre's when the readout is inactive
    double probeDec = 0;
    double angle = 0; ///< radians from the picture's up to the direction of the north pole, counter-clockwise
    QString centreText; ///< sky position text of the centre
    QString infoText; ///< "центр: ", "размер в градусах ", "размер в пикселах " lines, CR LF ended
    QString angleLine; ///< "Угол отклонения от направления на полюс " line, CR LF ended
};

/// What txtInfo shows of a solved picture, whatever solved it (two stars or a WCS).
struct PlateFacts {
    double centreRa = 0, centreDec = 0; ///< sky position of the picture's centre, radians
    double widthDeg = 0, heightDeg = 0; ///< field of view, degrees (shown floored to whole degrees)
    double widthPx = 0, heightPx = 0;   ///< picture size, picture pixels (shown floored)
    double angle = 0; ///< radians from the picture's up to the direction of the north pole, counter-clockwise
};

/// The "центр: ", "размер в градусах " and "размер в пикселах " lines, CR LF ended. Throws
/// VorlanError when a figure does not fit a float.
QString PlateInfoLines(const PlateFacts& facts);
/// The "Угол отклонения от направления на полюс " line (angle in radians), CR LF ended.
QString PlateAngleLine(double angle);

/// The whole computation of "Считать!" without any window, all of it at the display scale, so
/// that it gives the same result at any zoom. Throws VorlanError on degenerate input (see
/// SolveSkyPosition) and for a zero display scale.
PlateSolution SolvePlate(const PlateInput& in);

} // namespace vorlan
