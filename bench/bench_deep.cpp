// The deep search against the straightforward shift-and-add over the same motions and frames,
// and the whole search on a night's series as the absolute figure. The ratio field is a crop, so
// that the straightforward sum at full resolution ends within minutes; the whole search runs on
// VORLAN_DEEP_BENCH="frames width height" (40 x 2000 x 1500 unless told).

#include "benchreport.h"
#include "deep/deepsearch.h"
#include "deep/shifttree.h"
#include "series/seriesregistration.h"
#include "series/seriesstack.h"
#include "stars/movingsearch.h"
#include "support/seriesframes.h"

#include <QElapsedTimer>
#include <QLineF>
#include <QTemporaryDir>

using namespace vorlan;
using namespace vorlan::test;

namespace {

/// A night's field: stars at 1500 on 2000 x 1500, movers from 0.6 to 3 sigmas a frame at up to
/// 4 pixels a frame, the run's defects.
SeriesScene nightScene(int frames, int width, int height) {
    SeriesScene s = smallerScene(width, height, frames, int(1500.0 * width * height / 3e6));
    s.psfSigma = 1.4;
    s.turnDegrees = 0.05;
    s.trailFrame = frames / 2;
    s.hotPixels = {QPoint(width / 3, height / 3)};
    s.cosmicRays = 6;
    QRandomGenerator rng(11);
    const int movers = std::max(4, int(20.0 * width * height / 3e6));
    for (int m = 0; m < movers; ++m) {
        const double a = rng.bounded(2 * M_PI), speed = 0.3 + rng.bounded(3.7);
        const QPointF step(speed * std::sin(a), -speed * std::cos(a));
        const QPointF mid(width * (0.15 + 0.7 * rng.generateDouble()), height * (0.15 + 0.7 * rng.generateDouble()));
        s.movers.push_back({mid - step * ((frames - 1) / 2.0), step, 0.6 + rng.bounded(2.4)});
    }
    return s;
}

struct Field {
    SeriesScene scene;
    QTemporaryDir dir;
    SeriesRegistration series;
    ResidualSeries residuals;
    ShiftFrames half, full;
    std::vector<std::vector<float>> fullFiltered;
    MotionLattice halfLattice, fullLattice;
};

Field* g_ratio = nullptr;

/// The residuals at full resolution filtered with the star's profile, as the straightforward sum
/// would add them.
std::vector<float> filteredFull(const ResidualSeries& r, int i) {
    const double sigma = r.psfSigma();
    const int kr = int(std::ceil(3 * sigma));
    std::vector<float> k(size_t(2 * kr + 1));
    double squares = 0;
    for (int j = -kr; j <= kr; ++j)
        squares += std::pow(k[size_t(j + kr)] = float(std::exp(-j * j / (2 * sigma * sigma))), 2);
    for (float& v : k)
        v = float(v / std::sqrt(squares));
    std::vector<float> across(size_t(r.width) * r.height, 0.f), out(across.size(), 0.f);
    for (int y = 0; y < r.height; ++y)
        for (int x = kr; x + kr < r.width; ++x)
            for (int j = -kr; j <= kr; ++j) {
                const float v = r.at(i, x + j, y);
                if (!std::isnan(v)) across[size_t(y) * r.width + x] += k[size_t(j + kr)] * v;
            }
    for (int y = kr; y + kr < r.height; ++y)
        for (int j = -kr; j <= kr; ++j)
            for (int x = 0; x < r.width; ++x)
                out[size_t(y) * r.width + x] += k[size_t(j + kr)] * across[size_t(y + j) * r.width + x];
    return out;
}

void prepare(Field& f) {
    f.series = registerSeries(writeSeries(f.scene, f.dir.path()).paths);
    f.residuals = residualSeries(f.series).value();
    const ResidualSeries& r = f.residuals;
    const double span = effectiveSpan(r.hours), sigma = r.psfSigma();
    const double maxSpeed = 4 * (r.hours.size() - 1) / (r.hours.back() - r.hours.front());
    f.halfLattice = motionLattice(latticeStep(std::sqrt(sigma * sigma / 4 + 1.0 / 12), span, 0.2), 0, maxSpeed / 2);
    f.fullLattice = motionLattice(latticeStep(sigma, span, 0.2), 0, maxSpeed);
    f.half = {r.halfWidth, r.halfHeight, {}, r.hours};
    f.full = {r.width, r.height, {}, r.hours};
    for (int i = 0; i < int(r.hours.size()); ++i) {
        f.half.frames.push_back(r.half[size_t(i)].data());
        f.fullFiltered.push_back(filteredFull(r, i));
    }
    for (const auto& v : f.fullFiltered)
        f.full.frames.push_back(v.data());
}

template <typename Work> void timed(benchmark::State& state, Work work) {
    for (auto _ : state) {
        const double start = cpuSecondsWithChildren();
        work();
        state.SetIterationTime(cpuSecondsWithChildren() - start);
    }
}

void BM_DeepSearchOnResiduals(benchmark::State& state) {
    timed(state, [] { benchmark::DoNotOptimize(searchResiduals(g_ratio->residuals)); });
}
void BM_TreeHalf(benchmark::State& state) {
    timed(state, [] { benchmark::DoNotOptimize(treeShiftAndAdd(g_ratio->half, g_ratio->halfLattice)); });
}
void BM_DirectHalf(benchmark::State& state) {
    timed(state, [] { benchmark::DoNotOptimize(directShiftAndAdd(g_ratio->half, g_ratio->halfLattice)); });
}
void BM_DirectFull(benchmark::State& state) {
    timed(state, [] { benchmark::DoNotOptimize(directShiftAndAdd(g_ratio->full, g_ratio->fullLattice)); });
}

BENCHMARK(BM_DeepSearchOnResiduals)->Repetitions(3)->ReportAggregatesOnly(true)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TreeHalf)->Repetitions(3)->ReportAggregatesOnly(true)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DirectHalf)->Repetitions(3)->ReportAggregatesOnly(true)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DirectFull)->Repetitions(3)->ReportAggregatesOnly(true)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

/// Movers of the scene the deep search lists (within 2 pixels at mid-series), and the candidates
/// that are none of them.
std::pair<int, int> recall(const SeriesScene& s, const DeepSearchResult& r) {
    int found = 0, used = 0;
    for (int m = 0; m < s.movers.size(); ++m) {
        const QPointF truth = moverAt(s, m, (s.frames - 1) / 2.0);
        const bool seen = std::any_of(r.candidates.begin(), r.candidates.end(),
                                      [&](const DeepCandidate& c) { return QLineF(c.at, truth).length() <= 2; });
        found += seen;
        used += seen;
    }
    return {found, int(r.candidates.size()) - used};
}

/// Movers whose stack along the straightforward sum's best motion reaches the threshold at their place.
int directRecall(const Field& f, const BestMotions& b, double threshold) {
    int found = 0;
    for (int m = 0; m < f.scene.movers.size(); ++m) {
        const QPointF t = moverAt(f.scene, m, (f.scene.frames - 1) / 2.0);
        float best = 0;
        for (int y = int(t.y()) - 1; y <= int(t.y()) + 1; ++y)
            for (int x = int(t.x()) - 1; x <= int(t.x()) + 1; ++x)
                best = std::max(best, b.snr[size_t(y) * b.width + x]);
        found += best >= threshold;
    }
    return found;
}

/// The per-frame SNR of each mover the three-picture search finds on three stacks of the series
/// (within 3 pixels of where it was at each stack's mid-time), as a blinker would find it.
std::vector<double> threeStackFinds(const Field& f) {
    const Outcome<SeriesStacks> stacked = stackSeries(f.series);
    std::vector<double> snrs;
    if (!stacked.ok()) return snrs;
    QVector<SearchPicture> pictures;
    std::vector<double> frameAt;
    const double first = double(f.series.frames[0].midTime->toMSecsSinceEpoch()) / 3.6e6;
    for (const SeriesStack& stack : stacked.value().stacks) {
        const QImage shown = stretchedFrame(stack.picture);
        const double hours = double(stack.midTime->toMSecsSinceEpoch()) / 3.6e6;
        pictures.push_back({detectForMovingSearch(shown), SimilarityTransform(), shown, hours});
        frameAt.push_back((hours - first) * 3600 / f.scene.cadenceSeconds);
    }
    MovingSearchOptions nearer;
    nearer.minStepFwhm = 1.2;
    const MovingSearchResult found = findMovingObjects(pictures, nearer);
    for (int m = 0; m < f.scene.movers.size(); ++m)
        if (std::any_of(found.movers.begin(), found.movers.end(), [&](const MovingCandidate& c) {
                for (int k = 0; k < 3; ++k)
                    if (QLineF(c.at[k], moverAt(f.scene, m, frameAt[size_t(k)])).length() > 3) return false;
                return true;
            }))
            snrs.push_back(f.scene.movers[m].peakSnr);
    return snrs;
}

/// The per-frame SNR of each mover the deep search lists.
std::vector<double> deepFinds(const SeriesScene& s, const DeepSearchResult& r) {
    std::vector<double> snrs;
    for (int m = 0; m < s.movers.size(); ++m) {
        const QPointF truth = moverAt(s, m, (s.frames - 1) / 2.0);
        if (std::any_of(r.candidates.begin(), r.candidates.end(),
                        [&](const DeepCandidate& c) { return QLineF(c.at, truth).length() <= 2; }))
            snrs.push_back(s.movers[m].peakSnr);
    }
    return snrs;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Field ratio;
    ratio.scene = nightScene(40, 480, 360);
    prepare(ratio);
    g_ratio = &ratio;
    const auto t = runForMedians(argc, argv);

    std::printf("\nRatio field: %d frames of %dx%d, %d trial motions at half resolution, %d at full (CPU of all "
                "threads)\n",
                ratio.scene.frames, ratio.scene.width, ratio.scene.height, int(ratio.halfLattice.points.size()),
                int(ratio.fullLattice.points.size()));
    ratioLine("deep search (half res + fits)", t("BM_DeepSearchOnResiduals"), "direct sum, full res", t("BM_DirectFull"),
              0.1, "ms");
    ratioLine("tree alone, half res", t("BM_TreeHalf"), "direct sum, half res", t("BM_DirectHalf"), 0.1, "ms");
    std::printf("the search takes the %s here\n", treePays(ratio.half, ratio.halfLattice) ? "tree" : "straightforward sum");
    const DeepSearchResult found = searchResiduals(ratio.residuals);
    const auto [seen, spurious] = recall(ratio.scene, found);
    const int direct = directRecall(ratio, directShiftAndAdd(ratio.full, ratio.fullLattice), 7);
    std::printf("recall on %d movers: deep search %d (%d false), direct full-resolution sum %d at SNR >= 7\n",
                int(ratio.scene.movers.size()), seen, spurious, direct);

    Field whole;
    whole.scene = nightScene(40, 2000, 1500);
    const QStringList size = qEnvironmentVariable("VORLAN_DEEP_BENCH").split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (size.size() == 3) whole.scene = nightScene(size[0].toInt(), size[1].toInt(), size[2].toInt());
    whole.series = registerSeries(writeSeries(whole.scene, whole.dir.path()).paths);
    QElapsedTimer wall;
    wall.start();
    const double cpu = cpuSecondsWithChildren();
    const Outcome<ResidualSeries> residuals = residualSeries(whole.series);
    const double residualSeconds = wall.elapsed() / 1000.0;
    if (!residuals.ok()) {
        std::printf("whole search: not measured, %s\n", qPrintable(residuals.reason()));
        return 0;
    }
    const Outcome<DeepSearchResult> all = searchResiduals(residuals.value());
    const double seconds = wall.elapsed() / 1000.0;
    std::printf("static sky removed in %.1f s wall, motions searched and fitted in %.1f s\n", residualSeconds,
                seconds - residualSeconds);
    const auto [wholeSeen, wholeFalse] = recall(whole.scene, all.value());
    std::printf("whole search, %d frames of %dx%d: %.1f s wall (%.1f s CPU), %d motions, %d fitted; "
                "%d of %d movers, %d false  (goal <= 20 s) %s\n",
                whole.scene.frames, whole.scene.width, whole.scene.height, seconds, cpuSecondsWithChildren() - cpu,
                all.value().motions, all.value().halfCandidates, wholeSeen, int(whole.scene.movers.size()), wholeFalse,
                seconds <= 20 ? "met" : "MISSED");
    // The same field blinked as three stacks: the faintest mover each finds gives the gain.
    const std::vector<double> three = threeStackFinds(whole), deep = deepFinds(whole.scene, all.value());
    const double faintestThree = three.empty() ? 0 : *std::min_element(three.begin(), three.end());
    const double faintestDeep = deep.empty() ? 0 : *std::min_element(deep.begin(), deep.end());
    std::printf("same field, %d movers of per-frame SNR 0.6-3: three-picture search on 3 stacks finds %d (faintest "
                "%.2f), deep search %d (faintest %.2f)",
                int(whole.scene.movers.size()), int(three.size()), faintestThree, int(deep.size()), faintestDeep);
    if (faintestThree > 0 && faintestDeep > 0)
        std::printf(": %.2f magnitudes fainter", 2.5 * std::log10(faintestThree / faintestDeep));
    std::printf("\n");
    return 0;
}
