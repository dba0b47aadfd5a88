// The pictures a headless watch keeps: the bytes each server sent, named by the UTC second they
// arrived, DIR/<folders>/<link>/YYYYMMDD-HHMMSS[-N].<ext>, and what retention (ArchiveIndex)
// deletes of them. Only files named by that pattern are ever deleted.
#pragma once

#include "core/decode/ImageDecoder.h"

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace kestrix {

// "jpg", "png", "gif" or "bmp"; "img" for a kind the decoders do not know.
const char* pictureExtension(ImageKind kind);

// The kind of a fetched picture: by its first bytes, else by its address's extension.
ImageKind pictureKind(std::string_view body, const std::string& address);

// YYYYMMDD-HHMMSS.ext for the UTC second `time`, or YYYYMMDD-HHMMSS-N.ext (N = 2, 3, ...) when
// that name is taken in `folder`.
std::string newPictureName(const std::string& folder, std::time_t time, const char* extension);

// True for names of the pattern above with one of the four picture extensions.
bool isArchivePictureName(std::string_view fileName);

// Writes `bytes` as a new picture of `folder` (created when missing), through a temporary file;
// answers the file's path.
std::string archivePicture(const std::string& folder, std::time_t time, ImageKind kind,
                           std::string_view bytes);

struct RetentionRule {
    // 0: no limit.
    double keepDays = 0;
    uint64_t maxBytes = 0;
};

struct RetentionResult {
    uint64_t deletedFiles = 0;
    uint64_t deletedBytes = 0;
    uint64_t keptBytes = 0;
    // Pictures that could not be deleted (not those already gone), and why the first could not.
    uint64_t failedFiles = 0;
    std::string firstFailure;
};

// "500", "20K", "1.5M", "2G" (powers of 1024); raises for anything else.
uint64_t parseByteSize(const std::string& text);

} // namespace kestrix
