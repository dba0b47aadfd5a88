// The files the site serves from the save folder, and nothing else: archive pictures, their
// thumbnails, and the links' timelapse movies (DIR/<link>/timelapse/YYYYMMDD.mp4), the movies in
// byte ranges as players ask for them (Safari plays no video from a server without ranges).
#pragma once

#include "core/watch/Thumbnails.h"
#include "web/PageServer.h"

#include <cstdint>
#include <set>
#include <string>
#include <string_view>

namespace kestrix::web {

// The picture under `saveDir` that a request path after "/pictures/" names, or "" when it names
// anything else: an empty or absolute path, a ".." or "." segment, a file that is not an archive
// picture, or one outside the folder once links are followed.
std::string pictureForRequest(const std::string& saveDir, const std::string& relative);

// The same for a timelapse movie: FOLDERS/timelapse/YYYYMMDD.mp4 under `saveDir`.
std::string movieForRequest(const std::string& saveDir, const std::string& relative);

// YYYYMMDD.mp4
bool isTimelapseName(std::string_view name);
// The days of the link's timelapse movies.
std::set<uint32_t> timelapseDays(const std::string& saveDir, const std::string& directory);

// What a Range field asks of a file of `size` bytes. A field that is absent, malformed, not in
// bytes or asks for several ranges gets the whole file (servers may ignore Range); a single range
// that starts past the end cannot be satisfied.
struct ByteRange {
    enum class Kind { Whole, Part, Unsatisfiable };
    Kind kind = Kind::Whole;
    uint64_t first = 0;
    uint64_t last = 0; // inclusive
};
ByteRange parseRange(std::string_view field, uint64_t size);

// A movie sends at most this much per reply; players ask for the rest as they go. Without a
// Range, a larger movie is refused rather than held whole in memory.
constexpr uint64_t kMoviePartBytes = 4 << 20;
constexpr uint64_t kWholeMovieBytes = 32 << 20;

PageReply pictureReply(const std::string& file);
// Part or all of the movie at `file`, as `range` (the request's Range field) asks.
PageReply movieReply(const std::string& file, const std::string& range);
// The picture's thumbnail, made now when it has none; the picture itself while another
// thumbnail is being made or when this one cannot be.
PageReply thumbnailReply(const std::string& file, const std::string& relative,
                         LazyThumbnails& thumbnails);

PageReply notFound();

} // namespace kestrix::web
