// The cursor sky readout against one QLabel::setText measured in the same run: the whole
// spherical solution runs on every mouse move over picture 1, with nothing cached.

#include "benchreport.h"
#include "sky/platesolution.h"
#include "sky/skytext.h"
#include "support/fixture.h"
#include "view/imageframe.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <cmath>

using namespace vorlan;
using namespace vorlan::test;

namespace {

/// Cursor positions over an 800 x 600 picture, twips; cycled so no two moves are alike.
std::vector<TwipPoint> g_cursor;
MarkedStars g_marked;

/// Picture 1 with two Pleiades stars marked and typed in, readout on.
frmBl& readyProgram() {
    frmBl& f = freshProgram();
    f.Img1->setPicture(QImage(800, 600, QImage::Format_RGB32));
    f.Img1->resize(800, 600);
    f.Img1->show();
    SharedState& s = State();
    s.DisplayScale1 = 1;
    s.Point1X1 = 3405, s.Point1Y1 = 4560, s.Point2X1 = 8910, s.Point2Y1 = 3375;
    s.StarRA1 = 0.98079f, s.StarDec1 = 0.42088f, s.StarRA2 = 0.99950f, s.StarDec2 = 0.41984f;
    f.mnuKoordinat->setEnabled(true);
    g_marked = MarkedStarsFromState();
    // Let the window be exposed, or repaint() would skip the painting.
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
    for (int i = 0; i < 64; ++i)
        g_cursor.push_back({float(150 + (i * 1871) % 11700), float(150 + (i * 977) % 8700)});
    return f;
}

void BM_SkySolution(benchmark::State& state) {
    size_t i = 0;
    for (auto _ : state) {
        const SkyFix fix = SolveAtScale(g_marked, 1.0f, g_cursor[i++ % g_cursor.size()]);
        benchmark::DoNotOptimize(fix);
    }
}

void BM_ReadoutHandler(benchmark::State& state) {
    frmBl& f = MainForm();
    size_t i = 0;
    for (auto _ : state) {
        const TwipPoint& p = g_cursor[i++ % g_cursor.size()];
        f.Img1_MouseMove(0, 0, p.x, p.y);
    }
    if (f.lblInfo->text().isEmpty() || f.lblInfo2->text().isEmpty())
        state.SkipWithError("the readout showed nothing");
}

void BM_LabelSetText(benchmark::State& state) {
    QLabel* label = MainForm().lblInfo;
    const QString texts[2] = {SkyPositionText(0.98, 0.42), SkyPositionText(0.99, 0.41)};
    size_t i = 0;
    for (auto _ : state)
        label->setText(texts[i++ & 1]);
}

/// The same with the repaint that makes the text visible, as the next event loop turn would.
void BM_LabelSetTextPainted(benchmark::State& state) {
    QLabel* label = MainForm().lblInfo;
    const QString texts[2] = {SkyPositionText(0.98, 0.42), SkyPositionText(0.99, 0.41)};
    size_t i = 0;
    for (auto _ : state) {
        label->setText(texts[i++ & 1]);
        label->repaint();
    }
}

BENCHMARK(BM_SkySolution)->Repetitions(5)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadoutHandler)->Repetitions(5)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LabelSetText)->Repetitions(5)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LabelSetTextPainted)->Repetitions(5)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ScriptedPrompter prompter;
    readyProgram();

    benchmark::Initialize(&argc, argv);
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    auto t = [&](const char* name) { return reporter.ms.count(name) ? reporter.ms[name] : 0.0; };
    const double solution = t("BM_SkySolution"), handler = t("BM_ReadoutHandler");
    const double setText = t("BM_LabelSetText"), painted = t("BM_LabelSetTextPainted");
    std::printf("\nCursor sky readout (median CPU times)\n");
    // What the user waits for is the label on screen: the solution should cost no more than
    // showing its text, and the whole handler (two labels set, painted later) no more than two.
    ratioLine("spherical solution", solution, "QLabel setText+repaint", painted, 1.0, "us");
    ratioLine("whole Img1_MouseMove", handler, "QLabel setText+repaint", painted, 2.0, "us");
    if (setText > 0)
        std::printf("%-34s %10.2f us  vs %-22s %10.2f us  ratio %5.2f\n", "spherical solution", solution,
                    "QLabel::setText alone", setText, solution / setText);
    if (!prompter.messages.isEmpty())
        std::printf("messages: %s\n", qPrintable(prompter.messages.join(QStringLiteral(" | "))));
    DestroyMainForm();
    return 0;
}
