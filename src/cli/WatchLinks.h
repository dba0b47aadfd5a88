// kestrix-cli watch --links FILE --save-dir DIR [options]: every link of a link file watched in
// one process (the watch subcommand runs it when a link file is named). The watch itself is
// core's Watcher; this reads the options, writes the log and serves the status page.
#pragma once

#include "cli/AlertOptions.h"
#include "cli/ArchiveOptions.h"
#include "cli/CliCommand.h"
#include "cli/ConnectionArgs.h"
#include "cli/MqttOptions.h"
#include "core/watch/CaptureHours.h"
#include "core/watch/PictureArchive.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrix::cli {

// --hours and --daylight as written; both forms of watch take them.
struct HoursOptions {
    std::vector<std::string> ranges;
    std::string daylight;
};

struct LinksOptions {
    std::string linkFile;
    std::string saveDir;
    int parallel = 16;
    int timeout = 60;
    std::optional<int> deadline;
    std::string minRate = "1K"; // as written: 0, 512, 1K, ...
    RetentionRule retention;
    std::string maxBytes; // as written: 500M, 2G, ...
    bool json = false;
    bool keepStreams = false;
    std::string serve;
    std::string shardText; // K/N as written
    ConnectionArgs connection;
    HoursOptions hours;
    AlertOptions alerts;
    MqttOptions mqtt;
    ArchiveOptions archive;
};

// Adds the options only a watch of a link file takes; values out of range are usage errors.
void addWatchLinksOptions(CLI::App& command, LinksOptions& o);

// Ranges and places that cannot be read are usage errors.
void addCaptureHoursOptions(CLI::App& command, HoursOptions& o);
// Raises an error when the hours never open in the coming year: such a watch would never fetch.
CaptureHours captureHours(const HoursOptions& options);

// Watches until SIGINT or SIGTERM.
int runWatchLinks(const LinksOptions& options);

} // namespace kestrix::cli
