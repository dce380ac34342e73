// Star detection on two 6000 x 4000 pictures with about 2000 stars each, against a bare
// scanLine pass that reads every pixel of both, measured in the same run; and matching the two
// star lists with the fitted transform, against its goal of 50 ms; and picture 2 resampled once
// into picture 1's orientation, as a registered picture turned by 25° is shown, against decoding
// picture 2 from a JPEG file.

#include "benchreport.h"
#include "registration/pictureturn.h"
#include "stars/stardetect.h"
#include "stars/starmatch.h"
#include "support/starsky.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImageReader>
#include <QImageWriter>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>

using namespace vorlan;
using namespace vorlan::test;

namespace {

constexpr int W = 6000, H = 4000;
/// Pictures 1 and 2, colour (RGB32) and grey (Grayscale8).
QImage g_pictures[2][2];
StarList g_lists[2];
/// Picture 2 as a JPEG file holds it, colour and grey.
QByteArray g_jpeg[2];
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
    for (int c = 0; c < 2; ++c) {
        QBuffer buffer(&g_jpeg[c]);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter(&buffer, "jpeg").write(g_pictures[c][1]);
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
    Outcome<StarMatch> m = Failure{};
    for (auto _ : state) {
        m = matchStars(g_lists[0], g_lists[1]);
        benchmark::DoNotOptimize(m);
    }
    if (!m.ok()) state.SkipWithError(qPrintable(m.reason()));
    state.counters["matched"] = m.valueOr({}).matched;
}

/// Argument: 0 colour, 1 grey. Turns picture 2 by its registration into picture 1's orientation.
void BM_TurnPicture(benchmark::State& state) {
    const QImage& two = g_pictures[state.range(0)][1];
    const PictureTurn turn = pictureTurn(g_truth, two.size());
    QImage turned;
    for (auto _ : state) {
        // Wall time: the turn shares its rows out among the pool's threads.
        const auto start = std::chrono::steady_clock::now();
        turned = turnPicture(two, turn);
        benchmark::DoNotOptimize(turned.constBits());
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    state.counters["megapixels"] = turned.width() * double(turned.height()) / 1e6;
}

/// Argument: 0 colour, 1 grey. Decodes picture 2 from its JPEG bytes, as loading it does.
void BM_DecodePicture2(benchmark::State& state) {
    QImage decoded;
    for (auto _ : state) {
        // Wall time, as the turn's.
        const auto start = std::chrono::steady_clock::now();
        QBuffer buffer(&g_jpeg[state.range(0)]);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, "jpeg");
        decoded = reader.read();
        benchmark::DoNotOptimize(decoded.constBits());
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    if (decoded.isNull()) state.SkipWithError("the JPEG did not decode");
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
/// Colour and grey, timed by the wall clock the benchmark sets.
void colourAndGreyByWall(benchmark::internal::Benchmark* b) {
    b->Arg(0)->Arg(1)->UseManualTime()->Repetitions(5)->ReportAggregatesOnly(true)->Unit(
        benchmark::kMillisecond);
}
BENCHMARK(BM_DecodePicture2)->Apply(colourAndGreyByWall);
BENCHMARK(BM_TurnPicture)->Apply(colourAndGreyByWall);
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
    // The turned copy shown in place of picture 2 costs no more than decoding picture 2 did.
    ratioLine("turn picture 2 by 25 deg, colour, wall", t("BM_TurnPicture/0"), "decode picture 2 (JPEG)",
              t("BM_DecodePicture2/0"), 1.0, "ms");
    ratioLine("turn picture 2 by 25 deg, grey, wall", t("BM_TurnPicture/1"), "decode picture 2 (JPEG)",
              t("BM_DecodePicture2/1"), 1.0, "ms");

    // What the timed work found: the lists and how well the transform came back.
    const Outcome<StarMatch> matched = matchStars(g_lists[0], g_lists[1]);
    const StarMatch m = matched.valueOr({});
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
        matched.ok() ? "registered" : qPrintable(matched.reason()), m.matched, m.rmsPixels,
        std::sqrt(sum2 / 121));
    return 0;
}
