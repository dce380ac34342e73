// Writing the blink of two 1000 x 700 grey frames as an animated GIF against encoding the same two
// frames as PNG with Qt (QImageWriter into a QBuffer): the frames as the screen grab gives them
// (RGB32 with red = green = blue) and as grey bytes. A colour pair is timed too, for the palette's
// share, with no goal.

#include "benchreport.h"
#include "blink/gifwriter.h"
#include "support/skyframes.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImageWriter>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>

using namespace vorlan;
using namespace vorlan::test;

namespace {

constexpr int FrameW = 1000;
constexpr int FrameH = 700;

QString g_path;
QVector<QImage> g_grabbed, g_greyBytes, g_colour;

void gifBenchmark(benchmark::State& state, const QVector<QImage>* frames) {
    for (auto _ : state)
        if (!writeAnimatedGif(g_path, *frames, 70).ok()) state.SkipWithError("GIF not written");
}

void pngBenchmark(benchmark::State& state, const QVector<QImage>* frames) {
    for (auto _ : state) {
        for (const QImage& frame : *frames) {
            QBuffer buffer;
            buffer.open(QIODevice::WriteOnly);
            QImageWriter writer(&buffer, "png");
            if (!writer.write(frame)) state.SkipWithError("PNG not written");
            benchmark::DoNotOptimize(buffer.data().size());
        }
    }
}

void registerPair(const char* gifName, const char* pngName, const QVector<QImage>* frames) {
    benchmark::RegisterBenchmark(gifName, gifBenchmark, frames)
        ->Repetitions(5)
        ->ReportAggregatesOnly(true)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(pngName, pngBenchmark, frames)
        ->Repetitions(5)
        ->ReportAggregatesOnly(true)
        ->Unit(benchmark::kMillisecond);
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    QTemporaryDir dir;
    g_path = dir.filePath(QStringLiteral("blink.gif"));
    const QImage grey = skyFrame(FrameW, FrameH, false);
    g_grabbed = {grey, partnerFrame(grey, false, 300, 500)};
    for (const QImage& f : g_grabbed)
        g_greyBytes.push_back(f.convertToFormat(QImage::Format_Grayscale8));
    const QImage colour = skyFrame(FrameW, FrameH, true);
    g_colour = {colour, partnerFrame(colour, true, 300, 500)};

    registerPair("BM_GifGrabbedGrey", "BM_PngGrabbedGrey", &g_grabbed);
    registerPair("BM_GifGreyBytes", "BM_PngGreyBytes", &g_greyBytes);
    registerPair("BM_GifColour", "BM_PngColour", &g_colour);
    benchmark::Initialize(&argc, argv);
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    auto t = [&](const char* name) { return reporter.ms.count(name) ? reporter.ms[name] : 0.0; };
    std::printf("\nTwo %dx%d frames (median CPU times)\n", FrameW, FrameH);
    ratioLine("GIF, grey frames as grabbed (RGB32)", t("BM_GifGrabbedGrey"), "PNG of the same",
              t("BM_PngGrabbedGrey"), 2.0, "ms");
    ratioLine("GIF, grey frames as grey bytes", t("BM_GifGreyBytes"), "PNG of the same", t("BM_PngGreyBytes"),
              2.0, "ms");
    std::printf("colour pair, no goal: GIF %.1f ms (palette included), PNG %.1f ms\n", t("BM_GifColour"),
                t("BM_PngColour"));
    return 0;
}
