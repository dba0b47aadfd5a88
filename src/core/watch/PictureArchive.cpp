#include "core/watch/PictureArchive.h"

#include "core/util/Error.h"
#include "core/util/FileIO.h"
#include "core/util/Text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sys/stat.h>
#include <vector>

namespace kestrix {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kExtensions[] = {"jpg", "png", "gif", "bmp"};

std::string stampFor(std::time_t time) {
    std::tm utc{};
    gmtime_r(&time, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &utc);
    return stamp;
}

} // namespace

const char* pictureExtension(ImageKind kind) {
    switch (kind) {
    case ImageKind::Jpeg:
        return "jpg";
    case ImageKind::Png:
        return "png";
    case ImageKind::Gif:
        return "gif";
    case ImageKind::Bmp:
        return "bmp";
    case ImageKind::Unsupported:
        break;
    }
    return "img";
}

ImageKind pictureKind(std::string_view body, const std::string& address) {
    ImageKind kind = ImageKind::Unsupported;
    try {
        kind = imageKindFromSignature(body);
    } catch (const Error&) {
        // Too short for a signature: the address may still tell.
    }
    return kind != ImageKind::Unsupported ? kind : imageKindFromExtension(address);
}

std::string newPictureName(const std::string& folder, std::time_t time, const char* extension) {
    const std::string stamp = stampFor(time);
    std::string name = stamp + "." + extension;
    for (int n = 2; fs::exists(folder + "/" + name); ++n)
        name = stamp + "-" + std::to_string(n) + "." + extension;
    return name;
}

bool isArchivePictureName(std::string_view name) {
    // YYYYMMDD-HHMMSS, then optionally -N, then .ext
    if (name.size() < 19 || !allDigits(name.substr(0, 8)) || name[8] != '-' ||
        !allDigits(name.substr(9, 6)))
        return false;
    const size_t dot = name.rfind('.');
    if (dot < 15 || std::find(std::begin(kExtensions), std::end(kExtensions),
                              name.substr(dot + 1)) == std::end(kExtensions))
        return false;
    const std::string_view middle = name.substr(15, dot - 15);
    return middle.empty() || (middle[0] == '-' && allDigits(middle.substr(1)));
}

std::string archivePicture(const std::string& folder, std::time_t time, ImageKind kind,
                           std::string_view bytes) {
    fs::create_directories(folder);
    std::string path = folder + "/" + newPictureName(folder, time, pictureExtension(kind));
    writeFileAtomically(path, bytes);
    return path;
}

uint64_t parseByteSize(const std::string& text) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    const std::string unit = end ? std::string(end) : "";
    double factor = 1;
    if (unit == "K" || unit == "k")
        factor = 1024.0;
    else if (unit == "M" || unit == "m")
        factor = 1024.0 * 1024;
    else if (unit == "G" || unit == "g")
        factor = 1024.0 * 1024 * 1024;
    else if (!unit.empty())
        throw Error("Invalid size: " + text + " (use a number with K, M or G)");
    if (end == text.c_str() || !(value > 0) || !std::isfinite(value * factor))
        throw Error("Invalid size: " + text + " (use a number with K, M or G)");
    return static_cast<uint64_t>(value * factor);
}

} // namespace kestrix
