// Picture view costs against same-run baselines: repainting the picture area at scale 1 and 3
// against a bare drawImage, loading a slot against a bare QImageReader decode, and the memory
// that three loaded slots hold against their decoded bytes.

#include "benchpictures.h"
#include "benchreport.h"
#include "shell/clicklabel.h"
#include "support/fixture.h"
#include "view/imageframe.h"
#include "view/picturebox.h"

#include <QApplication>
#include <QImageReader>
#include <QRandomGenerator>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>
#include <string>
#include <unistd.h>

using namespace vorlan;
using namespace vorlan::test;

namespace {

QStringList g_files;
QImage g_decoded;

struct MemoryFigures {
    long empty = 0, threeSlots = 0, afterSelect = 0;
    bool ok = false;
    QString problem;
};

/// Resident memory of the program with the empty main window, then with three loaded slots.
/// Runs before any benchmark so that their freed heap does not blur the figures.
MemoryFigures measureMemory() {
    MemoryFigures m;
    ScriptedPrompter prompter;
    frmBl& f = freshProgram();
    settle();
    m.empty = residentBytes();
    for (int k = 1; k <= 3; ++k)
        loadSlot(f, prompter, k, g_files[k - 1]);
    settle();
    m.threeSlots = residentBytes();
    // Selecting a slot lets Pic1 share its picture; that must not cost another copy.
    emit f.Lbl2->clicked();
    settle();
    m.afterSelect = residentBytes();
    m.ok = prompter.messages.isEmpty();
    for (int k = 1; k <= 3 && m.ok; ++k)
        if (f.Img(k)->picture().size() != QSize(PicW, PicH)) {
            m.ok = false;
            m.problem = QStringLiteral("slot %1 not loaded").arg(k);
        }
    if (!prompter.messages.isEmpty()) m.problem = prompter.messages.join(QStringLiteral(" | "));
    DestroyMainForm();
    return m;
}

void BM_FrameRepaint(benchmark::State& state) {
    const int scale = int(state.range(0));
    ImageFrame frame;
    frame.resize(PicW * scale, PicH * scale);
    frame.setPicture(g_decoded);
    QImage target(Area.size(), QImage::Format_RGB32);
    const QRegion visible(QRect(AreaOrigin * scale, Area.size()));
    for (auto _ : state) {
        frame.render(&target, QPoint(), visible);
        benchmark::DoNotOptimize(target.constBits());
    }
    // The frame must really have drawn the picture: compare one pixel with the source.
    const QPoint probe(Area.width() / 2, Area.height() / 2);
    const QPoint src((AreaOrigin.x() * scale + probe.x()) / scale,
                     (AreaOrigin.y() * scale + probe.y()) / scale);
    if (target.pixel(probe) != g_decoded.pixel(src)) state.SkipWithError("repaint does not show the picture");
}

void BM_BareDrawImage(benchmark::State& state) {
    const int scale = int(state.range(0));
    QImage target(Area.size(), QImage::Format_RGB32);
    const QRectF source(AreaOrigin, QSizeF(Area.size()) / scale);
    for (auto _ : state) {
        QPainter p(&target);
        p.drawImage(QRectF(Area), g_decoded, source);
        p.end();
        benchmark::DoNotOptimize(target.constBits());
    }
}

BENCHMARK(BM_FrameRepaint)
    ->Arg(1)
    ->Arg(3)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareDrawImage)
    ->Arg(1)
    ->Arg(3)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QImageReader::setAllocationLimit(0);
    QTemporaryDir dir;
    for (int i = 0; i < 3; ++i)
        g_files << savePicture(dir, QStringLiteral("sky%1.jpg").arg(i + 1), noisyStarField(20240 + i));
    g_decoded = QImageReader(g_files[0]).read();
    if (g_decoded.size() != QSize(PicW, PicH)) {
        std::fprintf(stderr, "could not decode the generated picture\n");
        return 1;
    }

    const MemoryFigures mem = measureMemory();

    registerLoadBenchmarks(g_files[0], [](const QImage& p) { return p.size() == QSize(PicW, PicH); });
    benchmark::Initialize(&argc, argv);
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    auto t = [&](const char* name) { return reporter.ms.count(name) ? reporter.ms[name] : 0.0; };
    const double f1 = t("BM_FrameRepaint/1"), f3 = t("BM_FrameRepaint/3");
    const double b1 = t("BM_BareDrawImage/1"), b3 = t("BM_BareDrawImage/3");
    const double load = t("BM_LoadSlot"), decode = t("BM_BareDecode");
    const double mb = 1024.0 * 1024.0;
    const double decodedBytes = 3.0 * double(g_decoded.sizeInBytes());

    std::printf("\nPicture view, %dx%d JPEG, 1900x1000 picture area (median CPU times)\n", PicW, PicH);
    if (f1 > 0 && f3 > 0) {
        ratioLine("repaint, frame at scale 3", f3, "frame at scale 1", f1, 1.3, "ms");
        ratioLine("repaint, frame at scale 1", f1, "bare drawImage 1:1", b1, 1.5, "ms");
        ratioLine("repaint, frame at scale 3", f3, "bare drawImage 1:3", b3, 1.5, "ms");
    }
    if (load > 0)
        ratioLine("load slot 1 (menu, dialog, paint)", load, "bare QImageReader", decode, 1.15, "ms");
    if (mem.ok) {
        std::printf("resident: empty window %.1f MB, three slots %.1f MB, after selecting slot 2 %.1f MB\n",
                    mem.empty / mb, mem.threeSlots / mb, mem.afterSelect / mb);
        ratioLine("memory, three slots above empty", (mem.threeSlots - mem.empty) / mb, "3 x decoded bytes",
                  decodedBytes / mb, 1.15, "MB");
        ratioLine("memory, after selecting slot 2", (mem.afterSelect - mem.empty) / mb, "3 x decoded bytes",
                  decodedBytes / mb, 1.15, "MB");
    } else {
        std::printf("memory: not measured, %s\n", qPrintable(mem.problem));
    }
    return 0;
}
