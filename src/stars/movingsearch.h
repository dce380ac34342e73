#pragma once

// Finding what moved between two or three registered pictures of one field: asteroids and comets,
// which blinking shows only where the eye happens to look. The sources of each picture's star list
// are carried into picture 1's pixels; a source that has no counterpart at its own place in the
// other pictures, and is really absent from their pixels there (a faint star that the detection of
// one picture missed is no mover), is paired with such sources of the other pictures: two pictures
// give pairs within a distance band and of like brightness, three pictures give straight tracks
// whose steps follow the times. What stands in one picture only is kept apart as a flash.
//
// Positions are continuous picture pixels (the centre of the top-left pixel is (0.5, 0.5), the
// frame of StarList). Pictures are told apart by their index, 0 for picture 1.

#include "stars/starlist.h"

#include <QImage>
#include <QPointF>
#include <QVector>
#include <optional>

namespace vorlan {

/// One picture of the search.
struct SearchPicture {
    StarList stars;                 ///< its detected sources, its own pixels
    SimilarityTransform toPicture1; ///< its pixels -> picture 1's pixels; the identity for picture 1
    /// The decoded picture the sources were found on (Format_Grayscale8 or Format_RGB32, shared,
    /// not copied). A null picture leaves the search to the lists alone: no source is measured
    /// and none is confirmed from the pixels.
    QImage picture;
    std::optional<double> hours; ///< mid-exposure time, hours on any one clock; none when unknown
};

struct MovingSearchOptions {
    double maxStep = 60;           ///< largest motion between successive pictures, picture 1's pixels
    double minStepFwhm = 2;        ///< smallest motion between successive pictures, in star widths (FWHM)
    double magnitudeTolerance = 1; ///< brightness difference allowed between the pictures, magnitudes
    double edgeMargin = 10; ///< sources this close to the edge of any picture are out of the overlap, pixels
    // Signal-to-noise is that of a fit of the star's profile. A star whose peak stands 5 noise
    // sigmas above the sky gives about 6 at a FWHM of 2 pixels; the sky's noise alone reaches 5.5
    // about once in a 24-megapixel picture.
    double minSignificance = 5.5;    ///< each source of a pair (two pictures) needs this much ...
    double vanishSignificance = 4.5; ///< ... and this much more than the other picture shows at its place
    double trackSignificance = 5; ///< one source of a track (three pictures) needs this much, and this much
    double trackVanish = 3.5;     ///< more than the other pictures show at its place; ...
    double confirmSignificance =
        3.5; ///< ... the others, listed or measured where the track predicts them, this much ...
    double trackCombined = 8.7;    ///< ... and all three stacked (their sum over the root of 3) this much
    double absentSignificance = 3; ///< below this the pixels at a spot hold nothing, ...
    double absentFraction = 0.3;   ///< ... nor do they when it is less than this part of the source's flux
    double flashSignificance = 8;  ///< signal-to-noise a source needs to be listed as a flash
    /// A source whose brightest pixel (this many noise sigmas or more) stands alone along an axis,
    /// sharper than the stars' profile allows, is a defect of the sensor (a hot pixel, a few of
    /// them together, a cosmic ray's hit), never a candidate nor a flash.
    double spikePeak = 10;
    /// A source with one of another picture of the same size this close (pixels) to its own pixel
    /// of the sensor is a defect of the camera that moves with the pointing, never a candidate
    /// nor a flash.
    double sensorTolerance = 1;
    double trackTolerance = 1.5; ///< the third position of a track is looked for this many pixels
                                 ///< plus 2 % of the step round where the other two predict it ...
    double trackChi2 = 11.8;     ///< ... and its miss off their line may be this many times (squared)
                                 ///< what the noise of the three centroids allows (3 sigma)
};

/// A moving object seen in every picture of the search, or in two of three.
struct MovingCandidate {
    QVector<QPointF> at;          ///< its centroid in each picture, mapped into picture 1's pixels
    QVector<double> significance; ///< signal-to-noise of each measurement (list sources: from their peak)
    /// The picture (0 for picture 1) that could not show it, hidden on or beside a star: its `at`
    /// there is where the other two put it, its significance 0; -1 when every picture shows it.
    int unseen = -1;
    double speed = 0; ///< picture 1's pixels per hour, or per picture when !perHour
    bool perHour = false;
    double directionDegrees =
        0; ///< direction of the motion in time: 0 up, 90 right (clockwise on the screen)
    double magnitudeDifference = 0; ///< the last picture minus picture 1 (positive: fainter), magnitudes
};

/// A source that stands in one picture only: a nova, a variable star or a defect.
struct FlashCandidate {
    int picture = 0; ///< the picture it is in (0 for picture 1)
    QPointF at;      ///< picture 1's pixels
    double significance = 0;
};

struct MovingSearchResult {
    QVector<MovingCandidate> movers; ///< most significant first
    QVector<FlashCandidate> flashes; ///< most significant first
    double fwhm = 0;                 ///< typical width of picture 1's stars, pixels
};

/// The moving objects of two or three pictures (fewer than two give nothing). The motion limits,
/// the brightness comparison (each picture's fluxes scaled to picture 1's by the stars they share)
/// and the overlap are as MovingSearchOptions says. Hot pixels, trails, extended sources and
/// sources cut by a picture's edge are never candidates. With three pictures only straight tracks
/// count: the steps in proportion to the times when every picture has one, else equal steps in
/// the order of the pictures. Two sources of three pictures that would make a pair make a
/// candidate seen in two of three when the third picture cannot show the object where they put
/// it (a star stands there, or a much brighter one beside it); listed after those seen in all.
MovingSearchResult findMovingObjects(const QVector<SearchPicture>& pictures,
                                     const MovingSearchOptions& options = {});

/// What the pixels show at one spot.
struct SpotMeasure {
    bool ok = false;       ///< false when the spot is too near the picture's edge to measure
    QPointF centre;        ///< the spot, or the centroid found from it; picture pixels
    double flux = 0;       ///< above the local background, grey levels x pixels (a fit of the star's profile)
    double snr = 0;        ///< flux over its noise
    double background = 0; ///< local background, grey levels
    double noise = 0;      ///< noise of one pixel there, grey levels
};

/// Measures a star of width fwhm (pixels) at `at` (picture pixels) on picture (Format_Grayscale8 or
/// Format_RGB32, through its brightness; inverted for a chart): the background and its noise from
/// a ring around it, the flux by weighting the pixels with the star's Gaussian profile. With
/// recentre the spot first moves to the profile-weighted centroid of what is there; ok is false
/// when that wanders off by more than a star width.
SpotMeasure measureSpot(const QImage& picture, bool inverted, QPointF at, double fwhm, bool recentre);

/// The sources a search works on, deeper than a registration needs: picture's brightness smoothed
/// by a 3 x 3 binomial kernel (a filter matched to a star two pixels wide, which lifts a faint
/// star against the noise by about half) and detected from 3 noise sigmas. Positions come from
/// the smoothed picture, which the search measures again on the picture itself; widths are the
/// picture's own (the kernel's width taken off); a source whose brightest pixel of the picture
/// stands alone is flagged as a hot pixel, as detectStars does. Reads every row of the picture
/// once and holds a grey copy of it while it works.
StarList detectForMovingSearch(const QImage& picture);

/// Median width (FWHM, pixels) of the brightest usable stars of a list; fallback when it has none.
double typicalFwhm(const StarList& list, double fallback = 2.5);

/// Width (FWHM, pixels, the pixels' own size included) of the star at `at` on picture, from its
/// second moments weighted by a Gaussian adapted to it, starting from guessFwhm; none when the
/// spot is too near the edge or holds no star.
std::optional<double> measureWidth(const QImage& picture, bool inverted, QPointF at, double guessFwhm);

/// The typical width of a picture's stars: the median measureWidth of the brightest usable stars
/// of its list, or typicalFwhm(list) when too few can be measured.
double pictureFwhm(const StarList& list, const QImage& picture);

} // namespace vorlan
