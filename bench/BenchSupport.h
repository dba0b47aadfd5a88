// Timing other tools in the same run: whole commands (best of several runs) and Python scripts
// that time themselves and print the seconds.
#pragma once

#include <algorithm>
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
        best = std::min(best,
                        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
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

} // namespace kestrix::bench
