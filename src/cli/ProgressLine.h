// The progress of long work on one line of stderr: "Writing movie  45%  135/300 frames  0:03
// elapsed, about 0:04 left". Shown only when stderr is a terminal and --quiet was not given, so
// that scripts and logs never see it. The work owns it, so the line ends before an error is
// printed.
#pragma once

#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace kestrix::cli {

class ProgressLine {
public:
    explicit ProgressLine(bool quiet);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // Adds --quiet to the subcommand.
    static void addQuietOption(CLI::App& command, bool& quiet);

    // Starts a stage of `total` frames (0: not known beforehand).
    void start(const std::string& stage, int64_t total);
    // `done` frames of the stage are finished (never fewer than before); redrawn at most ten
    // times a second.
    void update(int64_t done);
    // The stage's work is all done.
    void complete();
    // Ends the line (the stage's last state stays on screen).
    void finish();

    // Callbacks for the core's gauges: frames done so far, the index of the frame just done, or
    // a percentage of the stage.
    std::function<void(int)> framesDone();
    std::function<void(int)> frameIndex();
    std::function<void(int)> percent();

private:
    void draw(bool force);

    bool quiet_ = false;
    bool terminal_ = false;
    bool drawn_ = false;
    std::string stage_;
    int64_t total_ = 0;
    int64_t done_ = 0;
    std::chrono::steady_clock::time_point started_;
    std::chrono::steady_clock::time_point lastDraw_;
};

} // namespace kestrix::cli
