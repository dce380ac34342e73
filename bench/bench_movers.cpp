// The moving-object search on a registered pair of 6000 x 4000 pictures with their star lists
// (about 2000 stars, ten moving objects, noise), against one bare pass over the rows of both
// pictures: the search may take 50 ms more than that pass. Finding the stars is timed apart, with
// no goal: it runs before the search, once per picture.

#include "benchreport.h"
#include "stars/movingsearch.h"
#include "support/moverfield.h"

#include <QGuiApplication>
#include <benchmark/benchmark.h>
#include <cstdio>

using namespace vorlan;
using namespace vorlan::test;

namespace {

QVector<SearchPicture> g_pair;

void BM_Search(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(findMovingObjects(g_pair).movers.size());
}

/// Every byte of both pictures read once through scanLine: the least a look at the pictures costs.
void BM_Scan(benchmark::State& state) {
    for (auto _ : state) {
        quint64 sum = 0;
        for (const SearchPicture& p : g_pair) {
            const int bytes = int(p.picture.bytesPerLine());
            for (int y = 0; y < p.picture.height(); ++y) {
                const uchar* line = p.picture.constScanLine(y);
                quint32 row = 0; // a row of bytes cannot overflow it
                for (int x = 0; x < bytes; ++x)
                    row += line[x];
                sum += row;
            }
        }
        benchmark::DoNotOptimize(sum);
    }
}

void BM_Detect(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(detectForMovingSearch(g_pair[0].picture).stars.size());
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    g_pair = searchPictures(moverField(2), 2);
    for (auto* b : {benchmark::RegisterBenchmark("BM_Search", BM_Search),
                    benchmark::RegisterBenchmark("BM_Scan", BM_Scan),
                    benchmark::RegisterBenchmark("BM_Detect", BM_Detect)})
        b->Repetitions(5)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    auto t = [&](const char* name) { return reporter.ms.count(name) ? reporter.ms[name] : 0.0; };
    const MovingSearchResult r = findMovingObjects(g_pair);
    std::printf(
        "\nTwo %dx%d grey pictures, %lld and %lld sources listed, %lld candidates found (median CPU times)\n",
        g_pair[0].picture.width(), g_pair[0].picture.height(), qlonglong(g_pair[0].stars.stars.size()),
        qlonglong(g_pair[1].stars.stars.size()), qlonglong(r.movers.size()));
    std::printf("%-34s %10.2f ms\n", "bare scanLine pass, both pictures", t("BM_Scan"));
    std::printf("%-34s %10.2f ms  (no goal)\n", "finding the stars of one picture", t("BM_Detect"));
    ratioLine("moving-object search", t("BM_Search"), "50 ms + the bare pass", 50 + t("BM_Scan"), 1.0, "ms");
    return 0;
}
