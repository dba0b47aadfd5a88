#include "web/ArchiveFiles.h"

#include "core/util/Error.h"
#include "core/util/FileIO.h"
#include "core/util/Text.h"
#include "core/watch/PictureArchive.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrix::web {

namespace fs = std::filesystem;

namespace {

const char* pictureType(const std::string& path) {
    const std::string extension = fs::path(path).extension().string();
    if (extension == ".jpg")
        return "image/jpeg";
    if (extension == ".png")
        return "image/png";
    if (extension == ".gif")
        return "image/gif";
    return "image/bmp";
}

// The regular file `relative` names under `saveDir`, or "": no empty, "." or ".." segment, not
// absolute, and inside the folder once symbolic links are resolved.
std::string fileInside(const std::string& saveDir, const std::string& relative) {
    if (relative.empty() || relative[0] == '/' || relative.find('\0') != std::string::npos)
        return "";
    for (const auto& segment : fs::path(relative))
        if (segment == ".." || segment == "." || segment.empty())
            return "";
    std::error_code ec;
    const fs::path root = fs::canonical(saveDir, ec);
    const fs::path file = fs::canonical(fs::path(saveDir) / relative, ec);
    if (ec || !fs::is_regular_file(file, ec))
        return "";
    const auto inside = std::mismatch(root.begin(), root.end(), file.begin(), file.end()).first;
    return inside == root.end() ? file.string() : "";
}

// Digits of a Range bound; nothing for an empty or overlong number.
std::optional<uint64_t> rangeNumber(std::string_view text) {
    if (!allDigits(text) || text.size() > 18)
        return std::nullopt;
    return std::stoull(std::string(text));
}

std::string readPart(const std::string& file, uint64_t first, uint64_t count) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw Error("Cannot open file \"" + file + "\". " + systemErrorText(errno));
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    std::string bytes(count, '\0');
    size_t got = 0;
    while (got < count) {
        const ssize_t n =
            ::pread(fd, bytes.data() + got, count - got, static_cast<off_t>(first + got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<size_t>(n);
    }
    bytes.resize(got);
    return bytes;
}

} // namespace

PageReply notFound() {
    return {404, "Not found\n", "text/plain; charset=utf-8", {}};
}

std::string pictureForRequest(const std::string& saveDir, const std::string& relative) {
    if (!isArchivePictureName(fs::path(relative).filename().string()))
        return "";
    return fileInside(saveDir, relative);
}

bool isTimelapseName(std::string_view name) {
    return name.size() == 12 && allDigits(name.substr(0, 8)) && name.substr(8) == ".mp4";
}

std::string movieForRequest(const std::string& saveDir, const std::string& relative) {
    const fs::path path(relative);
    if (!isTimelapseName(path.filename().string()) || path.parent_path().filename() != "timelapse")
        return "";
    return fileInside(saveDir, relative);
}

std::set<uint32_t> timelapseDays(const std::string& saveDir, const std::string& directory) {
    std::set<uint32_t> days;
    const std::string folder =
        saveDir + "/" + (directory.empty() ? "" : directory + "/") + "timelapse";
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir)
        return days;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (isTimelapseName(name))
            days.insert(static_cast<uint32_t>(std::stoul(std::string(name.substr(0, 8)))));
    }
    return days;
}

ByteRange parseRange(std::string_view field, uint64_t size) {
    constexpr std::string_view kUnit = "bytes=";
    if (!field.starts_with(kUnit) || field.find(',') != std::string_view::npos)
        return {};
    const std::string_view spec = field.substr(kUnit.size());
    const size_t dash = spec.find('-');
    if (dash == std::string_view::npos)
        return {};
    const std::string_view from = spec.substr(0, dash), to = spec.substr(dash + 1);
    ByteRange range{ByteRange::Kind::Part, 0, 0};
    if (from.empty()) {
        // The last N bytes.
        const auto suffix = rangeNumber(to);
        if (!suffix)
            return {};
        if (*suffix == 0 || size == 0)
            return {ByteRange::Kind::Unsatisfiable, 0, 0};
        range.first = size - std::min(*suffix, size);
        range.last = size - 1;
        return range;
    }
    const auto first = rangeNumber(from);
    const auto last = to.empty() ? std::optional<uint64_t>(UINT64_MAX) : rangeNumber(to);
    if (!first || !last || *last < *first)
        return {};
    if (*first >= size)
        return {ByteRange::Kind::Unsatisfiable, 0, 0};
    range.first = *first;
    range.last = std::min(*last, size - 1);
    return range;
}

PageReply pictureReply(const std::string& file) {
    try {
        return {200, readFileBytes(file), pictureType(file), {{"Cache-Control", "max-age=60"}}};
    } catch (const Error&) {
        return notFound();
    }
}

PageReply movieReply(const std::string& file, const std::string& range) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0)
        return notFound();
    const auto size = static_cast<uint64_t>(st.st_size);
    const ByteRange wanted = parseRange(range, size);
    PageReply reply{200, {}, "video/mp4", {{"Accept-Ranges", "bytes"}}};
    if (wanted.kind == ByteRange::Kind::Unsatisfiable) {
        reply.status = 416;
        reply.contentType = "text/plain; charset=utf-8";
        reply.body = "Range Not Satisfiable\n";
        reply.headers.emplace_back("Content-Range", "bytes */" + std::to_string(size));
        return reply;
    }
    try {
        if (wanted.kind == ByteRange::Kind::Whole) {
            if (size > kWholeMovieBytes) {
                reply.status = 503;
                reply.contentType = "text/plain; charset=utf-8";
                reply.body = "This movie is sent in parts: ask for a Range of bytes.\n";
                return reply;
            }
            reply.body = readPart(file, 0, size);
            return reply;
        }
        const uint64_t count = std::min(wanted.last - wanted.first + 1, kMoviePartBytes);
        reply.body = readPart(file, wanted.first, count);
        if (reply.body.empty())
            return notFound();
        reply.status = 206;
        reply.headers.emplace_back("Content-Range",
                                   "bytes " + std::to_string(wanted.first) + "-" +
                                       std::to_string(wanted.first + reply.body.size() - 1) + "/" +
                                       std::to_string(size));
        return reply;
    } catch (const Error&) {
        return notFound();
    }
}

PageReply thumbnailReply(const std::string& file, const std::string& relative,
                         LazyThumbnails& thumbnails) {
    if (const std::optional<std::string> thumbnail = thumbnails.find(relative)) {
        try {
            return {
                200, readFileBytes(*thumbnail), "image/jpeg", {{"Cache-Control", "max-age=86400"}}};
        } catch (const Error&) {
            // Deleted by retention since it was found: the picture is likely gone too.
        }
    }
    // Not cached: the thumbnail may be there on the next visit.
    PageReply reply = pictureReply(file);
    reply.headers.clear();
    return reply;
}

} // namespace kestrix::web
