#pragma once

// The deep search (digital tracking): the residual frames of a registered series shifted along
// every motion of a lattice and added, so that an object no single frame shows adds up into a
// point while the noise averages down. Half resolution first by the tree of partial sums; each
// point that stands out there is then fitted at full resolution (place and motion to a tenth of
// the lattice step) and checked frame by frame: a constant source, not one frame's cosmic ray,
// hot frame or star residual.

#include "common/outcome.h"
#include "deep/residualseries.h"

#include <QDateTime>
#include <QPointF>
#include <QVector>

namespace vorlan {

class JobControl;

struct DeepSearchOptions {
    double minSpeed = 0;     ///< reference pixels per hour
    double maxSpeed = 0;     ///< reference pixels per hour; 0: four pixels between successive frames
    double fromDegrees = 0;  ///< directions from here clockwise ... (0 up, 90 right)
    double toDegrees = 360;  ///< ... to here
    double threshold = 7;    ///< stacked signal-to-noise a candidate needs
    double peakLoss = 0.2;   ///< the most an object between trial motions may lose of its stacked peak
    /// One frame may carry at most this share of a candidate's summed flux ...
    double maxFrameShare = 0.3;
    /// ... and the frames' fluxes may scatter round their mean at most this many sigmas of the
    /// chi-square a constant source gives.
    double chiSigmas = 5;
    ResidualOptions residuals; ///< the stars' width, the masks, the memory budget
};

/// An object found by the deep search.
struct DeepCandidate {
    QPointF at;          ///< where it was at the series' mid-time: reference pixels
    QPointF motion;      ///< reference pixels per hour, x right, y down
    double snr = 0;      ///< signal-to-noise of the stack along its motion
    int frames = 0;      ///< frames that showed its place (not masked)
    double chi2 = 0;     ///< scatter of the frames' fluxes per degree of freedom (1 for a steady source)
    double frameShare = 0; ///< the largest share one frame has of the summed flux
    double pixelsPerHour() const;
    double directionDegrees() const; ///< 0 up, 90 right
    /// Where it is at hours from the mid-time: reference pixels.
    QPointF atHours(double hours) const { return at + motion * hours; }
};

struct DeepSearchResult {
    QVector<DeepCandidate> candidates; ///< strongest first
    QDateTime midTime;                 ///< UTC: the time the candidates' places refer to
    double fwhm = 0;                   ///< the stars' width the search used, pixels
    double latticeStep = 0;            ///< full-resolution lattice step, reference pixels per hour
    int motions = 0;                   ///< trial motions at half resolution
    int halfCandidates = 0;            ///< points fitted at full resolution
    int rejected = 0;                  ///< of those, above the threshold but refused by the per-frame check
    bool stopped = false;
};

/// The lattice step (pixels per hour) at which an object of star width sigmaPixels (the Gaussian's
/// sigma) midway between trial motions loses at most loss of the stacked peak its own motion gives
/// (both summed with whole-pixel shifts) over spanHours (an effectiveSpan).
double latticeStep(double sigmaPixels, double spanHours, double loss);

/// The span (hours) of evenly spaced frames that smear a motion error as much as frames at these
/// hours (from their mean) do: a pause in the series counts for more than its length.
double effectiveSpan(const std::vector<double>& hours);

/// The search on residuals already made (at least two frames).
DeepSearchResult searchResiduals(const ResidualSeries& residuals, const DeepSearchOptions& options = {},
                                 JobControl* control = nullptr);

/// The whole search on a registered series: residuals, then searchResiduals. With a control it
/// reports progress and obeys a stop (stopped set, no candidates).
Outcome<DeepSearchResult> deepSearch(const SeriesRegistration& series, const DeepSearchOptions& options = {},
                                     JobControl* control = nullptr);

/// Per-frame fluxes of a candidate at full resolution: the star's profile fitted at its place in
/// each frame, noise sigmas; NaN for a frame that does not show its place.
std::vector<double> frameFluxes(const ResidualSeries& residuals, QPointF at, QPointF motion);

} // namespace vorlan
