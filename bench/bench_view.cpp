// Picture view costs against same-run baselines: repainting the picture area at scale 1 and 3
// against a bare drawImage, drawing it zoomed out to a quarter against Qt's own smooth scaling,
// a blink tick zoomed out against one at scale 1, the two frames of the blink taken for a GIF
// against two bare grabs of the picture area, loading a slot against a bare QImageReader
// decode, and the memory that three loaded slots hold against their decoded bytes and what the
// frames keep of their last drawing.

#include "benchpictures.h"
#include "benchreport.h"
#include "shell/clicklabel.h"
#include "shell/panbar.h"
#include "support/fixture.h"
#include "view/imageframe.h"
#include "view/picturebox.h"
#include "view/picturerender.h"

#include <QApplication>
#include <QImageReader>
#include <QPushButton>
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

/// Gives the main window's picture area the size of the benchmarks' area.
void showArea(frmBl& f) {
    f.resize(2200, 1400);
    settle();
    f.pictureArea->setGeometry(Area);
    settle();
}

struct MemoryFigures {
    long empty = 0, threeSlots = 0, afterSelect = 0, afterBlink = 0;
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
    // Zoomed out and blinking through all three slots, every frame keeps its last drawing.
    showArea(f);
    for (int k = 1; k <= 3; ++k)
        f.HScr(k)->setValue(250);
    for (int k = 1; k <= 3; ++k) {
        emit f.Lbl(k)->clicked();
        settle();
    }
    m.afterBlink = residentBytes();
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

// A full drawing zoomed out to a quarter, where the whole picture fills 1500 x 1000 of the area:
// the fraction of the position changes at every round, so nothing kept from the last round can
// be shown instead.
void BM_RenderQuarter(benchmark::State& state) {
    QImage target(PicW / 4, PicH / 4, QImage::Format_RGB32);
    double fraction = 0;
    for (auto _ : state) {
        fraction = fraction > 0.5 ? 0 : fraction + 0.125;
        renderPicture(g_decoded, {fraction, fraction, 0.25}, target, target.rect());
        benchmark::DoNotOptimize(target.constBits());
    }
}

// Qt's own smooth downscaling of the same source rectangle (the whole picture: a quarter of it
// is narrower than the area) to the same size.
void BM_QtSmoothQuarter(benchmark::State& state) {
    for (auto _ : state) {
        QImage scaled = g_decoded.scaled(PicW / 4, PicH / 4, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        benchmark::DoNotOptimize(scaled.constBits());
    }
}

// One blink tick with pictures 1 and 2 at scale state.range(0) / 1000, repainted as the window
// shows it.
void BM_BlinkTick(benchmark::State& state) {
    ScriptedPrompter prompter;
    frmBl& f = freshProgram();
    for (int k = 1; k <= 2; ++k)
        loadSlot(f, prompter, k, g_files[k - 1]);
    showArea(f);
    for (int k = 1; k <= 2; ++k)
        f.HScr(k)->setValue(int(state.range(0)));
    timeBlinkTicks(state, f);
    if (!prompter.messages.isEmpty() || f.pictureArea->size() != Area.size())
        state.SkipWithError("the pictures are not shown in a 1900 x 1000 area");
    DestroyMainForm();
}

// The frames of the blink cycle taken for a GIF, on the GUI thread (state.range(0) 1), against two
// bare grabs of the picture area as it stands (0): what the window pauses for before the file is
// written off the GUI thread.
void BM_BlinkFrames(benchmark::State& state) {
    ScriptedPrompter prompter;
    frmBl& f = freshProgram();
    for (int k = 1; k <= 2; ++k)
        loadSlot(f, prompter, k, g_files[k - 1]);
    showArea(f);
    f.Timer1_Timer();
    settle();
    const QRect area = f.pictureArea->rect();
    QImage frames[2];
    for (auto _ : state) {
        for (int p = 1; p <= 2; ++p)
            frames[p - 1] = state.range(0) ? f.blinkFrame(p, area) : f.pictureArea->grab().toImage();
        benchmark::DoNotOptimize(frames[1].constBits());
    }
    if (!prompter.messages.isEmpty() || frames[0].size() != Area.size() ||
        (frames[0] == frames[1]) != !state.range(0))
        state.SkipWithError("the two phases are not taken from a 1900 x 1000 area");
    DestroyMainForm();
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
BENCHMARK(BM_RenderQuarter)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QtSmoothQuarter)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BlinkFrames)
    ->Arg(0)
    ->Arg(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BlinkTick)
    ->Arg(250)
    ->Arg(1000)
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
    // Both share the work among threads: their times are the CPU time of the whole process.
    const double quarter = t("BM_RenderQuarter"), qtSmooth = t("BM_QtSmoothQuarter");
    if (quarter > 0)
        ratioLine("full drawing at scale 0.25 (all threads)", quarter, "QImage::scaled smooth", qtSmooth, 1.0,
                  "ms");
    const double tickQuarter = t("BM_BlinkTick/250"), tickOne = t("BM_BlinkTick/1000");
    if (tickQuarter > 0)
        ratioLine("blink tick at scale 0.25", tickQuarter, "blink tick at scale 1", tickOne, 1.2, "ms");
    if (const double frames = t("BM_BlinkFrames/1"); frames > 0)
        ratioLine("blink frames for a GIF (2 phases)", frames, "two bare grabs", t("BM_BlinkFrames/0"), 1.3,
                  "ms");
    if (load > 0)
        ratioLine("load slot 1 (menu, dialog, paint)", load, "bare QImageReader", decode, 1.15, "ms");
    if (mem.ok) {
        std::printf("resident: empty window %.1f MB, three slots %.1f MB, after selecting slot 2 %.1f MB\n",
                    mem.empty / mb, mem.threeSlots / mb, mem.afterSelect / mb);
        ratioLine("memory, three slots above empty", (mem.threeSlots - mem.empty) / mb, "3 x decoded bytes",
                  decodedBytes / mb, 1.15, "MB");
        ratioLine("memory, after selecting slot 2", (mem.afterSelect - mem.empty) / mb, "3 x decoded bytes",
                  decodedBytes / mb, 1.15, "MB");
        const double caches = 3.0 * Area.width() * Area.height() * 4;
        ratioLine("memory, zoomed out, all shown", (mem.afterBlink - mem.empty) / mb,
                  "decoded + 3 frame caches", (decodedBytes + caches) / mb, 1.15, "MB");
    } else {
        std::printf("memory: not measured, %s\n", qPrintable(mem.problem));
    }
    return 0;
}
