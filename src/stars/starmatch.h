#pragma once

// Matching the stars of picture k to those of picture 1: which star is which, and the
// similarity transform (shift, turn, one scale, possibly a mirror) that carries picture k's
// pixels onto picture 1's.

#include "common/outcome.h"
#include "stars/starlist.h"

#include <QPointF>
#include <QVector>

namespace vorlan {

struct MatchOptions {
    int picture = 2;           ///< the number of the other picture, for the reasons
    int triangleStars = 40;    ///< the brightest usable stars of each list that form triangles
    int minMatched = 6;        ///< fewer stars matched than this is no registration
    double minScale = 0.4;     ///< the scales a registration may have (picture 1 pixels per
    double maxScale = 2.5;     ///< picture k pixel)
    double maxRmsPixels = 1.0; ///< a fit leaving more than this (pixels of picture 1) is not a registration
};

/// Matches other (picture k) to reference (picture 1). Triangles of the brightest usable stars
/// are compared by their shape (the ratios of their sides, which neither a turn, a scale nor a
/// mirror changes); pairs of like triangles vote on the turn and scale they imply, those of the
/// best votes propose transforms that the brightest stars verify, and the best proposals are
/// refined by least squares over every usable star matched within a shrinking radius (each pair
/// weighted by how well its centroids are known), outliers rejected. When one picture holds far
/// more stars (it shows more sky), parts of it are tried as well. A registration needs
/// minMatched stars and more than chance coincidences could give. Fails, with a Russian reason,
/// when there are too few stars, too few in common or none (another field), or the fit leaves
/// more than maxRmsPixels.
Outcome<StarMatch> matchStars(const StarList& reference, const StarList& other,
                              const MatchOptions& options = {});

/// The similarity transform (with the given mirror) that carries from[i] onto to[i] with the
/// least sum of squared distances, each pair weighted by weights[i] (all 1 when weights is
/// empty). Points in any one frame each, e.g. picture k pixels to picture 1 pixels. Needs two
/// distinct points; fewer give the identity.
SimilarityTransform fitSimilarity(const QVector<QPointF>& from, const QVector<QPointF>& to, bool mirrored,
                                  const QVector<double>& weights = {});

} // namespace vorlan
