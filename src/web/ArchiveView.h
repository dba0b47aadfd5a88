// What the archive's pages are made from: the links to show (from a link file, from the watch, or
// every folder of the archive that holds pictures), the archive's index and, while a watch runs,
// its state. A view is assembled per request and holds copies, so a page never waits on the
// watch while it renders.
#pragma once

#include "core/watch/ArchiveIndex.h"
#include "core/watch/WatchList.h"
#include "core/watch/WatchState.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrix::web {

struct SiteLink {
    std::vector<std::string> folders; // outermost first
    std::string name;
    // The pictures' folder under the save folder, '/'-separated; "" is the save folder itself
    // (a single watch's archive).
    std::string directory;
};

std::vector<SiteLink> siteLinks(const std::vector<WatchedLink>& links);

struct SiteSources {
    std::string saveDir;
    // The archive's pictures. Without it the site serves the status, /healthz and the pictures
    // only: no link pages, no days.
    const ArchiveIndex* index = nullptr;
    // Empty: with a watch, the watch's links; else every folder of the index holding pictures.
    std::vector<SiteLink> links;
    // The watch's state, its links in the order of `links`; unset when an archive is browsed.
    std::function<WatchSnapshot()> live;
    // For /healthz; unset: always healthy.
    std::function<bool(std::string& why)> healthy;
    // The other shards' pages, linked from the overview.
    std::vector<std::string> peers;
};

struct LinkView {
    SiteLink link;
    std::string path; // "Folder/Sub/Link"
    uint64_t pictures = 0;
    std::string latest; // the newest picture relative to the save folder; "" without one
    std::optional<LinkStatus> status; // the watch's
};

struct ArchiveView {
    std::vector<LinkView> links;
    bool indexed = false; // an index was given
    bool ready = false;   // ... and it has read the whole archive
    uint64_t files = 0;
    uint64_t bytes = 0;
    std::optional<WatchSnapshot> live; // its links are moved into `links`
};

ArchiveView viewOf(const SiteSources& sources);

// The link whose pictures' folder is `directory`, if the site shows it.
std::optional<LinkView> findLink(const SiteSources& sources, const std::string& directory);

// 20261209 from "20261209"; nothing for anything but eight digits.
std::optional<uint32_t> parseDay(std::string_view text);
// Seconds of the day from "HH:MM" or "HH:MM:SS" (00:00 to 23:59:59).
std::optional<int> parseTimeOfDay(std::string_view text);
// "2026-12-09 07:13:41 UTC" from an archive picture's name.
std::string pictureTimeText(std::string_view name);
// "2026-12-09 07:13:41 UTC" for a time.
std::string utcText(std::time_t time);

} // namespace kestrix::web
