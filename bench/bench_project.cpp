// Reopening a project: reading a project file that names three 6000 x 4000 JPEG pictures, with
// the repaint that shows them, against three bare QImageReader decodes of the same files.

#include "benchpictures.h"
#include "benchreport.h"
#include "project/projectwriter.h"
#include "view/imageframe.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QImageReader>
#include <benchmark/benchmark.h>
#include <cstdio>

using namespace vorlan;
using namespace vorlan::test;

namespace {

QStringList g_files;
QString g_project;

void BM_ReopenProject(benchmark::State& state) {
    ScriptedPrompter prompter;
    frmBl& f = freshProgram();
    settle();
    for (auto _ : state) {
        prompter.openNames.enqueue(g_project);
        f.mnuFileOpen->trigger();
        // The repaint that shows the pictures belongs to what the user waits for.
        settle();
    }
    for (int k = 1; k <= 3; ++k)
        if (f.Img(k)->picture().size() != QSize(PicW, PicH)) state.SkipWithError("a picture did not load");
    if (!prompter.messages.isEmpty())
        state.SkipWithError(qPrintable(prompter.messages.join(QLatin1String(" | "))));
    DestroyMainForm();
}

void BM_BareDecodeThree(benchmark::State& state) {
    for (auto _ : state) {
        for (const QString& file : g_files) {
            QImageReader reader(file);
            QImage img = reader.read();
            if (img.isNull()) state.SkipWithError("decode failed");
            benchmark::DoNotOptimize(img.constBits());
        }
    }
}

BENCHMARK(BM_BareDecodeThree)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->MinTime(2.0)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReopenProject)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->MinTime(2.0)
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QImageReader::setAllocationLimit(0);
    QTemporaryDir dir;
    SharedState s;
    for (int k = 1; k <= 3; ++k) {
        g_files << savePicture(dir, QStringLiteral("sky%1.jpg").arg(k), noisyStarField(20240 + quint32(k)));
        s.FileName(k) = g_files.last();
        s.PictureWidth(k) = PicW;
        s.PictureHeight(k) = PicH;
        s.DisplayScale(k) = 1;
        s.Point1X(k) = 1500.0f * float(k);
        s.Point1Y(k) = 1500;
    }
    // Two marked stars with catalogue positions, so the plate solution runs as well.
    s.Point2X1 = 45000;
    s.Point2Y1 = 30000;
    s.StarRA1 = 1.46f;
    s.StarDec1 = 0.38f;
    s.StarRA2 = 1.48f;
    s.StarDec2 = 0.40f;
    s.MarkScale1 = s.MarkScale2 = 1;
    g_project = dir.filePath(QStringLiteral("sky.vln"));
    QFile file(g_project);
    if (!file.open(QIODevice::WriteOnly) || file.write(projectFileBytes(ProjectText(s, true))) <= 0) {
        std::fprintf(stderr, "could not write the project file\n");
        return 1;
    }
    file.close();

    benchmark::Initialize(&argc, argv);
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    auto t = [&](const char* name) { return reporter.ms.count(name) ? reporter.ms[name] : 0.0; };
    std::printf("\nProject file, three %dx%d JPEG pictures (median CPU times)\n", PicW, PicH);
    ratioLine("reopen project (menu, dialog, paint)", t("BM_ReopenProject"), "3 bare QImageReader",
              t("BM_BareDecodeThree"), 1.15, "ms");
    return 0;
}
