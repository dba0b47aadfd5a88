// What a person running cameras wants to be told: a camera is up, down (its last fetches all
// failed) or stale (it answers, but no new picture has come for a long time: a frozen camera, or
// a 304 for ever). Each link's state follows from its fetches; a change is an event. The states
// are kept across restarts in DIR/.kestrix/cameras, written whole through a temporary file.
#pragma once

#include "core/watch/LinkFetch.h"

#include <chrono>
#include <ctime>
#include <map>
#include <optional>
#include <string>

namespace kestrix {

enum class CameraState { Up, Down, Stale };

// "up", "down", "stale".
const char* cameraStateName(CameraState state);
std::optional<CameraState> cameraStateFromName(std::string_view name);

struct CameraRules {
    int downAfter = 3; // failed fetches in a row
    std::chrono::seconds staleAfter{3600};
};

struct CameraEvent {
    std::string link;      // "Folder/Link"
    std::string directory; // the link's folder in the archive
    CameraState from = CameraState::Up;
    CameraState to = CameraState::Up;
    std::time_t time = 0;
    std::string lastError;
    std::string lastPicture; // the last new picture's file name, "" when none
};

// The part of a camera's state that outlives the process.
struct CameraRecord {
    CameraState state = CameraState::Up;
    std::time_t since = 0;   // when it entered that state
    std::time_t lastNew = 0; // the last new picture, or the first look at the camera
    std::string lastPicture;
    std::string lastError;
};

class CameraTracker {
public:
    CameraTracker(std::string link, std::string directory, CameraRecord record)
        : link_(std::move(link)), directory_(std::move(directory)), record_(std::move(record)) {}

    const CameraRecord& record() const { return record_; }

    // After each fetch; an event when the state changes.
    std::optional<CameraEvent> fetched(const LinkFetchResult& result, const CameraRules& rules);
    // Between fetches (a camera backed off for half an hour still goes stale on time).
    std::optional<CameraEvent> checkStale(std::time_t now, const CameraRules& rules);

private:
    std::optional<CameraEvent> change(CameraState to, std::time_t time);

    std::string link_;
    std::string directory_;
    CameraRecord record_;
    int failures_ = 0;
};

using CameraRecords = std::map<std::string, CameraRecord>; // by the link's folder

std::string cameraStateFile(const std::string& saveDir);
// A missing or damaged file gives no records (damaged lines are left out).
CameraRecords readCameraRecords(const std::string& saveDir);
// Raises when the file cannot be written; the previous file then stays.
void writeCameraRecords(const std::string& saveDir, const CameraRecords& records);

} // namespace kestrix
