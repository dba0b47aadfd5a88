#include "core/watch/FetchLog.h"

#include "core/macros/DateFormatter.h"
#include "core/util/DateTime.h"
#include "core/util/FormatSettings.h"
#include "core/util/JsonText.h"
#include "core/watch/Webhooks.h"

#include <chrono>

namespace kestrix {

std::string localTimeText(std::time_t time) {
    return formatDateTime("yyyy-mm-dd hh:nn:ss",
                          fromSystemTimeLocal(std::chrono::system_clock::from_time_t(time)),
                          defaultFormatSettings());
}

std::string fetchLogLine(const WatchedLink& link, const LinkFetchResult& r, bool json) {
    if (!json) {
        std::string line = localTimeText(r.time) + " " + toValidUtf8(link.path) + " ";
        if (r.status == FetchStatus::Error)
            return line + toValidUtf8(r.error) + " " + std::to_string(r.bytes);
        return line + (r.status == FetchStatus::New ? "New " : "Duplicate ") +
               std::to_string(r.bytes) + " " + std::to_string(r.width) + "x" +
               std::to_string(r.height);
    }
    std::string line =
        "{\"time\":" + jsonString(isoUtc(r.time)) + ",\"link\":" + jsonString(link.path) +
        ",\"url\":" + jsonString(r.url) + ",\"status\":\"" + fetchStatusName(r.status) +
        "\",\"bytes\":" + std::to_string(r.bytes) + ",\"width\":" + std::to_string(r.width) +
        ",\"height\":" + std::to_string(r.height);
    if (r.status == FetchStatus::New)
        line += ",\"file\":" + jsonString(r.file);
    if (r.status == FetchStatus::Error)
        line += ",\"error\":" + jsonString(r.error);
    return line + "}";
}

std::string cameraEventLogLine(const CameraEvent& e, bool json) {
    if (json)
        return "{\"time\":" + jsonString(isoUtc(e.time)) + ",\"event\":" + cameraEventJson(e) + "}";
    std::string line = localTimeText(e.time) + " " + toValidUtf8(e.link) + " is " +
                       cameraStateName(e.to) + " (was " + cameraStateName(e.from) + ")";
    if (e.to == CameraState::Down && !e.lastError.empty())
        line += ": " + toValidUtf8(e.lastError);
    return line;
}

std::string retentionLogLine(const RetentionResult& result, const RetentionFigures& figures,
                             std::time_t time, bool json) {
    if (!json)
        return localTimeText(time) + " Retention deleted " + std::to_string(result.deletedFiles) +
               " pictures (" + std::to_string(result.deletedBytes) + " bytes), kept " +
               std::to_string(figures.files) + " (" + std::to_string(figures.bytes) + " bytes)";
    return "{\"time\":" + jsonString(isoUtc(time)) +
           ",\"retention\":{\"deleted_files\":" + std::to_string(result.deletedFiles) +
           ",\"deleted_bytes\":" + std::to_string(result.deletedBytes) +
           ",\"files\":" + std::to_string(figures.files) +
           ",\"bytes\":" + std::to_string(figures.bytes) + "}}";
}

} // namespace kestrix
