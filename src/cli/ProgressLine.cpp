#include "cli/ProgressLine.h"

#include "core/util/Text.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <unistd.h>

namespace kestrix::cli {

namespace {

using SteadyClock = std::chrono::steady_clock;

std::string minutesAndSeconds(double seconds) {
    const long long whole = std::llround(seconds);
    return strPrintf("%lld:%02lld", whole / 60, whole % 60);
}

} // namespace

ProgressLine::ProgressLine(bool quiet) : quiet_(quiet), terminal_(isatty(STDERR_FILENO) == 1) {}

ProgressLine::~ProgressLine() {
    finish();
}

void ProgressLine::addQuietOption(CLI::App& command, bool& quiet) {
    command.add_flag("-q,--quiet", quiet, "Show no progress line (it is shown only on a terminal)");
}

void ProgressLine::start(const std::string& stage, int64_t total) {
    finish();
    stage_ = stage;
    total_ = total;
    done_ = 0;
    started_ = SteadyClock::now();
    draw(true);
}

void ProgressLine::update(int64_t done) {
    done_ = std::max(done_, done);
    draw(false);
}

void ProgressLine::complete() {
    done_ = std::max(done_, total_);
    finish();
}

void ProgressLine::finish() {
    if (!drawn_)
        return;
    draw(true);
    std::fputc('\n', stderr);
    drawn_ = false;
}

std::function<void(int)> ProgressLine::framesDone() {
    return [this](int done) { update(done); };
}

std::function<void(int)> ProgressLine::frameIndex() {
    return [this](int index) { update(int64_t{index} + 1); };
}

std::function<void(int)> ProgressLine::percent() {
    return [this](int percent) { update(total_ > 0 ? total_ * percent / 100 : percent); };
}

void ProgressLine::draw(bool force) {
    if (quiet_ || !terminal_ || stage_.empty())
        return;
    const auto now = SteadyClock::now();
    if (!force && now - lastDraw_ < std::chrono::milliseconds(100))
        return;
    lastDraw_ = now;
    const double elapsed = std::chrono::duration<double>(now - started_).count();
    std::string line = stage_;
    if (total_ > 0) {
        line += strPrintf("  %3d%%  %lld/%lld frames  %s elapsed",
                          static_cast<int>(100 * done_ / total_), static_cast<long long>(done_),
                          static_cast<long long>(total_), minutesAndSeconds(elapsed).c_str());
        if (done_ > 0 && done_ < total_)
            line += ", about " +
                    minutesAndSeconds(elapsed * static_cast<double>(total_ - done_) /
                                      static_cast<double>(done_)) +
                    " left";
    } else {
        line += strPrintf("  %lld frames  %s elapsed", static_cast<long long>(done_),
                          minutesAndSeconds(elapsed).c_str());
    }
    // "\033[K" clears what a longer earlier line left behind.
    std::fprintf(stderr, "\r%s\033[K", line.c_str());
    std::fflush(stderr);
    drawn_ = true;
}

} // namespace kestrix::cli
