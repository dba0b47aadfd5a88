// Timing other tools in the same run: whole commands (best of several runs) and Python scripts
// that time themselves and print the seconds.
#pragma once

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

namespace kestrix::bench {

// The best wall time of `runs` runs of a shell command; nullopt when it fails.
inline std::optional<double> bestOfCommand(const std::string& command, int runs) {
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        if (std::system((command + " > /dev/null 2>&1").c_str()) != 0)
            return std::nullopt;
        best = std::min(
            best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    return best;
}

// Runs a script with Debian's Python (which has PIL); the script prints its own timing in seconds.
inline std::optional<double> pythonSeconds(const std::string& script) {
    FILE* p = popen(("/usr/bin/python3 -c \"" + script + "\"").c_str(), "r");
    if (!p)
        return std::nullopt;
    double seconds = 0;
    const bool ok = std::fscanf(p, "%lf", &seconds) == 1;
    pclose(p);
    return ok ? std::optional<double>(seconds) : std::nullopt;
}

// Each iteration's time is the best of `runs` runs of the command; a failing command skips the
// benchmark with an error.
inline void timeCommandIterations(benchmark::State& state, const std::string& command, int runs) {
    for (auto _ : state) {
        const auto seconds = bestOfCommand(command, runs);
        if (!seconds) {
            state.SkipWithError(("failed: " + command).c_str());
            return;
        }
        state.SetIterationTime(*seconds);
    }
}

// Each iteration's time is what the Python script measured; without Python and PIL the benchmark
// is skipped with an error.
inline void timePythonIterations(benchmark::State& state, const std::string& script) {
    for (auto _ : state) {
        const auto seconds = pythonSeconds(script);
        if (!seconds) {
            state.SkipWithError("python3 with PIL is not available");
            return;
        }
        state.SetIterationTime(*seconds);
    }
}

} // namespace kestrix::bench
