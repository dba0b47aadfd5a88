// kestrix-cli watch --links FILE --save-dir DIR [options]: every link of a link file watched in
// one process (the watch subcommand runs it when a link file is named).
#pragma once

#include "cli/CliCommand.h"
#include "cli/ConnectionArgs.h"
#include "core/watch/PictureArchive.h"

#include <cstdint>
#include <string>

namespace kestrix::cli {

struct LinksOptions {
    std::string linkFile;
    std::string saveDir;
    int parallel = 16;
    int timeout = 60;
    RetentionRule retention;
    std::string maxBytes; // as written: 500M, 2G, ...
    bool json = false;
    std::string serve;
    std::string shardText; // K/N as written
    uint32_t shard = 0, shards = 1;
    ConnectionArgs connection;
};

// Adds the options only a watch of a link file takes.
void addWatchLinksOptions(CLI::App& command, LinksOptions& o);

// Checks the options (errors name the option) and watches until SIGINT or SIGTERM.
int runWatchLinks(LinksOptions options);

} // namespace kestrix::cli
