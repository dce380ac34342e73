// `vorlan find` on three 6000 x 4000 FITS pictures (about 2000 stars, ten moving objects) run
// as a script runs it, against the same chain (load, register, stars, header WCS, search,
// report) run in this process on the same files: the program's start, its parsing of the
// command line and its writing of the report may add at most a fifth. Both are processor time,
// the program's counted as a child's once it has ended.

#include "benchreport.h"
#include "common/jobrunner.h"
#include "session/pipeline.h"
#include "session/session.h"
#include "support/moverfits.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>

using namespace vorlan;
using namespace vorlan::test;

namespace {

QStringList g_files;
QString g_dir;

void BM_CommandLine(benchmark::State& state) {
    for (auto _ : state) {
        const double before = cpuSecondsWithChildren();
        QProcess vorlan;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", g_dir + "/config"); // the default settings
        vorlan.setProcessEnvironment(env);
        vorlan.start(VORLAN_BINARY, QStringList{"find", "--quiet", "--report", "mpc"} + g_files);
        if (!vorlan.waitForFinished(600000) || vorlan.exitCode() != 0) {
            state.SkipWithError("vorlan find failed");
            return;
        }
        state.SetIterationTime(cpuSecondsWithChildren() - before);
    }
}

void BM_InProcess(benchmark::State& state) {
    for (auto _ : state) {
        const double before = cpuSecondsWithChildren();
        Session session;
        JobRunner jobs;
        const Outcome<PipelineResult> run = runPipeline(session, jobs, {.files = g_files});
        if (!run.ok() || run.value().report.isEmpty()) {
            state.SkipWithError("the chain failed");
            return;
        }
        state.SetIterationTime(cpuSecondsWithChildren() - before);
    }
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    g_dir = dir.path();
    g_files = writeMoverFits(dir, moverField(3));
    for (auto* b : {benchmark::RegisterBenchmark("BM_InProcess", BM_InProcess),
                    benchmark::RegisterBenchmark("BM_CommandLine", BM_CommandLine)})
        b->UseManualTime()->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);
    const auto t = runForMedians(argc, argv);
    std::printf("\nThree 6000x4000 16-bit FITS pictures (median processor time, children included)\n");
    ratioLine("vorlan find, a process of its own", t("BM_CommandLine"), "the chain in-process", t("BM_InProcess"),
              1.2, "ms");
    return 0;
}
