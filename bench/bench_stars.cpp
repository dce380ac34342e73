// Star detection on two 6000 x 4000 pictures with about 2000 stars each, against a bare
// scanLine pass that reads every pixel of both, measured in the same run; and matching the two
// star lists with the fitted transform, against its goal of 50 ms.

#include "benchreport.h"
#include "stars/stardetect.h"
#include "stars/starmatch.h"
#include "support/starsky.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>
#include <cstdio>

using namespace vorlan;
using namespace vorlan::test;

namespace {

constexpr int W = 6000, H = 4000;
/// Pictures 1 and 2, colour (RGB32) and grey (Grayscale8).
QImage g_pictures[2][2];
StarList g_lists[2];
SimilarityTransform g_truth;

void makePictures() {
    g_truth = skyTransform(QSizeF(W, H), QSizeF(W, H), 25, 1.1, false, QPointF(180, -120));
    // 1400 sky stars over each picture and 30 % of its own: about 2000 stars a picture.
    QRectF region(0, 0, W, H);
    for (QPointF c : {QPointF(0, 0), QPointF(W, 0), QPointF(0, H), QPointF(W, H)})
        region |= QRectF(g_truth.map(c), QSizeF(1, 1));
    const QVector<SkyStar> sky =
        randomSky(region, int(1400 * region.width() * region.height() / (double(W) * H)), 5);
    for (int k = 0; k < 2; ++k) {
        SkyView view;
        view.width = W;
        view.height = H;
        view.toSky = k == 0 ? SimilarityTransform() : g_truth;
        view.ownFraction = 0.3;
        view.hotPixels = 200;
        view.trail = k == 1;
        view.colour = true;
        view.seed = 100 + k;
        g_pictures[0][k] = renderSky(sky, view).image;
        g_pictures[1][k] = g_pictures[0][k].convertToFormat(QImage::Format_Grayscale8);
        g_lists[k] = detectStars(g_pictures[0][k]);
    }
}

/// Argument: 0 colour, 1 grey. Reads every pixel of both pictures once, summing its channels.
void BM_BareScanLinePass(benchmark::State& state) {
    const QImage* pics = g_pictures[state.range(0)];
    for (auto _ : state) {
        quint64 sum = 0;
        for (int k = 0; k < 2; ++k)
            for (int y = 0; y < H; ++y) {
                const uchar* line = pics[k].constScanLine(y);
                if (state.range(0) == 1) {
                    for (int x = 0; x < W; ++x)
                        sum += line[x];
                } else {
                    const auto* rgb = reinterpret_cast<const QRgb*>(line);
                    for (int x = 0; x < W; ++x)
                        sum += qRed(rgb[x]) + qGreen(rgb[x]) + qBlue(rgb[x]);
                }
            }
        benchmark::DoNotOptimize(sum);
    }
}

/// Argument: 0 colour, 1 grey. Detects the stars of both pictures.
void BM_DetectBoth(benchmark::State& state) {
    const QImage* pics = g_pictures[state.range(0)];
    StarList lists[2];
    for (auto _ : state)
        for (int k = 0; k < 2; ++k) {
            lists[k] = detectStars(pics[k]);
            benchmark::DoNotOptimize(lists[k].stars.data());
        }
    state.counters["stars 1"] = double(lists[0].stars.size());
    state.counters["stars 2"] = double(lists[1].stars.size());
}

void BM_MatchAndFit(benchmark::State& state) {
    StarMatch m;
    for (auto _ : state) {
        m = matchStars(g_lists[0], g_lists[1]);
        benchmark::DoNotOptimize(m.transform);
    }
    if (!m.ok) state.SkipWithError(qPrintable(m.reason));
    state.counters["matched"] = m.matched;
}

BENCHMARK(BM_BareScanLinePass)
    ->Arg(0)
    ->Arg(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DetectBoth)
    ->Arg(0)
    ->Arg(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MatchAndFit)->Repetitions(5)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    makePictures();
    benchmark::Initialize(&argc, argv);
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    auto t = [&](const std::string& name) { return reporter.ms.count(name) ? reporter.ms[name] : 0.0; };
    std::printf("\nStars on two %dx%d pictures (median CPU times)\n", W, H);
    ratioLine("detect both, colour", t("BM_DetectBoth/0"), "bare scanLine pass, both",
              t("BM_BareScanLinePass/0"), 4.0, "ms");
    ratioLine("detect both, grey", t("BM_DetectBoth/1"), "bare scanLine pass, both",
              t("BM_BareScanLinePass/1"), 4.0, "ms");
    ratioLine("match + fit, ~2000 stars a list", t("BM_MatchAndFit"), "goal, fixed", 50.0, 1.0, "ms");

    // What the timed work found: the lists and how well the transform came back.
    const StarMatch m = matchStars(g_lists[0], g_lists[1]);
    double sum2 = 0;
    for (int i = 0; i <= 10; ++i)
        for (int j = 0; j <= 10; ++j) {
            const QPointF p(W * i / 10.0, H * j / 10.0);
            const QPointF d = m.transform.map(p) - g_truth.map(p);
            sum2 += d.x() * d.x() + d.y() * d.y();
        }
    std::printf(
        "sources %d and %d; %s, %d matched, residual %.3f px, off the true transform by %.4f px RMS\n",
        int(g_lists[0].stars.size()), int(g_lists[1].stars.size()),
        m.ok ? "registered" : qPrintable(m.reason), m.matched, m.rmsPixels, std::sqrt(sum2 / 121));
    return 0;
}
