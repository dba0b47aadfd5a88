// Archives as a watch leaves them, made in a moment: pictures named by past UTC seconds under
// DIR/<folders>/<link>/, without waiting for any camera. The pictures are small JPEGs of a scene
// whose sky follows the hour, so that a page (and a screenshot) shows which picture it is.
#pragma once

#include "core/image/Bitmap.h"
#include "core/image/ImageFile.h"
#include "support/TempDir.h"

#include <cmath>
#include <ctime>
#include <filesystem>
#include <map>
#include <string>

namespace kestrix::test {

// 2026-11-02 00:00:00 UTC, a Monday.
constexpr std::time_t kArchiveStart = 1793577600;

// YYYYMMDD-HHMMSS.ext (with -N when n > 0) for the UTC second `time`.
inline std::string archiveName(std::time_t time, const std::string& extension = "jpg", int n = 0) {
    std::tm utc{};
    gmtime_r(&time, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &utc);
    return std::string(stamp) + (n > 0 ? "-" + std::to_string(n) : "") + "." + extension;
}

// A 160 x 120 scene: sky by the hour (night dark, noon bright), the sun by day at its place for
// the minute, a ridge in `hue` (0-255) so that links differ.
inline Bitmap sceneBitmap(int hour, int minute, int hue, int width = 160, int height = 120) {
    Bitmap b(width, height);
    const double light = std::max(0.0, std::sin((hour + minute / 60.0 - 6) / 12.0 * M_PI));
    const int sunX = width * (hour * 60 + minute) / 1440;
    const int sunY = static_cast<int>(height * (0.55 - 0.35 * light));
    for (int y = 0; y < height; ++y) {
        uint8_t* p = b.scanLine(y);
        for (int x = 0; x < width; ++x, p += 3) {
            const double ridge = height * (0.62 + 0.1 * std::sin(x * 6.0 / width + hue) +
                                           0.04 * std::sin(x * 23.0 / width + 2 * hue));
            const bool sun = light > 0.05 && (x - sunX) * (x - sunX) + (y - sunY) * (y - sunY) <
                                                 height * height / 200;
            if (y > ridge) {
                p[0] = static_cast<uint8_t>(30 + (hue * 7) % 60);
                p[1] = static_cast<uint8_t>(40 + 110 * light);
                p[2] = static_cast<uint8_t>(20 + (hue * 3) % 90 * light);
            } else if (sun) {
                p[0] = 40;
                p[1] = 220;
                p[2] = 250;
            } else {
                p[0] = static_cast<uint8_t>(50 + 190 * light);
                p[1] = static_cast<uint8_t>(15 + 160 * light);
                p[2] = static_cast<uint8_t>(10 + 100 * light);
            }
        }
    }
    return b;
}

inline std::string jpegBytes(const Bitmap& bitmap, const std::string& scratchDir) {
    const std::string path = scratchDir + "/.scratch.jpg";
    saveJpegFile(bitmap, path, 85);
    std::string bytes = readFile(path);
    std::filesystem::remove(path);
    return bytes;
}

// Writes the pictures of one link: from `first`, one every `step` seconds while before `end`,
// the hours in [fromHour, toHour) of each day only. Answers how many.
class ArchiveBuilder {
public:
    // Pictures of width x height.
    explicit ArchiveBuilder(std::string root, int width = 160, int height = 120)
        : root_(std::move(root)), width_(width), height_(height) {
        std::filesystem::create_directories(root_);
    }

    const std::string& root() const { return root_; }

    int addLink(const std::string& directory, std::time_t first, std::time_t end, int step, int hue,
                int fromHour = 0, int toHour = 24) {
        int written = 0;
        for (std::time_t t = first; t < end; t += step) {
            std::tm utc{};
            gmtime_r(&t, &utc);
            if (utc.tm_hour < fromHour || utc.tm_hour >= toHour)
                continue;
            addPicture(directory, t, utc.tm_hour, utc.tm_min, hue);
            ++written;
        }
        return written;
    }

    void addPicture(const std::string& directory, std::time_t t, int hour, int minute, int hue,
                    int n = 0) {
        // Scenes repeat every ten minutes; their bytes are made once.
        const int key = (hue * 24 + hour) * 6 + minute / 10;
        auto found = scenes_.find(key);
        if (found == scenes_.end())
            found =
                scenes_
                    .emplace(
                        key,
                        jpegBytes(sceneBitmap(hour, minute / 10 * 10, hue, width_, height_), root_))
                    .first;
        std::filesystem::create_directories(root_ + "/" + directory);
        writeFile(root_ + "/" + directory + "/" + archiveName(t, "jpg", n), found->second);
    }

private:
    std::string root_;
    int width_;
    int height_;
    std::map<int, std::string> scenes_;
};

} // namespace kestrix::test
