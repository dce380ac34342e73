#pragma once

// What every benchmark program prints after Google Benchmark's own table: median CPU times
// and their ratios to a baseline measured in the same run.

#include <QCoreApplication>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <functional>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>
#include <map>
#include <string>
#include <vector>

namespace vorlan {

/// Keeps the median CPU time of every benchmark for the ratio summary: the work is single-threaded,
/// and CPU time is not stretched by other jobs sharing the machine. Benchmarks whose work runs
/// partly in child processes time themselves (UseManualTime with cpuSecondsWithChildren), and
/// their manual time is kept instead.
class MedianReporter : public benchmark::ConsoleReporter {
  public:
    std::map<std::string, double> ms;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs)
            if (r.aggregate_name == "median" && !r.error_occurred)
                ms[r.run_name.function_name + (r.run_name.args.empty() ? "" : "/" + r.run_name.args)] =
                    r.run_name.time_type == "manual_time" ? r.GetAdjustedRealTime() : r.GetAdjustedCPUTime();
        ConsoleReporter::ReportRuns(runs);
    }
};

/// One figure beside its baseline, with their ratio and whether it meets the goal. A figure or
/// baseline that was not measured (a benchmark left out or failed gives 0) is said to be so:
/// it neither meets a goal nor misses it.
inline void ratioLine(const char* what, double value, const char* baseName, double base, double goal,
                      const char* unit) {
    if (!(value > 0 && base > 0)) {
        std::printf("%-34s not measured (it or %s failed or was left out)\n", what, baseName);
        return;
    }
    const double ratio = value / base;
    std::printf("%-34s %10.2f %s  vs %-22s %10.2f %s  ratio %5.2f  (goal <= %.2f) %s\n", what, value, unit,
                baseName, base, unit, ratio, goal, ratio <= goal ? "met" : "MISSED");
}

/// CPU seconds used so far by this process and by its children that have ended.
inline double cpuSecondsWithChildren() {
    rusage self{}, children{};
    getrusage(RUSAGE_SELF, &self);
    getrusage(RUSAGE_CHILDREN, &children);
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) * 1e-6; };
    return seconds(self.ru_utime) + seconds(self.ru_stime) + seconds(children.ru_utime) +
           seconds(children.ru_stime);
}

/// Resident memory of this process in bytes.
inline long residentBytes() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * sysconf(_SC_PAGESIZE);
}

/// Runs the benchmarks the command line selects and hands back their median times by name
/// ("BM_Name" or "BM_Name/arg"), 0 for one that failed or was left out.
inline std::function<double(const std::string&)> runForMedians(int& argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    auto reporter = std::make_shared<MedianReporter>();
    benchmark::RunSpecifiedBenchmarks(reporter.get());
    benchmark::Shutdown();
    return [reporter](const std::string& name) { return reporter->ms.count(name) ? reporter->ms[name] : 0.0; };
}

/// Lets pending window events (repaints) run, as they would after a handler returns.
inline void settle() {
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

} // namespace vorlan
