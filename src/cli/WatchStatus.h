// What a multi-link watch knows of each link, shared between the fetching threads and the status
// page: the last outcome, the time of the last new picture and the picture's path.
#pragma once

#include "core/watch/LinkFetch.h"

#include <mutex>
#include <string>
#include <vector>

namespace kestrix::cli {

struct LinkStatus {
    std::string link; // "Folder/Link"
    std::string url;  // last expanded address, without credentials
    std::string status = "waiting";
    std::string error;
    std::time_t lastNew = 0;
    std::string latest; // the latest picture, relative to the save folder
};

class WatchStatus {
public:
    explicit WatchStatus(const std::vector<WatchedLink>& links);

    void record(size_t index, const LinkFetchResult& result, const std::string& saveDir);
    std::vector<LinkStatus> snapshot() const;

private:
    mutable std::mutex mutex_;
    std::vector<LinkStatus> links_;
};

// ISO 8601 in UTC: 2026-12-09T07:13:41Z.
std::string isoUtc(std::time_t time);
// Text as a JSON string, quotes included.
std::string jsonString(const std::string& text);
// {"links":[{"link":...,"url":...,"status":...,"last_new":...,"error":...,"latest":...},...]}
std::string statusJson(const std::vector<LinkStatus>& links);
// The status page: plain HTML, no external assets, refreshing itself every 10 seconds.
std::string statusPage(const std::vector<LinkStatus>& links);

} // namespace kestrix::cli
