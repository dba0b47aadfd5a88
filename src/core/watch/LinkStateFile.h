// What a watch remembers of each link across restarts: the file and digest of its last archived
// picture, so that the first fetch after a restart does not archive the same picture again. The
// file, DIR/.kestrix/state, is small and written whole through a temporary file: one line of
// "kestrix-state 1", then per link its folder, the picture's file name and the digest in hex,
// separated by tabs (folder names never hold control characters).
#pragma once

#include "core/watch/LinkFetch.h"

#include <map>
#include <optional>
#include <string>

namespace kestrix {

struct SavedPicture {
    std::string file; // the name in the link's folder
    PictureDigest digest;
};

// Keyed by the link's folder under the archive root.
using LinkState = std::map<std::string, SavedPicture>;

std::string linkStateFile(const std::string& saveDir);

// A missing or unreadable file is an empty state; lines that do not parse are left out.
LinkState readLinkState(const std::string& saveDir);
// Raises when the file cannot be written; the previous file then stays.
void writeLinkState(const std::string& saveDir, const LinkState& state);

// The newest archive picture of `folder` by its name, or nothing.
std::optional<std::string> newestArchivePicture(const std::string& folder);

// The last picture of a link after a restart: the state's when it is still the newest picture
// of the folder, else the newest picture's own digest (a watch killed before it wrote the state).
std::optional<SavedPicture> recoverLastPicture(const std::string& saveDir,
                                               const std::string& directory,
                                               const std::optional<SavedPicture>& saved);

} // namespace kestrix
