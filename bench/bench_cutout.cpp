// Long runs against same-run baselines: turning a 6000 x 4000 picture onto picture 1 from the
// menu against a bare scanLine loop doing the same 2 x 2 splat, and a 2000 x 2000 cut-out of two
// pictures by Shift + click against a bare per-pixel copy. Both runs go through the job runner,
// so their times are the process's CPU time (worker and GUI thread together), to the end of the
// run as the window handles it. Last, how often the cut-out window repaints during such a run.

#include "benchreport.h"
#include "cutout/canvasbox.h"
#include "cutout/frmpiccopy.h"
#include "registration/rotation.h"
#include "support/fixture.h"
#include "view/imageframe.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLineEdit>
#include <QTimer>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdio>
#include <functional>

using namespace vorlan;
using namespace vorlan::test;

namespace {

constexpr int PicW = 6000;
constexpr int PicH = 4000;
constexpr double TurnDegrees = 30;
constexpr int CutPicW = 2400;
constexpr int CutPicH = 2200;
constexpr int Region = 2000;

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
        if (!jobEnds(f)) state.SkipWithError("the rotation did not end");
        benchmark::DoNotOptimize(PicCopyForm().Pic1->image().constBits());
    }
    if (!prompter.messages.isEmpty()) state.SkipWithError(qPrintable(prompter.messages.join(" ")));
    DestroyMainForm();
}

/// The same splat written plainly: the matrix and std::floor per position, every read and write
/// checked.
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
        for (int y = 0; y <= PicH; ++y)
            rotateRow(g_big, canvas, g, y);
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
    for (QLineEdit* size : {PicCopyForm().txtW, PicCopyForm().txtH})
        size->setText(QString::number(Region));
    return f;
}

/// The spot of the cut-out: the middle of the pictures, in picture twips.
constexpr float SpotX = CutPicW / 2 * 15.0f;
constexpr float SpotY = CutPicH / 2 * 15.0f;

void BM_CutOutShiftClick(benchmark::State& state) {
    ScriptedPrompter prompter;
    frmBl& f = cutOutProgram();
    for (auto _ : state) {
        f.Img_MouseDown(1, 1, 1, SpotX, SpotY);
        if (!jobEnds(f)) state.SkipWithError("the cut-out did not end");
    }
    if (!prompter.messages.isEmpty()) state.SkipWithError(qPrintable(prompter.messages.join(" ")));
    DestroyMainForm();
}

/// Both regions (2001 x 2001 pixels each, both ends included) copied pixel by pixel into a fresh
/// canvas.
void BM_BarePixelCopy(benchmark::State& state) {
    ScriptedPrompter prompter;
    cutOutProgram();
    const int left = CutPicW / 2 - Region / 2, top = CutPicH / 2 - Region / 2;
    for (auto _ : state) {
        QImage canvas(2 * Region + 30, Region, QImage::Format_RGB32);
        canvas.fill(0xff808080);
        for (const QImage* src : {&g_cut1, &g_cut2}) {
            const int offset = src == &g_cut1 ? 0 : Region + 15;
            for (int y = 0; y <= Region; ++y)
                for (int x = 0; x <= Region; ++x)
                    if (y < Region)
                        reinterpret_cast<QRgb*>(canvas.scanLine(y))[x + offset] =
                            reinterpret_cast<const QRgb*>(src->constScanLine(top + y))[left + x];
        }
        benchmark::DoNotOptimize(canvas.constBits());
    }
    DestroyMainForm();
}

/// Records when a widget is painted.
class PaintCounter : public QObject {
  public:
    QList<qint64> at; ///< milliseconds since the clock started
    QElapsedTimer clock;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) at << clock.elapsed();
        return false;
    }
};

/// Paints of the cut-out window while `running` holds, the window asked to repaint every 20 ms
/// as an expose by another window would: how many, over how long, and the longest time without
/// one (the start and the end of the span count as bounds).
struct Repaints {
    int count = 0;
    qint64 spanMs = 0, longestGapMs = 0;
};
Repaints repaintsWhile(frmPicCopy& form, const std::function<void()>& start,
                       const std::function<bool()>& running) {
    // The frame of controls is painted once in every repaint of the window.
    PaintCounter paints;
    form.Frame1->installEventFilter(&paints);
    QTimer expose;
    QObject::connect(&expose, &QTimer::timeout, &form, [&form] { form.update(); });
    expose.start(20);
    paints.clock.start();
    start();
    const qint64 startedAt = paints.clock.elapsed();
    while (running())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const qint64 endedAt = paints.clock.elapsed();
    expose.stop();
    form.Frame1->removeEventFilter(&paints);
    QList<qint64> marks{startedAt};
    for (qint64 t : paints.at)
        if (t > startedAt && t < endedAt) marks << t;
    marks << endedAt;
    Repaints r{int(marks.size()) - 2, endedAt - startedAt, 0};
    for (int i = 1; i < marks.size(); ++i)
        r.longestGapMs = std::max(r.longestGapMs, marks[i] - marks[i - 1]);
    return r;
}

/// Repaints of the cut-out window during a 2000 x 2000 cut-out, beside the same window left idle
/// for as long (what the machine's load alone allows). The first cut-out grows the window to
/// 4100 x 2230 pixels, and the first repaint of the grown window is a cost of its own, so the goal
/// is measured on the next cut-out; the first is printed for comparison.
void repaintsDuringACutOut() {
    ScriptedPrompter prompter;
    frmBl& f = cutOutProgram();
    frmPicCopy& form = PicCopyForm();
    form.show();
    settle();
    auto cutOut = [&f] {
        return repaintsWhile(
            PicCopyForm(), [&f] { f.Img_MouseDown(1, 1, 1, SpotX, SpotY); }, [&f] { return f.jobs().busy(); });
    };
    const Repaints first = cutOut();
    settle();
    const Repaints next = cutOut();
    QElapsedTimer idle;
    const Repaints still = repaintsWhile(
        form, [&idle] { idle.start(); }, [&idle, &next] { return idle.elapsed() < next.spanMs; });
    std::printf("cut-out 2 x 2000x2000, first (window grows): repainted %d times in %lld ms, longest "
                "without a repaint %lld ms\n",
                first.count, first.spanMs, first.longestGapMs);
    const bool ok = prompter.messages.isEmpty() && next.longestGapMs <= 100;
    std::printf("cut-out 2 x 2000x2000, next: repainted %d times in %lld ms, longest without a repaint %lld ms "
                "(goal <= 100 ms, 10 a second) %s; idle for as long: %d times, longest %lld ms\n",
                next.count, next.spanMs, next.longestGapMs, ok ? "met" : "MISSED", still.count,
                still.longestGapMs);
    DestroyMainForm();
}

} // namespace

BENCHMARK(BM_RotateFromMenu)
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareSplat)
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KernelLoop)
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CutOutShiftClick)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BarePixelCopy)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);

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
    std::printf("\nLong runs (median CPU times of the process)\n");
    ratioLine("rotate 6000x4000 by 30 deg (menu)", t("BM_RotateFromMenu"), "bare splat loop",
              t("BM_BareSplat"), 1.2, "ms");
    ratioLine("rotate 6000x4000 by 30 deg (menu)", t("BM_RotateFromMenu"), "its row kernel, bare loop",
              t("BM_KernelLoop"), 1.2, "ms");
    ratioLine("cut-out 2 x 2000x2000 (Shift+click)", t("BM_CutOutShiftClick"), "bare per-pixel copy",
              t("BM_BarePixelCopy"), 2.0, "ms");
    repaintsDuringACutOut();
    return 0;
}
