// The links of a link file as a headless watch sees them: every link with the folders above it
// (the tree's root excluded), a name for its pictures' folder that is safe on any file system,
// and the shard it belongs to.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrix {

class LinkTree;

struct WatchedLink {
    std::vector<std::string> folders; // outermost first, as written in the link file
    std::string name;
    std::string address;   // macros unexpanded
    int32_t interval = 60; // seconds; 0: at every one-second tick
    // "Folder/Sub/Link", for logs and the status page.
    std::string path;
    // The pictures' folder under the save folder: safe names joined with '/', unique.
    std::string directory;
};

// One name made safe for a file name: '/', '\' and control characters become '_', a leading dot
// becomes '_', at most 100 bytes (never cutting a UTF-8 character), "_" for an empty name.
std::string safeFileName(const std::string& name);

// Every link of the tree in document order. Links whose safe folders would coincide keep them in
// that order; later ones get "-2", "-3", ... after their own name.
std::vector<WatchedLink> watchedLinks(const LinkTree& tree);

// The shard of a link among `count`: a stable hash (FNV-1a, 64 bits) of its folder path and name,
// modulo `count`. The same on every machine and in every run.
uint32_t shardOf(const WatchedLink& link, uint32_t count);

} // namespace kestrix
