#pragma once

// Shifting a series of frames along many trial motions and adding them, so that an object too
// faint for any one frame adds up into a point where it was at the series' reference time. The
// straightforward sum costs frames x pixels x motions. The tree reuses what neighbouring motions
// share: the frames are halved again and again in time (pairs, quads, ...), and a group of few
// frames spans so short a time that many motions shift it by the same whole pixels, so its partial
// sum is made once on a coarser lattice of motions and taken by every motion above it, only moved
// by a whole-pixel offset (as tree dedispersion and fast folding do in radio astronomy).

#include <QPoint>
#include <QPointF>
#include <vector>

namespace vorlan {

class JobControl;

/// Frames of one field on one pixel grid, values in noise sigmas, 0 where nothing is known.
struct ShiftFrames {
    int width = 0, height = 0;
    std::vector<const float*> frames; ///< row by row from the top, width x height values each
    /// Each frame's time from the reference time (hours); the sums place an object where it was then.
    std::vector<double> hours;
};

/// The trial motions: points of a square lattice, motion = point x step (pixels per hour, x right,
/// y down).
struct MotionLattice {
    double step = 0;
    std::vector<QPoint> points;
    QPointF motion(int k) const { return QPointF(points[size_t(k)]) * step; }
};

/// The lattice points whose cell (a square of side step round the point) reaches speeds from
/// minSpeed to maxSpeed (pixels per hour) in directions from fromDegrees clockwise to toDegrees
/// (0 up, 90 right; 0 to 360 for all).
MotionLattice motionLattice(double step, double minSpeed, double maxSpeed, double fromDegrees = 0,
                            double toDegrees = 360);

/// The best of all motions at each pixel (the object's place at the reference time).
struct BestMotions {
    int width = 0, height = 0;
    std::vector<float> snr;   ///< the sum over the root of the frame count: noise sigmas of the stack
    std::vector<int> motion;  ///< index into the lattice's points; -1 where no motion was tried
    bool stopped = false;     ///< a stop came before every pixel was done
};

struct TreeOptions {
    /// How many whole pixels the motions that share one group's partial sum may disagree by across
    /// that group's time: larger is quicker and blurs the sum more.
    double shiftTolerance = 1.0;
    int tile = 64;  ///< pixels a side of the pieces the picture is worked in
    int block = 8;  ///< lattice points a side of the pieces the motions are worked in
};

/// Every motion of lattice tried on frames by the tree; threads of the global pool, each frame
/// shifted by whole pixels. With a control it reports progress and obeys a stop.
BestMotions treeShiftAndAdd(const ShiftFrames& frames, const MotionLattice& lattice,
                            const TreeOptions& options = {}, JobControl* control = nullptr);

/// True when the tree adds fewer values than the straightforward sum for these frames and motions:
/// a long series on a fine lattice, where groups of frames serve many motions. A short series on a
/// coarse lattice shares little, and its partial sums' margins then cost more than they save.
bool treePays(const ShiftFrames& frames, const MotionLattice& lattice, const TreeOptions& options = {});

/// The same by the straightforward sum: each frame shifted by its own whole pixels for each motion
/// and added; the yardstick the tree is measured against.
BestMotions directShiftAndAdd(const ShiftFrames& frames, const MotionLattice& lattice,
                              JobControl* control = nullptr);

} // namespace vorlan
