// Long runs against same-run baselines: turning a 6000 x 4000 picture onto picture 1 from the
// menu against a bare scanLine loop doing the same 2 x 2 splat with an event pass per row, and
// a 200 x 200 cut-out of two pictures by Shift + click against a bare per-pixel copy with an
// event pass per pixel.

#include "benchreport.h"
#include "cutout/canvasbox.h"
#include "cutout/frmpiccopy.h"
#include "registration/rotation.h"
#include "support/fixture.h"
#include "view/imageframe.h"

#include <QAction>
#include <QApplication>
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdio>

using namespace vorlan;
using namespace vorlan::test;

namespace {

constexpr int PicW = 6000;
constexpr int PicH = 4000;
constexpr double TurnDegrees = 30;
constexpr int CutPicW = 1000;
constexpr int CutPicH = 800;
constexpr int Region = 200;

QImage g_big;
QImage g_cut1, g_cut2;

/// A program with picture 2 turned by TurnDegrees against picture 1 (held by the slot, no file).
frmBl& rotationProgram() {
    frmBl& f = freshProgram();
    SharedState& s = State();
    f.Img2->setPicture(g_big);
    s.PictureCount = 2;
    s.PictureWidth2 = PicW;
    s.PictureHeight2 = PicH;
    s.Point1X1 = s.Point1Y1 = s.Point1X2 = s.Point1Y2 = 1500;
    s.Point2X1 = 3000;
    s.Point2Y1 = 1500;
    const double a = TurnDegrees / 57.2957795130823;
    s.Point2X2 = float(1500 + 1500 * std::cos(a));
    s.Point2Y2 = float(1500 + 1500 * std::sin(a));
    return f;
}

void BM_RotateFromMenu(benchmark::State& state) {
    ScriptedPrompter prompter;
    frmBl& f = rotationProgram();
    for (auto _ : state) {
        f.mnuVirovnjat->trigger();
        benchmark::DoNotOptimize(PicCopyForm().Pic1->image().constBits());
    }
    if (!prompter.messages.isEmpty()) state.SkipWithError(qPrintable(prompter.messages.join(" ")));
    DestroyMainForm();
}

/// The same splat written plainly: the matrix and std::floor per position, every read and write
/// checked, an event pass per row.
void BM_BareSplat(benchmark::State& state) {
    ScriptedPrompter prompter;
    rotationProgram();
    const float angle = float(TurnDegrees / 57.2957795130823);
    const QSize size = rotatedCanvasSize(PicW, PicH, angle);
    const double c = std::cos(double(angle)), s = std::sin(double(angle));
    const double cx = PicW / 2.0, cy = PicH / 2.0, ncx = size.width() / 2.0, ncy = size.height() / 2.0;
    for (auto _ : state) {
        QImage canvas(size, QImage::Format_RGB32);
        canvas.fill(0xff808080);
        for (int y = 0; y <= PicH; ++y) {
            for (int x = 0; x <= PicW; ++x) {
                const double dx = x - cx, dy = cy - y;
                const int nx = int(std::floor(dx * c - dy * s + ncx));
                const int ny = int(std::floor(ncy - (dx * s + dy * c)));
                const int sx[4] = {x, x + 1, x + 1, x}, sy[4] = {y, y, y + 1, y + 1};
                const int tx[4] = {nx, nx + 1, nx + 1, nx}, ty[4] = {ny, ny, ny + 1, ny + 1};
                for (int i = 0; i < 4; ++i) {
                    if (sx[i] >= PicW || sy[i] >= PicH || tx[i] < 0 || ty[i] < 0 || tx[i] >= size.width() ||
                        ty[i] >= size.height())
                        continue;
                    reinterpret_cast<QRgb*>(canvas.scanLine(ty[i]))[tx[i]] =
                        reinterpret_cast<const QRgb*>(g_big.constScanLine(sy[i]))[sx[i]];
                }
            }
            QCoreApplication::processEvents();
        }
        benchmark::DoNotOptimize(canvas.constBits());
    }
    DestroyMainForm();
}

/// The program's own row kernel in a bare loop: what the menu path costs beyond it is the
/// window's part (announcement, canvas, progress text, hiding).
void BM_KernelLoop(benchmark::State& state) {
    ScriptedPrompter prompter;
    rotationProgram();
    const RotationGeometry g = rotationGeometry(PicW, PicH, float(TurnDegrees / 57.2957795130823));
    for (auto _ : state) {
        QImage canvas(g.canvas, QImage::Format_RGB32);
        canvas.fill(0xff808080);
        for (int y = 0; y <= PicH; ++y) {
            rotateRow(g_big, canvas, g, y);
            QCoreApplication::processEvents();
        }
        benchmark::DoNotOptimize(canvas.constBits());
    }
    DestroyMainForm();
}

frmBl& cutOutProgram() {
    frmBl& f = freshProgram();
    SharedState& s = State();
    f.Img1->setPicture(g_cut1);
    f.Img2->setPicture(g_cut2);
    s.PictureCount = 2;
    s.DisplayScale1 = s.DisplayScale2 = 1;
    s.PictureWidth1 = s.PictureWidth2 = CutPicW;
    s.PictureHeight1 = s.PictureHeight2 = CutPicH;
    return f;
}

void BM_CutOutShiftClick(benchmark::State& state) {
    ScriptedPrompter prompter;
    frmBl& f = cutOutProgram();
    for (auto _ : state)
        f.Img_MouseDown(1, 1, 1, 500 * 15.0f, 400 * 15.0f);
    if (!prompter.messages.isEmpty()) state.SkipWithError(qPrintable(prompter.messages.join(" ")));
    DestroyMainForm();
}

/// Both regions (201 x 201 pixels each, both ends included) copied pixel by pixel into a canvas,
/// with an event pass per pixel.
void BM_BarePixelCopy(benchmark::State& state) {
    ScriptedPrompter prompter;
    cutOutProgram();
    PicCopyForm().show();
    for (auto _ : state) {
        QImage canvas(2 * Region + 30, Region, QImage::Format_RGB32);
        canvas.fill(0xff808080);
        for (const QImage* src : {&g_cut1, &g_cut2}) {
            const int offset = src == &g_cut1 ? 0 : Region + 15;
            for (int y = 0; y <= Region; ++y)
                for (int x = 0; x <= Region; ++x) {
                    if (y < Region)
                        reinterpret_cast<QRgb*>(canvas.scanLine(y))[x + offset] =
                            reinterpret_cast<const QRgb*>(src->constScanLine(300 + y))[400 + x];
                    QCoreApplication::processEvents();
                }
        }
        benchmark::DoNotOptimize(canvas.constBits());
    }
    DestroyMainForm();
}

} // namespace

BENCHMARK(BM_RotateFromMenu)
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareSplat)
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KernelLoop)
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CutOutShiftClick)->Repetitions(5)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BarePixelCopy)->Repetitions(5)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vorlan"));
    g_big = gradientPicture(PicW, PicH);
    g_cut1 = gradientPicture(CutPicW, CutPicH);
    g_cut2 = g_cut1.copy();
    g_cut2.invertPixels();

    benchmark::Initialize(&argc, argv);
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    auto t = [&](const char* name) { return reporter.ms.count(name) ? reporter.ms[name] : 0.0; };
    std::printf("\nLong runs (median CPU times)\n");
    ratioLine("rotate 6000x4000 by 30 deg (menu)", t("BM_RotateFromMenu"), "bare splat loop",
              t("BM_BareSplat"), 1.2, "ms");
    ratioLine("rotate 6000x4000 by 30 deg (menu)", t("BM_RotateFromMenu"), "its row kernel, bare loop",
              t("BM_KernelLoop"), 1.2, "ms");
    ratioLine("cut-out 2 x 200x200 (Shift+click)", t("BM_CutOutShiftClick"), "bare per-pixel copy",
              t("BM_BarePixelCopy"), 2.0, "ms");
    return 0;
}
