// kestrix-cli watch --links FILE --save-dir DIR [options]: every link of a link file watched in
// one process (the watch subcommand hands it its arguments when they name a link file).
#pragma once

#include "cli/CliCommand.h"

namespace kestrix::cli {

int runWatchLinks(const Args& args);

} // namespace kestrix::cli
