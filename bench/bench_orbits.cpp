// The orbit file of the Minor Planet Center at full size (1.4 million generated lines): parsing it
// against a bare read-and-split of the same bytes, loading its cache against reading the cache's
// bytes, and the places of every object for one time. Parsing and the places run on the threads
// of the pool, so every figure here is the CPU time of all the process's threads (manual timing),
// baselines included: on a machine shared with other work, wall-clock times measure the others.
// The places' goal of 0.5 s on two free cores is 1 CPU second.

#include "benchreport.h"
#include "sky/ephemeris.h"
#include "sky/orbitfile.h"
#include "support/orbitlines.h"

#include <QCoreApplication>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstring>

using namespace vorlan;

namespace {

constexpr int Lines = 1400000;
QString g_source;

/// The generated MPCORB.DAT, written once.
const QString& source() {
    static QTemporaryDir dir;
    if (g_source.isEmpty()) {
        g_source = dir.filePath("MPCORB.DAT");
        QFile f(g_source);
        f.open(QIODevice::WriteOnly);
        f.write(test::mpcorbHeader());
        QByteArray chunk;
        for (int i = 0; i < Lines; ++i) {
            chunk += test::generatedMpcorbLine(i);
            if (chunk.size() > (8 << 20)) f.write(chunk), chunk.clear();
        }
        f.write(chunk);
    }
    return g_source;
}

template <typename F> void timed(benchmark::State& state, F work) {
    for (auto _ : state) {
        const double start = cpuSecondsWithChildren();
        work();
        state.SetIterationTime(cpuSecondsWithChildren() - start);
    }
}

void BM_ReadAndSplit(benchmark::State& state) {
    const QString path = source();
    timed(state, [&] {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        const QByteArray bytes = f.readAll();
        std::size_t lines = 0;
        for (const char *p = bytes.constData(), *end = p + bytes.size(); p < end; ++lines) {
            const void* nl = std::memchr(p, '\n', std::size_t(end - p));
            p = nl ? static_cast<const char*>(nl) + 1 : end;
        }
        benchmark::DoNotOptimize(lines);
    });
}

void BM_ParseOrbitFile(benchmark::State& state) {
    const QString path = source();
    timed(state, [&] {
        const Outcome<OrbitCatalogue> c = readOrbitFile(path);
        if (!c.ok() || c.value().orbits.size() != std::size_t(Lines)) state.SkipWithError("orbits not read");
    });
}

void BM_ReadCacheBytes(benchmark::State& state) {
    loadOrbitFile(source());
    const QString cache = orbitCachePath(source());
    timed(state, [&] {
        QFile f(cache);
        f.open(QIODevice::ReadOnly);
        benchmark::DoNotOptimize(f.readAll().size());
    });
}

void BM_LoadCache(benchmark::State& state) {
    loadOrbitFile(source());
    timed(state, [&] {
        const Outcome<OrbitCatalogue> c = loadOrbitFile(source());
        if (!c.ok() || !c.value().fromCache) state.SkipWithError("cache not used");
    });
}

void BM_PlacesOfAll(benchmark::State& state) {
    const OrbitCatalogue c = loadOrbitFile(source()).value();
    const QDateTime when(QDate(2026, 3, 16), QTime(2, 0), Qt::UTC);
    const Observatory lemmon = observatoryAt(-110.7887, 32.4426, 2790);
    std::size_t found = 0;
    timed(state, [&] {
        // A field of one degree radius near the ecliptic opposite the Sun, where the belt is thickest.
        found = objectsNear(c.orbits, when, lemmon, 175.0 * M_PI / 180, 2.0 * M_PI / 180, M_PI / 180).size();
        benchmark::DoNotOptimize(found);
    });
    state.counters["in field"] = double(found);
}

} // namespace

BENCHMARK(BM_ReadAndSplit)->UseManualTime()->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_ParseOrbitFile)->UseManualTime()->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_ReadCacheBytes)->UseManualTime()->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_LoadCache)->UseManualTime()->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_PlacesOfAll)->UseManualTime()->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    benchmark::Initialize(&argc, argv);
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    auto t = [&](const char* name) { return reporter.ms.count(name) ? reporter.ms[name] : 0.0; };
    std::printf("\nOrbit file of %d lines (median CPU times of all threads, 2 pool threads)\n", Lines);
    ratioLine("parse MPCORB", t("BM_ParseOrbitFile"), "read and split", t("BM_ReadAndSplit"), 1.5, "ms");
    ratioLine("load the cache", t("BM_LoadCache"), "read cache bytes", t("BM_ReadCacheBytes"), 2.0, "ms");
    const double places = t("BM_PlacesOfAll");
    if (places > 0)
        std::printf("%-34s %10.2f ms CPU (goal <= 1000 ms CPU: 0.5 s on 2 cores) %s\n", "places of all objects",
                    places, places <= 1000 ? "met" : "MISSED");
    else
        std::printf("%-34s not measured\n", "places of all objects");
    QFile::remove(orbitCachePath(g_source));
    return 0;
}
