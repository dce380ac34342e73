#pragma once

// Registration of two pictures by their world coordinate systems, for where their stars cannot
// be matched (a chart against a photograph, a sparse field): the sky positions both WCSs give
// say which pixel of picture 1 shows what a pixel of picture 2 shows.

#include "common/outcome.h"
#include "sky/skywcs.h"
#include "stars/starlist.h"

#include <QString>
#include <optional>

namespace vorlan {

/// The transform two WCSs imply, and how well a similarity transform carries it.
struct WcsRegistration {
    SimilarityTransform transform; ///< picture 2 pixels -> picture 1 pixels (StarList's frame)
    int points = 0;                ///< grid points of picture 2 that fell on picture 1
    double rmsPixels = 0;          ///< residual of those points from the transform, pixels of picture 1
    double maxPixels = 0;          ///< the largest of them
};

/// The similarity transform (shift, turn, one scale, a mirror when the two WCSs differ in
/// handedness) from picture 2's pixels to picture 1's, fitted by least squares to a grid of
/// grid x grid points spread over picture 2 wherever it overlaps picture 1. Both WCSs must carry
/// their picture sizes. Different projections or distortions leave a residual (rmsPixels) that
/// the caller may judge; fails when either WCS is invalid or has no size, or when fewer than 3
/// grid points overlap.
Outcome<WcsRegistration> RegistrationFromWcs(const SkyWcs& wcs1, const SkyWcs& wcs2, int grid = 16);

/// The transform from picture 2 to picture 1 that their WCSs imply, when there is a WCS for
/// picture 1 and the transform carries the two within a pixel; a guess for star matching.
std::optional<SimilarityTransform> wcsGuess(const SkyWcs* wcs1, const SkyWcs& wcs2);

} // namespace vorlan
