// One star measurement on the photometry cut-out against a bare scanLine pass over the same
// 400 x 400 picture, measured in the same run.

#include "benchreport.h"
#include "photometry/frmfm.h"
#include "photometry/photometrycut.h"
#include "photometry/starmeasure.h"
#include "support/fixture.h"

#include <QApplication>
#include <QRandomGenerator>
#include <cmath>

using namespace vorlan;
using namespace vorlan::test;

namespace {

PhotometryCut g_cut;

/// A noisy sky of about 20 with a bright star of radius 25 pixels (about 1960 star pixels)
/// at the centre of the cut-out.
PhotometryCut brightStar() {
    QImage picture(CutSize, CutSize, QImage::Format_RGB32);
    QRandomGenerator noise(3);
    for (int y = 0; y < CutSize; ++y) {
        auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < CutSize; ++x) {
            const double r = std::hypot(x - 200, y - 200);
            const int v = r <= 25 ? 230 - int(r * 4) : 15 + int(noise.bounded(10));
            line[x] = qRgb(v, v, v);
        }
    }
    return CutFromPicture(picture, 0, 0);
}

const ComparisonTexts g_texts{QStringLiteral("20000"), QStringLiteral("-2"), QString(), QString()};

void BM_MeasureStar(benchmark::State& state) {
    int64_t n = 0;
    for (auto _ : state) {
        const StarScan star = ScanStar(g_cut, 60, 200, 200);
        const StarBackground bg = EstimateBackground(g_cut, 60, star.x0, star.y0);
        const StarFields f = ReportStar(star, bg, 1, g_texts, g_texts);
        benchmark::DoNotOptimize(f);
        n = star.n;
    }
    state.counters["star pixels"] = double(n);
}

/// The window's whole measurement: scans, marks painted over the picture, the notice shown
/// with one turn of the event loop, background and fields.
void BM_WindowMeasureStar(benchmark::State& state) {
    frmFM& w = PhotometryForm();
    for (auto _ : state)
        w.MeasureStar(200, 200);
}

void BM_ScanLinePass(benchmark::State& state) {
    for (auto _ : state) {
        int64_t sum = 0;
        for (int y = 0; y < CutSize; ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(g_cut.image.constScanLine(y));
            for (int x = 0; x < CutSize; ++x)
                sum += PixelBrightness(line[x]);
        }
        benchmark::DoNotOptimize(sum);
    }
}

BENCHMARK(BM_MeasureStar)->Repetitions(5)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WindowMeasureStar)->Repetitions(5)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ScanLinePass)->Repetitions(5)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ScriptedPrompter prompter;
    freshProgram();
    g_cut = brightStar();
    PhotometryForm().setCut(g_cut);
    PhotometryForm().showWindow();

    benchmark::Initialize(&argc, argv);
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    auto t = [&](const char* name) { return reporter.ms.count(name) ? reporter.ms[name] : 0.0; };
    const double measure = t("BM_MeasureStar"), window = t("BM_WindowMeasureStar"),
                 pass = t("BM_ScanLinePass");
    std::printf("\nStar measurement, %d star pixels (median CPU times)\n",
                int(ScanStar(g_cut, 60, 200, 200).n));
    ratioLine("scans, background, fields", measure, "scanLine pass 400x400", pass, 5.0, "us");
    if (pass > 0)
        std::printf("%-34s %10.2f us  vs %-22s %10.2f us  ratio %5.2f\n", "window MeasureStar (paints)",
                    window, "scanLine pass 400x400", pass, window / pass);
    DestroyMainForm();
    return 0;
}
