#include "core/watch/CameraStates.h"

#include "core/util/Error.h"
#include "core/util/FileIO.h"
#include "core/util/Text.h"

#include <filesystem>
#include <sstream>

namespace kestrix {

namespace {

constexpr const char* kCamerasHeader = "kestrix-cameras 1";

// Errors and names go into a line of tab-separated fields: tabs and line breaks are blanks.
std::string field(std::string text) {
    for (char& c : text)
        if (c == '\t' || c == '\n' || c == '\r')
            c = ' ';
    return text;
}

} // namespace

const char* cameraStateName(CameraState state) {
    switch (state) {
    case CameraState::Down:
        return "down";
    case CameraState::Stale:
        return "stale";
    case CameraState::Up:
        break;
    }
    return "up";
}

std::optional<CameraState> cameraStateFromName(std::string_view name) {
    for (const CameraState s : {CameraState::Up, CameraState::Down, CameraState::Stale})
        if (name == cameraStateName(s))
            return s;
    return std::nullopt;
}

std::optional<CameraEvent> CameraTracker::change(CameraState to, std::time_t time) {
    if (to == record_.state)
        return std::nullopt;
    CameraEvent event{link_, directory_,        record_.state,      to,
                      time,  record_.lastError, record_.lastPicture};
    record_.state = to;
    record_.since = time;
    return event;
}

std::optional<CameraEvent> CameraTracker::fetched(const LinkFetchResult& result,
                                                  const CameraRules& rules) {
    if (record_.lastNew == 0)
        record_.lastNew = result.time;
    if (result.status == FetchStatus::Error) {
        record_.lastError = result.error;
        if (++failures_ >= rules.downAfter)
            return change(CameraState::Down, result.time);
        return std::nullopt;
    }
    failures_ = 0;
    if (result.status == FetchStatus::New) {
        record_.lastNew = result.time;
        record_.lastPicture = std::filesystem::path(result.file).filename().string();
        return change(CameraState::Up, result.time);
    }
    // A repeat: the camera answers; it is stale once nothing new has come for long enough.
    if (result.time - record_.lastNew >= rules.staleAfter.count())
        return change(CameraState::Stale, result.time);
    return change(CameraState::Up, result.time);
}

std::optional<CameraEvent> CameraTracker::checkStale(std::time_t now, const CameraRules& rules) {
    if (record_.state != CameraState::Up || record_.lastNew == 0 ||
        now - record_.lastNew < rules.staleAfter.count())
        return std::nullopt;
    return change(CameraState::Stale, now);
}

std::string cameraStateFile(const std::string& saveDir) {
    return saveDir + "/.kestrix/cameras";
}

CameraRecords readCameraRecords(const std::string& saveDir) {
    CameraRecords records;
    std::string text;
    try {
        text = readFileBytes(cameraStateFile(saveDir));
    } catch (const Error&) {
        return records;
    }
    std::istringstream lines(text);
    std::string line;
    if (!std::getline(lines, line) || line != kCamerasHeader)
        return records;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string directory, state, since, lastNew, picture, error;
        if (!std::getline(fields, directory, '\t') || !std::getline(fields, state, '\t') ||
            !std::getline(fields, since, '\t') || !std::getline(fields, lastNew, '\t'))
            continue;
        std::getline(fields, picture, '\t');
        std::getline(fields, error);
        const auto s = cameraStateFromName(state);
        const auto a = parseInt64(since), b = parseInt64(lastNew);
        if (!s || !a || !b)
            continue;
        records[directory] = {*s, static_cast<std::time_t>(*a), static_cast<std::time_t>(*b),
                              picture, error};
    }
    return records;
}

void writeCameraRecords(const std::string& saveDir, const CameraRecords& records) {
    std::string text = std::string(kCamerasHeader) + "\n";
    for (const auto& [directory, r] : records)
        text += field(directory) + "\t" + cameraStateName(r.state) + "\t" +
                std::to_string(r.since) + "\t" + std::to_string(r.lastNew) + "\t" +
                field(r.lastPicture) + "\t" + field(r.lastError) + "\n";
    std::filesystem::create_directories(saveDir + "/.kestrix");
    writeFileAtomically(cameraStateFile(saveDir), text);
}

} // namespace kestrix
