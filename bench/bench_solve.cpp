// Plate solving a 2° field of real Tycho-2 stars, 1500 x 1000 pixels: the program's way (the
// picture's star list handed to solve-field as an x/y list, brightest first) against a bare
// solve-field run on the picture file itself (it finds the stars on its own), with the same
// options. The work is in child processes, so the figure is the CPU time of this process and
// its children around each solve; wall times are printed beside it.

#include "benchreport.h"
#include "sky/platesolver.h"
#include "support/catalogfield.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>

using namespace vorlan;
using namespace vorlan::test;

namespace {

CatalogField g_field;
QString g_picture; // the same field as a 16-bit FITS picture
std::vector<double> g_wallList, g_wallBare, g_wallInstalled;

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

/// Times each solve: the CPU time of this process and its children is the benchmark's figure,
/// the wall time goes into walls.
template <class Solve>
void timeSolves(benchmark::State& state, std::vector<double>& walls, const char* failure, Solve solve) {
    for (auto _ : state) {
        const double start = cpuSecondsWithChildren();
        QElapsedTimer wall;
        wall.start();
        const bool solved = solve();
        walls.push_back(wall.nsecsElapsed() * 1e-6);
        state.SetIterationTime(cpuSecondsWithChildren() - start);
        if (!solved) state.SkipWithError(failure);
    }
}

void BM_SolveStarList(benchmark::State& state) {
    timeSolves(state, g_wallList, "the star list did not solve",
               [] { return PlateSolver().solve(g_field.stars).ok(); });
}

/// state.range(0) = 1: with the options the program gives (index files densest first); 0: the
/// installed configuration as it is, for reference.
void BM_BareSolveField(benchmark::State& state) {
    const bool sameOptions = state.range(0) == 1;
    const QStringList indexes = AstrometryIndexFiles();
    timeSolves(state, sameOptions ? g_wallBare : g_wallInstalled, "the picture did not solve", [&] {
        QTemporaryDir dir;
        QStringList args =
            SolveFieldOptions(indexes, g_field.stars.width, g_field.stars.height, dir.path(), SolveOptions{});
        if (!sameOptions) args.remove(args.indexOf(QStringLiteral("--config")), 2); // the option and its file
        QProcess run;
        run.start(QStringLiteral("solve-field"), QStringList{g_picture} + args);
        run.waitForFinished(-1);
        return QFile::exists(dir.filePath(QStringLiteral("field.wcs")));
    });
}

BENCHMARK(BM_SolveStarList)
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareSolveField)
    ->Arg(1)
    ->Arg(0)
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (AstrometryIndexFiles().isEmpty()) {
        std::fprintf(stderr, "astrometry.net index files are missing: run scripts/install-deps\n");
        return 1;
    }
    QTemporaryDir dir;
    g_field = catalogField({84 * Rad, -1.5 * Rad, 2.0, 30.0, 1500, 1000}, 7);
    g_picture = dir.filePath(QStringLiteral("field.fits"));
    if (writeFits(g_picture, g_field.picture, FitsLayout{})) {
        std::fprintf(stderr, "could not write the FITS picture\n");
        return 1;
    }

    benchmark::Initialize(&argc, argv);
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    auto t = [&](const char* name) { return reporter.ms.count(name) ? reporter.ms[name] : 0.0; };
    std::printf("\nsolve-field, 2° field of Tycho-2 stars, %dx%d, %d stars in the list, no scale hint\n",
                g_field.stars.width, g_field.stars.height, int(g_field.stars.stars.size()));
    std::printf("(median CPU times, children included; median wall times below)\n");
    ratioLine("solve from the star list, CPU", t("BM_SolveStarList"), "bare solve-field, CPU",
              t("BM_BareSolveField/1"), 1.0, "ms");
    ratioLine("solve from the star list, wall", median(g_wallList), "bare solve-field, wall",
              median(g_wallBare), 1.0, "ms");
    std::printf("for reference, bare solve-field with the installed configuration (sparsest index first): "
                "CPU %.0f ms, wall %.0f ms\n",
                t("BM_BareSolveField/0"), median(g_wallInstalled));
    return 0;
}
