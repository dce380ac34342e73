// A 2 GB file named .jpg that is no picture (zeros, as a broken download leaves it): refusing it
// through the program's loader against Qt's own format check of the same file, and the bytes the
// loader reads for it against the file's size.

#include "benchreport.h"
#include "support/files.h"
#include "view/picturefile.h"

#include <QFile>
#include <QGuiApplication>
#include <QImageReader>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>

using namespace vorlan;
using namespace vorlan::test;

namespace {

constexpr qint64 FileBytes = qint64(2) << 30;
QString g_file;

/// A budget the file fits in, so that only its content can refuse it.
PictureLoadOptions options() {
    PictureLoadOptions o;
    o.memoryBudget = FileBytes * 2;
    return o;
}

void BM_QtFormatCheck(benchmark::State& state) {
    for (auto _ : state) {
        QImageReader reader(g_file);
        if (reader.canRead()) state.SkipWithError("Qt took zeros for a picture");
    }
}

void BM_RefuseNotAPicture(benchmark::State& state) {
    for (auto _ : state) {
        const DecodedPicture p = decodePictureFile(g_file, options());
        if (p.ok()) state.SkipWithError("zeros decoded as a picture");
    }
}

BENCHMARK(BM_QtFormatCheck)->Repetitions(3)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RefuseNotAPicture)->Repetitions(3)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    QTemporaryDir dir;
    g_file = dir.filePath(QStringLiteral("large.jpg"));
    QFile file(g_file);
    if (!file.open(QIODevice::WriteOnly) || !file.resize(FileBytes)) {
        std::fprintf(stderr, "could not make the 2 GB file\n");
        return 1;
    }
    file.close();

    const qint64 before = bytesReadSoFar();
    const DecodedPicture once = decodePictureFile(g_file, options());
    const qint64 read = bytesReadSoFar() - before;

    benchmark::Initialize(&argc, argv);
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    auto t = [&](const std::string& name) { return reporter.ms.count(name) ? reporter.ms[name] : 0.0; };
    std::printf("\n2 GB of zeros named .jpg (median CPU times)\n");
    std::printf("refused: %s\n", once.ok() ? "no, it decoded" : qPrintable(once.reason()));
    ratioLine("refuse it through the loader", t("BM_RefuseNotAPicture"), "Qt's format check",
              t("BM_QtFormatCheck"), 3.0, "us");
    // The file's first bytes and the small reads around them, never the file.
    constexpr qint64 Goal = 1 << 20;
    if (before >= 0)
        std::printf("%-34s %10lld B  of the file's %lld B  (goal <= %lld B) %s\n", "bytes read to refuse it",
                    read, FileBytes, Goal, read <= Goal ? "met" : "MISSED");
    else
        std::printf("bytes read to refuse it: not measured (no /proc/self/io)\n");
    return 0;
}
