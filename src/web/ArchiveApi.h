// The JSON behind the archive's pages, answered from the archive's index (never a walk of the
// folders), every text valid UTF-8:
//   /api/links[?folder=F]  {"ready","files","bytes","links":[{"name","folders","dir","path",
//                          "pictures","latest","status","last_new","error","url","failures"}]}
//                          (the last five only while a watch runs; "latest" relative to DIR)
//   /api/days?link=DIR     {"link","days":[{"day":"YYYYMMDD","pictures","timelapse"}]}
//   /api/day?link=DIR&day=YYYYMMDD
//                          {"link","day","pictures":["YYYYMMDD-HHMMSS.jpg",...],"timelapse"}
//   /api/hour?link=DIR&at=HH:MM[:SS]
//                          {"link","at","pictures":[one name per day, the nearest to AT]}
// Days are the UTC days of the names, oldest first; "timelapse" is the movie's address or null.
#pragma once

#include "web/ArchiveView.h"
#include "web/PageServer.h"

#include <optional>

namespace kestrix::web {

// The reply for an /api/ path other than /api/status; nothing for a path it does not know.
std::optional<PageReply> archiveApi(const SiteSources& sources, const PageRequest& request);

std::string linksJson(const ArchiveView& view, const std::string& folder);

} // namespace kestrix::web
