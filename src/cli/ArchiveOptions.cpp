#include "cli/ArchiveOptions.h"

#include <algorithm>

namespace kestrix::cli {

namespace {

// A page the overview may link to: http or https, without blanks, quotes or angle brackets.
std::string peerProblem(const std::string& text) {
    const bool web = text.starts_with("http://") || text.starts_with("https://");
    const bool plain = text.find_first_of(" \t\"'<>\\") == std::string::npos &&
                       std::none_of(text.begin(), text.end(),
                                    [](char c) { return static_cast<unsigned char>(c) < 0x20; });
    return web && plain && text.size() <= 2048 ? std::string()
                                               : "takes http:// or https:// addresses, not " + text;
}

} // namespace

void addArchiveOptions(CLI::App& command, ArchiveOptions& o) {
    const std::string only = " (with --links)";
    auto* tokenOption = command.add_option(
        "--serve-token", o.token,
        "Every request to --serve must carry this token (16 to 256 letters, digits and -._~+/=): "
        "open /?token=TOKEN once (a cookie keeps it) or send Authorization: Bearer TOKEN" +
            only);
    command
        .add_option("--serve-token-file", o.tokenFile,
                    "The same token, from the first line of this file (not seen in the process "
                    "list)" +
                        only)
        ->excludes(tokenOption);
    command
        .add_option("--peers", o.peers,
                    "The pages of the other shards (http://HOST:PORT/, comma-separated), linked "
                    "from the overview" +
                        only)
        ->delimiter(',')
        ->check(CLI::Validator(peerProblem, "URL"));
    command.add_flag("--daily-mp4", o.dailyMp4,
                     "After each day ends, write DIR/<link>/timelapse/YYYYMMDD.mp4 from its "
                     "pictures, on a low-priority thread" +
                         only);
    command.add_option("--timelapse-fps", o.timelapseFps, "Frames per second of --daily-mp4")
        ->default_val(24)
        ->check(between(0.1, 200));
    command
        .add_option("--timezone", o.timezone,
                    "Days of --daily-mp4 begin at midnight utc or in the machine's local time")
        ->default_val("utc")
        ->check(CLI::IsMember({"utc", "local"}));
}

DailyTimelapseSettings dailyTimelapseSettings(const ArchiveOptions& o, const std::string& saveDir,
                                              std::vector<std::string> folders) {
    DailyTimelapseSettings s;
    s.saveDir = saveDir;
    s.folders = std::move(folders);
    s.fps = o.timelapseFps;
    s.zone = o.timezone == "local" ? TimeZoneChoice::Local : TimeZoneChoice::Utc;
    return s;
}

} // namespace kestrix::cli
