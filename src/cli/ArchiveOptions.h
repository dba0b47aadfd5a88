// The options of watch --links that make the archive a place to look: who may see its pages
// (--serve-token, --serve-token-file), the other shards' pages (--peers) and the daily timelapse
// movies (--daily-mp4, --timelapse-fps, --timezone).
#pragma once

#include "cli/CliCommand.h"
#include "core/watch/DailyTimelapses.h"

#include <string>
#include <vector>

namespace kestrix::cli {

struct ArchiveOptions {
    std::string token;
    std::string tokenFile;
    std::vector<std::string> peers; // http(s) addresses of the other shards' pages
    bool dailyMp4 = false;
    double timelapseFps = 24;
    std::string timezone = "utc";
};

// Values that cannot be used are usage errors.
void addArchiveOptions(CLI::App& command, ArchiveOptions& o);

DailyTimelapseSettings dailyTimelapseSettings(const ArchiveOptions& o, const std::string& saveDir,
                                              std::vector<std::string> folders);

} // namespace kestrix::cli
