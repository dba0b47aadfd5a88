// The lines a multi-link watch writes, one per fetch and one per retention run that deleted
// something: text ("2026-12-09 07:13:41 Volcanos/Etna New 205112 1280x720") or one JSON object
// per line. Every text is valid UTF-8, whatever bytes a link file or a server gave.
#pragma once

#include "core/watch/CameraStates.h"
#include "core/watch/LinkFetch.h"
#include "core/watch/WatchState.h"

#include <string>

namespace kestrix {

// The local time as every log line starts: "2026-12-09 07:13:41".
std::string localTimeText(std::time_t time);
std::string fetchLogLine(const WatchedLink& link, const LinkFetchResult& result, bool json);
std::string cameraEventLogLine(const CameraEvent& event, bool json);
std::string retentionLogLine(const RetentionResult& result, const RetentionFigures& figures,
                             std::time_t time, bool json);

} // namespace kestrix
