// The archive's HTML pages. The overview ("/") lists every link with its latest picture's
// thumbnail, state, last new picture and error, grouped by the link file's folders, a page of
// kLinksPerPage links at a time (optionally one folder), and needs no script. A link's page
// ("/link?dir=DIR") is a shell that the browsing script fills from the JSON routes.
#pragma once

#include "web/ArchiveView.h"

#include <cstddef>
#include <string>
#include <vector>

namespace kestrix::web {

constexpr size_t kLinksPerPage = 120;

struct OverviewOptions {
    size_t page = 0;    // from 0
    std::string folder; // "" every link, else the links in that folder and below
    bool refresh = false;
    // The other shards' pages, linked under the header.
    std::vector<std::string> peers;
};

std::string overviewPage(const ArchiveView& view, const OverviewOptions& options);
std::string linkPage(const LinkView& link);

// The value for an address's query: every byte but letters, digits and -._~ percent-encoded.
std::string queryText(const std::string& text);

} // namespace kestrix::web
