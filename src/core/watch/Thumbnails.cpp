#include "core/watch/Thumbnails.h"

#include "core/decode/ImageDecoder.h"
#include "core/image/ImageFile.h"
#include "core/tools/Resampler.h"
#include "core/util/Error.h"
#include "core/util/FileIO.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kestrix {

namespace {

// Each `block` x `block` square of `picture` (smaller ones at the right and bottom edges)
// becomes one pixel, its rounded mean. Blocks wider than 4 pixels are sampled on a grid of about
// 4 x 4 pixels, every `step`-th of each row and column: a thumbnail looks the same, and a large
// picture costs a fraction of the reading of every pixel.
Bitmap averageBlocks(const Bitmap& picture, int block) {
    const int step = std::max(1, block / 4);
    const int w = picture.width(), h = picture.height();
    const int outWidth = (w + block - 1) / block, outHeight = (h + block - 1) / block;
    Bitmap out(outWidth, outHeight, PixelFormat::Bit24);
    std::vector<uint32_t> sums(static_cast<size_t>(outWidth) * 3);
    std::vector<uint8_t> converted;
    const bool direct = picture.pixelFormat() == PixelFormat::Bit24;
    if (!direct)
        converted.resize(static_cast<size_t>(w) * 3);
    for (int outY = 0; outY < outHeight; ++outY) {
        std::fill(sums.begin(), sums.end(), 0);
        const int firstRow = outY * block, lastRow = std::min(h, firstRow + block);
        uint32_t rows = 0;
        for (int y = firstRow; y < lastRow; y += step, ++rows) {
            const uint8_t* row = picture.scanLine(y);
            if (!direct) {
                picture.readRow24(y, converted.data());
                row = converted.data();
            }
            uint32_t* sum = sums.data();
            for (int outX = 0; outX < outWidth; ++outX, sum += 3) {
                const int end = std::min(w, (outX + 1) * block);
                for (int x = outX * block; x < end; x += step) {
                    sum[0] += row[3 * x];
                    sum[1] += row[3 * x + 1];
                    sum[2] += row[3 * x + 2];
                }
            }
        }
        uint8_t* target = out.scanLine(outY);
        for (int outX = 0; outX < outWidth; ++outX) {
            const int width = std::min(w, (outX + 1) * block) - outX * block;
            const auto count = rows * static_cast<uint32_t>((width + step - 1) / step);
            for (int c = 0; c < 3; ++c) {
                const size_t i = static_cast<size_t>(outX) * 3 + static_cast<size_t>(c);
                target[i] = static_cast<uint8_t>((sums[i] + count / 2) / count);
            }
        }
    }
    return out;
}

// A thumbnail can always be made again, so it is written without the atomic save's flush to the
// disk, which would cost more than the thumbnail itself: under a temporary name, then renamed.
// One that a crash leaves empty counts as missing (usableThumbnail).
void writeCacheFile(const std::string& path, const std::string& bytes) {
    const std::string partial = path + ".part";
    const int fd = ::open(partial.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        throw Error("Cannot create " + partial);
    size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n <= 0 && errno != EINTR)
            break;
        written += n > 0 ? static_cast<size_t>(n) : 0;
    }
    const bool closed = ::close(fd) == 0;
    if (written != bytes.size() || !closed || ::rename(partial.c_str(), path.c_str()) != 0) {
        ::unlink(partial.c_str());
        throw Error("Cannot write " + path);
    }
}

bool usableThumbnail(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0;
}

} // namespace

std::string thumbnailPath(const std::string& saveDir, std::string_view relative) {
    return saveDir + "/.kestrix/thumbs/" + std::string(relative) + ".jpg";
}

Bitmap thumbnailOf(const Bitmap& picture) {
    const int w = picture.width(), h = picture.height();
    if (w <= 0 || h <= 0)
        throw Error("Source bitmap too small");
    const double scale = std::min({1.0, static_cast<double>(kThumbnailWidth) / w,
                                   static_cast<double>(kThumbnailMaxHeight) / h});
    const int width = std::max(1, static_cast<int>(std::lround(w * scale)));
    const int height = std::max(1, static_cast<int>(std::lround(h * scale)));
    // A picture whose size is a whole number of thumbnails (most cameras': 640x480, 1280x720,
    // 1920x1080) is averaged over blocks straight to the size; others over blocks that leave at
    // least twice the final size, so that the filter still has pixels to weigh.
    const bool whole = w % width == 0 && h % height == 0 && w / width == h / height;
    const int block = whole ? w / width : std::min(w / (2 * width), h / (2 * height));
    Bitmap thumbnail;
    if (block >= 2) {
        thumbnail = averageBlocks(picture, block);
    } else {
        thumbnail = picture;
        thumbnail.convertTo24();
    }
    if (thumbnail.width() != width || thumbnail.height() != height)
        resizeBitmap(thumbnail, width, height, nullptr, ResampleFilter::Triangle);
    return thumbnail;
}

bool writeThumbnail(const std::string& saveDir, const std::string& relative,
                    const Bitmap& picture) noexcept {
    try {
        const std::string path = thumbnailPath(saveDir, relative);
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        writeCacheFile(path, encodeJpeg(thumbnailOf(picture), kThumbnailQuality));
        return true;
    } catch (...) {
        return false;
    }
}

bool makeThumbnail(const std::string& saveDir, const std::string& relative) noexcept {
    try {
        Bitmap picture;
        decodeImage(readFileBytes(saveDir + "/" + relative), relative, picture, nullptr);
        return writeThumbnail(saveDir, relative, picture);
    } catch (...) {
        return false;
    }
}

std::optional<std::string> LazyThumbnails::find(const std::string& relative) {
    std::string path = thumbnailPath(saveDir_, relative);
    if (usableThumbnail(path))
        return path;
    {
        const std::lock_guard<std::mutex> lock(failedMutex_);
        if (failed_.count(relative) != 0)
            return std::nullopt;
    }
    const std::unique_lock<std::mutex> making(making_, std::try_to_lock);
    if (!making.owns_lock())
        return std::nullopt;
    // Made by the caller that held the lock while this one looked.
    if (usableThumbnail(path) || makeThumbnail(saveDir_, relative))
        return path;
    const std::lock_guard<std::mutex> lock(failedMutex_);
    if (failed_.size() >= kMaxRemembered)
        failed_.clear();
    failed_.insert(relative);
    return std::nullopt;
}

} // namespace kestrix
