#pragma once

// What every benchmark program prints after Google Benchmark's own table: median CPU times
// and their ratios to a baseline measured in the same run.

#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace vorlan {

/// Keeps the median CPU time of every benchmark for the ratio summary: the work is single-threaded,
/// and CPU time is not stretched by other jobs sharing the machine.
class MedianReporter : public benchmark::ConsoleReporter {
  public:
    std::map<std::string, double> ms;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs)
            if (r.aggregate_name == "median" && !r.error_occurred)
                ms[r.run_name.function_name + (r.run_name.args.empty() ? "" : "/" + r.run_name.args)] =
                    r.GetAdjustedCPUTime();
        ConsoleReporter::ReportRuns(runs);
    }
};

inline void ratioLine(const char* what, double value, const char* baseName, double base, double goal,
                      const char* unit) {
    const double ratio = base > 0 ? value / base : 0;
    std::printf("%-34s %10.2f %s  vs %-22s %10.2f %s  ratio %5.2f  (goal <= %.2f) %s\n", what, value, unit,
                baseName, base, unit, ratio, goal, base > 0 && ratio <= goal ? "met" : "MISSED");
}

} // namespace vorlan
