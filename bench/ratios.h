#pragma once
// What the benchmark programs share: the time of each benchmark of the run, and the ratio line
// that compares ours with the reference measured in the same run.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

// Mean real time per iteration (nanoseconds) of each benchmark, by its function's name (the
// name without the arguments and options a registration adds).
class RecordingReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && !run.error_occurred)
                times[run.run_name.function_name] =
                    run.GetAdjustedRealTime() * 1e9 / benchmark::GetTimeUnitMultiplier(run.time_unit);
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

// Prints "ratio <reference> / <ours> (reference time / our time): r" when both were measured.
inline void PrintRatio(const RecordingReporter& reporter, const char* reference, const char* ours)
{
    const auto r = reporter.times.find(reference), o = reporter.times.find(ours);
    if (r != reporter.times.end() && o != reporter.times.end() && o->second > 0)
        std::printf("ratio %s / %s (reference time / our time): %.3f\n", reference, ours, r->second / o->second);
}
