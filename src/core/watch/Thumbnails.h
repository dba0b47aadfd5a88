// Small JPEG copies of the archive's pictures, for the archive's pages: a picture archived as
// DIR/Volcanos/Etna/20261209-071341.png has its thumbnail at
// DIR/.kestrix/thumbs/Volcanos/Etna/20261209-071341.png.jpg. The watch makes one right after it
// archives a new picture, from the picture it has just decoded; pictures without one (an archive
// older than the thumbnails, a thumbnail that failed) get theirs when a page first asks. Retention
// deletes a thumbnail with its picture (ArchiveIndex::apply). The archive's scan never indexes
// them: the folder is hidden.
#pragma once

#include "core/image/Bitmap.h"

#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

namespace kestrix {

// A thumbnail fits in this box and is never larger than its picture.
constexpr int kThumbnailWidth = 160;
constexpr int kThumbnailMaxHeight = 480;
constexpr int kThumbnailQuality = 80;

// DIR/.kestrix/thumbs/RELATIVE.jpg for the picture DIR/RELATIVE.
std::string thumbnailPath(const std::string& saveDir, std::string_view relative);

// The picture scaled down to fit the thumbnail's box, 24 bits. Large pictures are first
// averaged over whole blocks of pixels, then resampled with the triangle filter to the exact
// size, which costs a fraction of a filtered resampling of the whole picture and looks the same
// at this size.
Bitmap thumbnailOf(const Bitmap& picture);

// Writes the thumbnail of `picture`, just archived as RELATIVE under `saveDir`. Never raises: a
// thumbnail that could not be written is made again when a page asks for it.
bool writeThumbnail(const std::string& saveDir, const std::string& relative,
                    const Bitmap& picture) noexcept;

// Reads and decodes the archived picture and writes its thumbnail; false when any step fails.
bool makeThumbnail(const std::string& saveDir, const std::string& relative) noexcept;

// Thumbnails the pages ask for, made on the asking thread, one at a time: a caller that finds
// another thumbnail being made does not wait (it shows the picture itself instead), so a page of
// hundreds of old pictures holds at most one of the site's threads. Pictures that cannot be
// decoded are remembered (up to a bound) and not tried again.
class LazyThumbnails {
public:
    explicit LazyThumbnails(std::string saveDir) : saveDir_(std::move(saveDir)) {}

    // The thumbnail's path: there already, or made now. Nothing when another is being made or
    // the picture cannot be thumbnailed.
    std::optional<std::string> find(const std::string& relative);

private:
    static constexpr size_t kMaxRemembered = 4096;

    const std::string saveDir_;
    std::mutex making_;
    std::mutex failedMutex_;
    std::unordered_set<std::string> failed_;
};

} // namespace kestrix
