// A series registered and stacked against the bare cfitsio read of all its files, re-stacking
// against the same read, and the memory a stacking run takes at its peak against the frames' and
// stacks' bytes. The size comes from VORLAN_SERIES_BENCH="frames width height".

#include "benchreport.h"
#include "series/seriesregistration.h"
#include "series/seriesstack.h"
#include "support/seriesframes.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <fitsio.h>
#include <fstream>
#include <memory>
#include <string>

using namespace vorlan;
using namespace vorlan::test;

namespace {

SeriesScene g_scene;
WrittenSeries g_files;
SeriesRegistration g_registered;

/// The high-water mark of this process's resident memory, bytes (VmHWM).
long residentPeak() {
    std::ifstream status("/proc/self/status");
    std::string key;
    long kb = 0;
    while (status >> key)
        if (key == "VmHWM:" && status >> kb) return kb * 1024;
    return 0;
}

/// Starts the high-water mark afresh at the present resident size; false where Linux cannot.
bool resetResidentPeak() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    return bool(clear);
}

void BM_BareCfitsioReadAll(benchmark::State& state) {
    const size_t pixels = size_t(g_scene.width) * g_scene.height;
    for (auto _ : state) {
        const double start = cpuSecondsWithChildren();
        for (const QString& path : g_files.paths) {
            int status = 0;
            fitsfile* f = nullptr;
            fits_open_diskfile(&f, QFile::encodeName(path).constData(), READONLY, &status);
            std::unique_ptr<quint16[]> values(new quint16[pixels]);
            long first[2] = {1, 1};
            int anyNull = 0;
            fits_read_pix(f, TUSHORT, first, LONGLONG(pixels), nullptr, values.get(), &anyNull, &status);
            fits_close_file(f, &status);
            if (status) state.SkipWithError("cfitsio read failed");
            benchmark::DoNotOptimize(values.get());
        }
        state.SetIterationTime(cpuSecondsWithChildren() - start);
    }
}

void BM_RegisterAndStack(benchmark::State& state) {
    for (auto _ : state) {
        const double start = cpuSecondsWithChildren();
        g_registered = registerSeries(g_files.paths);
        const Outcome<SeriesStacks> stacks = stackSeries(g_registered);
        if (!stacks.ok()) state.SkipWithError(qPrintable(stacks.reason()));
        state.SetIterationTime(cpuSecondsWithChildren() - start);
    }
}

void BM_Restack(benchmark::State& state) {
    StackOptions options;
    options.resampling = state.range(0) ? StackResampling::Bicubic : StackResampling::Bilinear;
    for (auto _ : state) {
        const double start = cpuSecondsWithChildren();
        const Outcome<SeriesStacks> stacks = stackSeries(g_registered, options);
        if (!stacks.ok()) state.SkipWithError(qPrintable(stacks.reason()));
        state.SetIterationTime(cpuSecondsWithChildren() - start);
    }
}

BENCHMARK(BM_BareCfitsioReadAll)->Repetitions(3)->ReportAggregatesOnly(true)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RegisterAndStack)->Repetitions(3)->ReportAggregatesOnly(true)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Restack)->Arg(0)->Arg(1)->Repetitions(3)->ReportAggregatesOnly(true)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

struct MemoryFigures {
    double peakAbove = 0; ///< bytes above the resident size before the run
    double wallSeconds = 0;
    QString problem;
};

/// One register-and-stack run on its own, its resident peak above where it started.
MemoryFigures measureMemory() {
    MemoryFigures m;
    const long before = residentBytes();
    if (!resetResidentPeak()) {
        m.problem = QStringLiteral("/proc/self/clear_refs cannot be written");
        return m;
    }
    QElapsedTimer wall;
    wall.start();
    const SeriesRegistration registered = registerSeries(g_files.paths);
    const Outcome<SeriesStacks> stacks = stackSeries(registered);
    m.wallSeconds = wall.elapsed() / 1000.0;
    if (!stacks.ok()) m.problem = stacks.reason();
    m.peakAbove = double(residentPeak() - before);
    return m;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // The goal's frames are 6000 x 4000; fewer of them than its 50 keep a run within minutes on
    // a small machine, and every ratio compares the same frames on both sides.
    g_scene.frames = 24;
    g_scene.width = 6000;
    g_scene.height = 4000;
    g_scene.stars = 1500;
    const QStringList size = qEnvironmentVariable("VORLAN_SERIES_BENCH").split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (size.size() == 3) {
        g_scene.frames = size[0].toInt();
        g_scene.width = size[1].toInt();
        g_scene.height = size[2].toInt();
    }
    QTemporaryDir dir;
    g_files = writeSeries(g_scene, dir.path());
    const MemoryFigures mem = measureMemory();

    const auto t = runForMedians(argc, argv);
    const double bare = t("BM_BareCfitsioReadAll");
    std::printf("\nSeries of %d frames of %dx%d, 16-bit FITS (median CPU times of every thread)\n", g_scene.frames,
                g_scene.width, g_scene.height);
    if (g_scene.frames != 50 || g_scene.width != 6000 || g_scene.height != 4000)
        std::printf("The goals name 50 frames of 6000x4000; this run has %d of %dx%d (VORLAN_SERIES_BENCH=\"frames "
                    "width height\"), the same frames on both sides of each ratio.\n",
                    g_scene.frames, g_scene.width, g_scene.height);
    const double frames = g_scene.frames;
    std::printf("per frame: bare read %.1f ms, register + stack %.1f ms, re-stack bilinear %.1f ms, bicubic %.1f ms\n",
                bare / frames, t("BM_RegisterAndStack") / frames, t("BM_Restack/0") / frames, t("BM_Restack/1") / frames);
    ratioLine("register + stack (3 stacks)", t("BM_RegisterAndStack"), "bare cfitsio read", bare, 2.5, "ms");
    ratioLine("re-stack, bilinear", t("BM_Restack/0"), "bare cfitsio read", bare, 1.5, "ms");
    ratioLine("re-stack, bicubic", t("BM_Restack/1"), "bare cfitsio read", bare, 1.5, "ms");
    const double mb = 1024.0 * 1024.0;
    const double frameFloat = double(g_scene.width) * g_scene.height * sizeof(float);
    if (mem.problem.isEmpty()) {
        std::printf("one register + stack run took %.1f s of wall time\n", mem.wallSeconds);
        ratioLine("memory peak, register + stack", mem.peakAbove / mb, "4 frames + 3 stacks", 7 * frameFloat / mb,
                  1.0, "MB");
    } else {
        std::printf("memory: not measured, %s\n", qPrintable(mem.problem));
    }
    return 0;
}
