#include "deep/deepsearch.h"

#include "common/jobrunner.h"
#include "deep/shifttree.h"
#include "sky/poolparts.h"

#include <QThreadPool>
#include <algorithm>
#include <atomic>
#include <cmath>

namespace vorlan {

namespace {

/// A candidate as the half-resolution sums give it.
struct Seed {
    QPointF at, motion; ///< reference pixels; reference pixels per hour
    float snr = 0;
};

/// The local maxima of the best sums at or above least, strongest first, none within two pixels
/// of a stronger one; at most limit of them.
std::vector<Seed> seedsOf(const BestMotions& best, const MotionLattice& lattice, float least, size_t limit) {
    std::vector<Seed> seeds;
    const int w = best.width, h = best.height;
    for (int y = 1; y + 1 < h; ++y)
        for (int x = 1; x + 1 < w; ++x) {
            const float v = best.snr[size_t(y) * w + x];
            if (v < least) continue;
            bool peak = true;
            for (int dy = -1; dy <= 1 && peak; ++dy)
                for (int dx = -1; dx <= 1 && peak; ++dx) {
                    const float u = best.snr[size_t(y + dy) * w + x + dx];
                    // Ties go to the first in reading order.
                    peak = u < v || (u == v && (dy > 0 || (dy == 0 && dx >= 0)));
                }
            if (!peak) continue;
            // Half-resolution pixel x covers full pixels 2x and 2x + 1.
            seeds.push_back({QPointF(2 * x + 1, 2 * y + 1), lattice.motion(best.motion[size_t(y) * w + x]) * 2, v});
        }
    std::sort(seeds.begin(), seeds.end(), [](const Seed& a, const Seed& b) { return a.snr > b.snr; });
    std::vector<Seed> kept;
    for (const Seed& s : seeds) {
        if (kept.size() >= limit) break;
        if (std::none_of(kept.begin(), kept.end(), [&](const Seed& k) {
                const QPointF d = k.at - s.at;
                return d.x() * d.x() + d.y() * d.y() <= 16;
            }))
            kept.push_back(s);
    }
    return kept;
}

/// The star's profile fitted at a point of one frame: the profile-weighted sum of the residual
/// over the root of the weights' squares, so that unit noise stays unit.
class ProfileFit {
  public:
    explicit ProfileFit(const ResidualSeries& r) : m_r(r), m_sigma(std::max(0.5, r.psfSigma())) {
        m_radius = std::min(15, int(std::ceil(2.5 * m_sigma)));
    }
    /// Frame i's flux at pt (reference pixels) in noise sigmas; NaN when most of the profile is masked.
    double flux(int i, QPointF pt) const {
        const int cx = int(std::floor(pt.x())), cy = int(std::floor(pt.y()));
        // The profile is a product of its x and y parts: 2 (2r + 1) exponentials, not (2r + 1)^2.
        float gx[32], gy[32];
        const int size = 2 * m_radius + 1;
        const double k = -1 / (2 * m_sigma * m_sigma);
        for (int j = 0; j < size; ++j) {
            const double dx = cx - m_radius + j + 0.5 - pt.x(), dy = cy - m_radius + j + 0.5 - pt.y();
            gx[j] = float(std::exp(dx * dx * k));
            gy[j] = float(std::exp(dy * dy * k));
        }
        double sum = 0, weights = 0, all = 0;
        for (int j = 0; j < size; ++j) {
            const int y = cy - m_radius + j;
            for (int i2 = 0; i2 < size; ++i2) {
                const float g = gy[j] * gx[i2], g2 = g * g;
                all += g2;
                const float v = m_r.at(i, cx - m_radius + i2, y);
                if (std::isnan(v)) continue;
                sum += g * v;
                weights += g2;
            }
        }
        return weights >= 0.5 * all ? sum / std::sqrt(weights) : NAN;
    }
    /// The stack along motion through at: the frames' fluxes added over the root of their count.
    double stacked(QPointF at, QPointF motion, int* frames = nullptr) const {
        double sum = 0;
        int n = 0;
        for (int i = 0; i < int(m_r.hours.size()); ++i) {
            const double f = flux(i, at + motion * m_r.hours[size_t(i)]);
            if (std::isnan(f)) continue;
            sum += f;
            ++n;
        }
        if (frames) *frames = n;
        return n ? sum / std::sqrt(double(n)) : 0;
    }

  private:
    const ResidualSeries& m_r;
    double m_sigma;
    int m_radius = 1;
};

/// Place and motion moved to where the stack along the motion peaks: a pattern search from the
/// seed, down to a fiftieth of a pixel and a twentieth of the lattice step.
DeepCandidate refined(const ProfileFit& fit, const Seed& seed, double step) {
    double q[4] = {seed.at.x(), seed.at.y(), seed.motion.x(), seed.motion.y()};
    double steps[4] = {0.5, 0.5, 0.5 * step, 0.5 * step};
    auto score = [&](const double* p) { return fit.stacked({p[0], p[1]}, {p[2], p[3]}); };
    double best = score(q);
    for (int round = 0; round < 300 && (steps[0] > 0.02 || steps[2] > 0.05 * step); ++round) {
        bool moved = false;
        for (int d = 0; d < 4; ++d)
            for (double sign : {1.0, -1.0}) {
                double p[4] = {q[0], q[1], q[2], q[3]};
                p[d] += sign * steps[d];
                const double s = score(p);
                if (s > best) {
                    best = s;
                    std::copy_n(p, 4, q);
                    moved = true;
                }
            }
        if (!moved)
            for (double& s : steps)
                s /= 2;
    }
    DeepCandidate c;
    c.at = {q[0], q[1]};
    c.motion = {q[2], q[3]};
    c.snr = fit.stacked(c.at, c.motion, &c.frames);
    return c;
}

/// Fills in how steady the candidate's flux is from frame to frame.
void checkFrames(const ResidualSeries& r, DeepCandidate& c) {
    const std::vector<double> f = frameFluxes(r, c.at, c.motion);
    double sum = 0, largest = 0;
    int n = 0;
    for (double v : f)
        if (!std::isnan(v)) {
            sum += v;
            largest = std::max(largest, v);
            ++n;
        }
    if (n < 2 || !(sum > 0)) {
        c.chi2 = INFINITY;
        c.frameShare = 1;
        return;
    }
    const double mean = sum / n;
    // A real source's flux varies a little more than the noise: with its place between pixels.
    const double variance = 1 + 0.01 * mean * mean;
    double chi = 0;
    for (double v : f)
        if (!std::isnan(v)) chi += (v - mean) * (v - mean) / variance;
    c.chi2 = chi / (n - 1);
    c.frameShare = largest / sum;
}

} // namespace

double DeepCandidate::pixelsPerHour() const {
    return std::hypot(motion.x(), motion.y());
}

double DeepCandidate::directionDegrees() const {
    const double d = std::atan2(motion.x(), -motion.y()) * 180 / M_PI;
    return d < 0 ? d + 360 : d;
}

double latticeStep(double sigmaPixels, double spanHours, double loss) {
    // An object at motion error e is smeared along e x t over the span: the profile's match with
    // itself falls as exp(-u^2 / 4 sigma^2), averaged over offsets u in [-a, a], a = |e| span / 2.
    // Midway between lattice points (a cell's corner) |e| is step / root 2.
    auto kept = [&](double a) {
        const double s = a / (2 * sigmaPixels);
        return s < 1e-9 ? 1.0 : std::sqrt(M_PI) / 2 * std::erf(s) / s;
    };
    // The tree's shared partial sums misplace frames by a little more than whole-pixel shifts at
    // the exact motion do: what is left of the loss is the lattice's.
    constexpr double TreeKeeps = 0.9;
    const double wanted = (1 - loss) / TreeKeeps;
    double lo = 0, hi = 20 * sigmaPixels;
    for (int i = 0; i < 60; ++i) {
        const double mid = (lo + hi) / 2;
        (kept(mid) >= wanted ? lo : hi) = mid;
    }
    return spanHours > 0 ? 2 * M_SQRT2 * lo / spanHours : 0;
}

double effectiveSpan(const std::vector<double>& hours) {
    double squares = 0;
    for (double h : hours)
        squares += h * h;
    return hours.empty() ? 0 : std::sqrt(12 * squares / hours.size());
}

std::vector<double> frameFluxes(const ResidualSeries& residuals, QPointF at, QPointF motion) {
    const ProfileFit fit(residuals);
    std::vector<double> f;
    for (int i = 0; i < int(residuals.hours.size()); ++i)
        f.push_back(fit.flux(i, at + motion * residuals.hours[size_t(i)]));
    return f;
}

DeepSearchResult searchResiduals(const ResidualSeries& r, const DeepSearchOptions& o, JobControl* control) {
    DeepSearchResult result;
    result.fwhm = r.fwhm;
    result.midTime = QDateTime::fromMSecsSinceEpoch(qint64(std::llround(r.midHours * 3.6e6)), Qt::UTC);
    const int n = int(r.hours.size());
    if (n < 2) return result;
    const double span = effectiveSpan(r.hours);
    const double sigma = r.psfSigma();
    // At half resolution the star is widened by the binning's square pixel.
    result.latticeStep = latticeStep(sigma, span, o.peakLoss);
    const double halfStep = latticeStep(std::sqrt(sigma * sigma / 4 + 1.0 / 12), span, o.peakLoss);
    const double maxSpeed = o.maxSpeed > 0 ? o.maxSpeed : 4 * (n - 1) / (r.hours.back() - r.hours.front());
    const MotionLattice lattice = motionLattice(halfStep, o.minSpeed / 2, maxSpeed / 2, o.fromDegrees, o.toDegrees);
    result.motions = int(lattice.points.size());

    ShiftFrames frames;
    frames.width = r.halfWidth;
    frames.height = r.halfHeight;
    for (int i = 0; i < n; ++i)
        frames.frames.push_back(r.half[size_t(i)].data());
    frames.hours = r.hours;
    const BestMotions best = treePays(frames, lattice) ? treeShiftAndAdd(frames, lattice, {}, control)
                                                       : directShiftAndAdd(frames, lattice, control);
    if (best.stopped) {
        result.stopped = true;
        return result;
    }
    // Half resolution loses up to the lattice's share and some of the profile's sharpness: a
    // lower bar there keeps what full resolution will lift over the threshold.
    const std::vector<Seed> seeds = seedsOf(best, lattice, float(0.7 * o.threshold), 5000);
    result.halfCandidates = int(seeds.size());

    const ProfileFit fit(r);
    std::vector<DeepCandidate> fitted(seeds.size());
    std::atomic<int> next{0}, done{0};
    std::atomic<bool> stop{false};
    runPoolParts(
        std::max(1, QThreadPool::globalInstance()->maxThreadCount()),
        [&](int) {
            for (int i = next++; i < int(seeds.size()) && !stop; i = next++) {
                fitted[size_t(i)] = refined(fit, seeds[size_t(i)], result.latticeStep);
                ++done;
            }
        },
        [&] {
            if (!control) return;
            if (control->stopRequested()) stop = true;
            control->progress(done, int(seeds.size()),
                              QStringLiteral("Уточнение кандидатов: %1 из %2").arg(done).arg(seeds.size()));
        });
    if (stop) {
        result.stopped = true;
        return result;
    }
    std::sort(fitted.begin(), fitted.end(), [](const DeepCandidate& a, const DeepCandidate& b) { return a.snr > b.snr; });
    const double limit = 1 + o.chiSigmas * std::sqrt(2.0 / std::max(1, n - 1));
    for (DeepCandidate& c : fitted) {
        if (c.snr < o.threshold) break;
        // Seeds of one object climb to the same peak.
        const bool again = std::any_of(result.candidates.begin(), result.candidates.end(), [&](const DeepCandidate& k) {
            const QPointF d = k.at - c.at, m = (k.motion - c.motion) / result.latticeStep;
            return std::hypot(d.x(), d.y()) < r.fwhm && std::hypot(m.x(), m.y()) < 3;
        });
        if (again) continue;
        checkFrames(r, c);
        if (c.frames < std::max(2, n / 2) || c.chi2 > limit || c.frameShare > o.maxFrameShare) {
            ++result.rejected;
            continue;
        }
        result.candidates.push_back(c);
    }
    return result;
}

Outcome<DeepSearchResult> deepSearch(const SeriesRegistration& series, const DeepSearchOptions& options,
                                     JobControl* control) {
    const Outcome<ResidualSeries> residuals = residualSeries(series, options.residuals, control);
    if (!residuals.ok()) {
        if (control && control->stopRequested()) {
            DeepSearchResult stopped;
            stopped.stopped = true;
            return stopped;
        }
        return residuals.failure();
    }
    return searchResiduals(residuals.value(), options, control);
}

} // namespace vorlan
