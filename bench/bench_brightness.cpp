// Matched brightness against same-run baselines: a blink tick with "Выравнивать яркость" on
// against one with it off, drawing a frame through the brightness map against drawing it as it
// is, and fitting the map for a 6000 x 4000 pair against one bare scanLine pass over both
// pictures. The difference picture's cost is printed beside the same pass.

#include "benchpictures.h"
#include "benchreport.h"
#include "blink/brightnessmatch.h"
#include "shell/panbar.h"
#include "support/fixture.h"
#include "view/imageframe.h"
#include "view/picturerender.h"

#include <QAction>
#include <QApplication>
#include <QImageReader>
#include <QPushButton>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstring>

using namespace vorlan;
using namespace vorlan::test;

namespace {

QStringList g_files;
QImage g_one, g_two;         // colour, as loaded
QImage g_greyOne, g_greyTwo; // the same held at one byte a pixel
const ToneMap g_tone({ToneLine{0.556, -13.9}, ToneLine{0.556, -13.9}, ToneLine{0.556, -13.9}});

/// Night 2: night 1 at 1.8 times the brightness plus 25, as a longer exposure would show it.
QImage brighter(const QImage& night) {
    QImage out(night.size(), QImage::Format_RGB32);
    auto level = [](int v) { return std::min(255, int(1.8 * v + 25 + 0.5)); };
    for (int y = 0; y < night.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(night.constScanLine(y));
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < night.width(); ++x)
            line[x] = qRgb(level(qRed(in[x])), level(qGreen(in[x])), level(qBlue(in[x])));
    }
    return out;
}

/// A blink tick of pictures 1 and 2 at scale 0.25 (the whole picture in view), repainted as the
/// window shows it, with the brightness map off (0) or on (1).
void BM_BlinkTick(benchmark::State& state) {
    ScriptedPrompter prompter;
    frmBl& f = freshProgram();
    for (int k = 1; k <= 2; ++k)
        loadSlot(f, prompter, k, g_files[k - 1]);
    f.resize(2200, 1400);
    settle();
    f.pictureArea->setGeometry(Area);
    for (int k = 1; k <= 2; ++k)
        f.HScr(k)->setValue(250);
    if (state.range(0)) f.mnuJarkost->trigger();
    settle();
    timeBlinkTicks(state, f);
    if (!prompter.messages.isEmpty() || f.Img2->toneMap().isIdentity() != !state.range(0))
        state.SkipWithError("picture 2 is not drawn as asked");
    f.stopBlinking();
    DestroyMainForm();
}

/// Drawing the 1900 x 1000 area of a frame afresh (as its cache is filled) at scale
/// range(0) / 1000, colour (range(1) 0) or grey (1), through the map (range(2) 1) or not.
void BM_DrawFrame(benchmark::State& state) {
    const double scale = state.range(0) / 1000.0;
    const QImage& picture = state.range(1) ? g_greyTwo : g_two;
    const ToneMap* tone = state.range(2) ? &g_tone : nullptr;
    QImage target(Area.size(), QImage::Format_RGB32);
    // Zoomed out the whole picture is in view; at 1:1 the middle of it.
    const QPointF shift = scale >= 1 ? QPointF(AreaOrigin) * scale : QPointF();
    double fraction = 0;
    for (auto _ : state) {
        // A new fraction of a pixel every round: nothing drawn before can stand in.
        fraction = fraction > 0.5 ? 0 : fraction + 0.125;
        const Placement at{fraction - shift.x(), fraction - shift.y(), scale};
        // Wall time too (BM_DrawFrameWall): the drawing shares its rows out among the pool's
        // threads, so the work of all (process CPU time) and the wait differ.
        const auto start = std::chrono::steady_clock::now();
        renderPicture(picture, at, target, target.rect(), Sampling::AreaAverage, ColourKernel::Fastest, tone);
        benchmark::DoNotOptimize(target.constBits());
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
}
void BM_DrawFrameWall(benchmark::State& state) {
    BM_DrawFrame(state);
}

/// One bare pass over every pixel of both pictures through scanLine: each row read once, eight
/// bytes at a time, into a sum the compiler cannot drop. The least that reading both costs.
void BM_BarePass(benchmark::State& state) {
    const QImage& a = state.range(0) ? g_greyOne : g_one;
    const QImage& b = state.range(0) ? g_greyTwo : g_two;
    for (auto _ : state) {
        uint64_t sum = 0;
        for (const QImage* img : {&a, &b})
            for (int y = 0; y < img->height(); ++y) {
                const uchar* line = img->constScanLine(y);
                for (qsizetype i = 0; i + 8 <= img->bytesPerLine(); i += 8) {
                    uint64_t word;
                    std::memcpy(&word, line + i, 8);
                    sum += word;
                }
            }
        benchmark::DoNotOptimize(sum);
    }
}

void BM_Fit(benchmark::State& state) {
    const QImage& a = state.range(0) ? g_greyOne : g_one;
    const QImage& b = state.range(0) ? g_greyTwo : g_two;
    BrightnessFit fit;
    for (auto _ : state) {
        fit = fitBrightness(a, b, {});
        benchmark::DoNotOptimize(fit.rgb.data());
    }
    if (!fit.valid || std::abs(fit.rgb[1].a - 1 / 1.8) > 0.02) state.SkipWithError("the fit missed the map");
}

void BM_Difference(benchmark::State& state) {
    const QImage& a = state.range(0) ? g_greyOne : g_one;
    const QImage& b = state.range(0) ? g_greyTwo : g_two;
    const BrightnessFit fit = fitBrightness(a, b, {});
    for (auto _ : state) {
        QImage d = differencePicture(a, b, {}, fit);
        benchmark::DoNotOptimize(d.constBits());
    }
}

BENCHMARK(BM_BlinkTick)
    ->Arg(0)
    ->Arg(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);
// The drawing shares its rows among threads: the CPU time of the whole process.
BENCHMARK(BM_DrawFrame)
    ->ArgsProduct({{250, 1000}, {0, 1}, {0, 1}})
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawFrameWall)
    ->ArgsProduct({{1000}, {0}, {0, 1}})
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BarePass)
    ->Arg(0)
    ->Arg(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Fit)->Arg(0)->Arg(1)->Repetitions(5)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Difference)
    ->Arg(0)
    ->Arg(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QImageReader::setAllocationLimit(0);
    QTemporaryDir dir;
    g_one = noisyStarField(20240);
    g_two = brighter(g_one);
    g_greyOne = g_one.convertToFormat(QImage::Format_Grayscale8);
    g_greyTwo = g_two.convertToFormat(QImage::Format_Grayscale8);
    g_files << savePicture(dir, QStringLiteral("night1.jpg"), g_one)
            << savePicture(dir, QStringLiteral("night2.jpg"), g_two);

    benchmark::Initialize(&argc, argv);
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    auto t = [&](const char* name) { return reporter.ms.count(name) ? reporter.ms[name] : 0.0; };
    std::printf("\nMatched brightness, %dx%d pictures, 1900x1000 picture area (median CPU times of the "
                "process, unless wall)\n",
                PicW, PicH);
    if (t("BM_BlinkTick/1") > 0)
        ratioLine("blink tick at 0.25, map on", t("BM_BlinkTick/1"), "map off", t("BM_BlinkTick/0"), 1.1,
                  "ms");
    const char* draws[][3] = {
        {"draw colour at 0.25 through the map", "BM_DrawFrame/250/0/1", "BM_DrawFrame/250/0/0"},
        {"draw colour at 1 through the map", "BM_DrawFrame/1000/0/1", "BM_DrawFrame/1000/0/0"},
        {"draw grey at 0.25 through the map", "BM_DrawFrame/250/1/1", "BM_DrawFrame/250/1/0"},
        {"draw grey at 1 through the map", "BM_DrawFrame/1000/1/1", "BM_DrawFrame/1000/1/0"}};
    for (const auto& d : draws)
        if (t(d[1]) > 0) ratioLine(d[0], t(d[1]), "the same, as it is", t(d[2]), 1.2, "ms");
    // What the user waits for: the same drawing by the wall clock.
    if (t("BM_DrawFrameWall/1000/0/1") > 0)
        ratioLine("draw colour at 1 through the map, wall", t("BM_DrawFrameWall/1000/0/1"),
                  "the same, as it is", t("BM_DrawFrameWall/1000/0/0"), 1.2, "ms");
    if (t("BM_Fit/0") > 0)
        ratioLine("fit, colour pair", t("BM_Fit/0"), "bare pass over both", t("BM_BarePass/0"), 1.0, "ms");
    if (t("BM_Fit/1") > 0)
        ratioLine("fit, grey pair", t("BM_Fit/1"), "bare pass over both", t("BM_BarePass/1"), 1.0, "ms");
    for (int grey = 0; grey <= 1; ++grey) {
        const std::string name = "BM_Difference/" + std::to_string(grey);
        const std::string bare = "BM_BarePass/" + std::to_string(grey);
        if (t(name.c_str()) > 0)
            std::printf("difference picture, %s pair (all threads): %.1f ms; bare pass over both %.1f ms\n",
                        grey ? "grey" : "colour", t(name.c_str()), t(bare.c_str()));
    }
    return 0;
}
