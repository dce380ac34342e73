// 6000 x 4000 FITS pictures, 16-bit and 32-bit float: loading each into slot 1 (read, stretch,
// show) against a bare cfitsio read of the same image into memory, and the memory the loaded slot
// holds against the bytes of the 8-bit picture it keeps. The program decodes FITS in a child
// process, so every figure here is the CPU time of this process and its children, taken around
// each iteration. Benchmark argument 0 is the 16-bit file, 1 the float one.

#include "benchreport.h"
#include "support/fixture.h"
#include "view/fitsimage.h"
#include "view/imageframe.h"
#include "view/picturefile.h"

#include <QApplication>
#include <QRandomGenerator>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <fitsio.h>
#include <memory>
#include <unistd.h>

using namespace vorlan;
using namespace vorlan::test;

namespace {

constexpr long PicW = 6000;
constexpr long PicH = 4000;
QString g_files[2]; // 16-bit, float

/// An unsigned 16-bit sky as a camera writes it: background about 1000 counts with noise, a few
/// thousand stars up to 60000 counts. As float the same sky is calibrated data: dark-subtracted,
/// flat-fielded (so no longer whole counts) and with a column of blank (NaN) pixels.
bool writeSky(const QString& path, bool asFloat) {
    QRandomGenerator rng(4242);
    std::vector<quint16> sky(size_t(PicW) * PicH);
    for (quint16& v : sky) // the sum of four uniform numbers is near enough to normal noise
        v = quint16(940 + rng.bounded(31) + rng.bounded(31) + rng.bounded(31) + rng.bounded(31));
    for (int i = 0; i < 4000; ++i) {
        const int cx = int(rng.bounded(int(PicW))), cy = int(rng.bounded(int(PicH)));
        const double peak = 2000 + rng.bounded(58000.0);
        for (int y = std::max(0, cy - 6); y <= std::min(int(PicH) - 1, cy + 6); ++y)
            for (int x = std::max(0, cx - 6); x <= std::min(int(PicW) - 1, cx + 6); ++x) {
                quint16& v = sky[size_t(y) * PicW + x];
                const double r2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
                v = quint16(std::min(65535.0, v + peak * std::exp(-r2 / 4.5)));
            }
    }
    QFile::remove(path);
    int status = 0;
    fitsfile* f = nullptr;
    fits_create_file(&f, QFile::encodeName(path).constData(), &status);
    long naxes[2] = {PicW, PicH};
    fits_create_img(f, asFloat ? FLOAT_IMG : USHORT_IMG, 2, naxes, &status);
    long first[2] = {1, 1};
    if (asFloat) {
        std::vector<float> calibrated(sky.size());
        for (size_t i = 0; i < sky.size(); ++i)
            calibrated[i] = i % PicW == 1234 ? NAN : (float(sky[i]) - 1000.0f) * 1.037f;
        fits_write_pix(f, TFLOAT, first, LONGLONG(sky.size()), calibrated.data(), &status);
    } else {
        fits_write_pix(f, TUSHORT, first, LONGLONG(sky.size()), sky.data(), &status);
    }
    fits_close_file(f, &status);
    return status == 0;
}

struct MemoryFigures {
    long empty = 0, loaded = 0;
    qint64 pictureBytes = 0;
    QString problem;
};

/// Resident memory of the program with the empty main window, then with the FITS picture in
/// slot 1. Measured before the benchmarks, so their freed heap does not blur the figures.
MemoryFigures measureMemory() {
    MemoryFigures m;
    ScriptedPrompter prompter;
    frmBl& f = freshProgram();
    settle();
    m.empty = residentBytes();
    loadSlot(f, prompter, 1, g_files[0]);
    settle();
    m.loaded = residentBytes();
    m.pictureBytes = f.Img1->picture().sizeInBytes();
    if (!prompter.messages.isEmpty())
        m.problem = prompter.messages.join(QStringLiteral(" | "));
    else if (f.Img1->picture().size() != QSize(PicW, PicH))
        m.problem = QStringLiteral("slot 1 not loaded");
    DestroyMainForm();
    return m;
}

/// The pixels as they are stored, into memory, without a check for blank ones: 16-bit levels, or
/// floats (whose blank ones are NaN as stored).
void BM_BareCfitsioRead(benchmark::State& state) {
    const bool asFloat = state.range(0) == 1;
    for (auto _ : state) {
        const double start = cpuSecondsWithChildren();
        int status = 0;
        fitsfile* f = nullptr;
        fits_open_diskfile(&f, QFile::encodeName(g_files[state.range(0)]).constData(), READONLY, &status);
        std::unique_ptr<quint32[]> pixels(new quint32[size_t(PicW) * PicH / (asFloat ? 1 : 2)]);
        long first[2] = {1, 1};
        int anyNull = 0;
        fits_read_pix(f, asFloat ? TFLOAT : TUSHORT, first, PicW * PicH, nullptr, pixels.get(), &anyNull,
                      &status);
        fits_close_file(f, &status);
        if (status) state.SkipWithError("cfitsio read failed");
        benchmark::DoNotOptimize(pixels.get());
        pixels.reset();
        state.SetIterationTime(cpuSecondsWithChildren() - start);
    }
}

void BM_DecodeFits(benchmark::State& state) {
    for (auto _ : state) {
        const double start = cpuSecondsWithChildren();
        {
            const DecodedPicture p = decodePictureFile(g_files[state.range(0)]);
            if (!p.ok())
                state.SkipWithError("decode failed");
            else
                benchmark::DoNotOptimize(p.value().constBits());
        }
        state.SetIterationTime(cpuSecondsWithChildren() - start);
    }
}

/// The same decode into one byte a pixel, as a grey picture will be held once the program keeps
/// grey pictures in 8 bits: a quarter of the bytes to write.
void BM_DecodeFitsGrey8(benchmark::State& state) {
    for (auto _ : state) {
        const double start = cpuSecondsWithChildren();
        {
            const DecodedPicture p = decodeFitsFile(g_files[0], qint64(1) << 34, QImage::Format_Grayscale8);
            if (!p.ok())
                state.SkipWithError("decode failed");
            else
                benchmark::DoNotOptimize(p.value().constBits());
        }
        state.SetIterationTime(cpuSecondsWithChildren() - start);
    }
}

void BM_LoadSlotFits(benchmark::State& state) {
    ScriptedPrompter prompter;
    frmBl& f = freshProgram();
    settle();
    for (auto _ : state) {
        const double start = cpuSecondsWithChildren();
        loadSlot(f, prompter, 1, g_files[state.range(0)]);
        settle(); // the repaint that shows the picture belongs to the load
        state.SetIterationTime(cpuSecondsWithChildren() - start);
    }
    if (!prompter.messages.isEmpty() || f.Img1->picture().size() != QSize(PicW, PicH))
        state.SkipWithError("slot 1 did not load");
    DestroyMainForm();
}

BENCHMARK(BM_BareCfitsioRead)
    ->Arg(0)
    ->Arg(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->MinTime(1.0)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeFits)
    ->Arg(0)
    ->Arg(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->MinTime(1.0)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeFitsGrey8)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->MinTime(1.0)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadSlotFits)
    ->Arg(0)
    ->Arg(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->MinTime(1.0)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QTemporaryDir dir;
    g_files[0] = dir.filePath(QStringLiteral("sky16.fits"));
    g_files[1] = dir.filePath(QStringLiteral("skyfloat.fits"));
    if (!writeSky(g_files[0], false) || !writeSky(g_files[1], true)) {
        std::fprintf(stderr, "could not write the FITS picture\n");
        return 1;
    }
    const MemoryFigures mem = measureMemory();

    benchmark::Initialize(&argc, argv);
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    auto t = [&](const std::string& name) { return reporter.ms.count(name) ? reporter.ms[name] : 0.0; };
    const double mb = 1024.0 * 1024.0;
    std::printf("\nFITS, %ldx%ld (median CPU times, children included)\n", PicW, PicH);
    for (int kind : {0, 1}) {
        const std::string arg = "/" + std::to_string(kind), what = kind == 0 ? "16-bit: " : "float: ";
        const double bare = t("BM_BareCfitsioRead" + arg);
        ratioLine((what + "decode + stretch").c_str(), t("BM_DecodeFits" + arg), "bare cfitsio read", bare,
                  1.5, "ms");
        ratioLine((what + "load slot 1 (menu, paint)").c_str(), t("BM_LoadSlotFits" + arg),
                  "bare cfitsio read", bare, 1.5, "ms");
        if (kind == 0)
            ratioLine("16-bit: decode into 8-bit grey", t("BM_DecodeFitsGrey8"), "bare cfitsio read", bare,
                      1.5, "ms");
    }
    if (mem.problem.isEmpty()) {
        std::printf("resident: empty window %.1f MB, FITS in slot 1 %.1f MB; the slot's picture %.1f MB\n",
                    mem.empty / mb, mem.loaded / mb, double(mem.pictureBytes) / mb);
        ratioLine("memory, slot 1 above empty", (mem.loaded - mem.empty) / mb, "picture's bytes",
                  double(mem.pictureBytes) / mb, 1.15, "MB");
    } else {
        std::printf("memory: not measured, %s\n", qPrintable(mem.problem));
    }
    return 0;
}
