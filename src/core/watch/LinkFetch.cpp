#include "core/watch/LinkFetch.h"

#include "core/acquire/DownloadImage.h"
#include "core/acquire/StatusTexts.h"
#include "core/decode/ImageDecoder.h"
#include "core/image/Bitmap.h"
#include "core/macros/URLMacros.h"
#include "core/util/Clock.h"
#include "core/util/FormatSettings.h"
#include "core/watch/PictureArchive.h"

#include <chrono>
#include <cstring>

namespace kestrix {

namespace {

// A 64-bit mix of 8-byte words (FNV-1a on words, then a final avalanche).
struct Mixer {
    uint64_t state;
    void add(uint64_t word) {
        state = (state ^ word) * 0x100000001B3u;
        state ^= state >> 29;
    }
    void addBytes(const uint8_t* data, size_t size) {
        size_t i = 0;
        for (; i + 8 <= size; i += 8) {
            uint64_t word;
            std::memcpy(&word, data + i, 8);
            add(word);
        }
        uint64_t tail = 0;
        std::memcpy(&tail, data + i, size - i);
        add(tail ^ (static_cast<uint64_t>(size - i) << 56));
    }
    uint64_t done() const {
        uint64_t x = state;
        x ^= x >> 33;
        x *= 0xff51afd7ed558ccdu;
        x ^= x >> 33;
        return x;
    }
};

} // namespace

const char* fetchStatusName(FetchStatus status) {
    switch (status) {
    case FetchStatus::New:
        return "new";
    case FetchStatus::Duplicate:
        return "duplicate";
    case FetchStatus::Error:
        break;
    }
    return "error";
}

PictureDigest pictureDigest(const Bitmap& bitmap) {
    Mixer a{0xcbf29ce484222325u}, b{0x84222325cbf29ce4u};
    const uint64_t shape = static_cast<uint64_t>(bitmap.width()) << 32 |
                           static_cast<uint64_t>(bitmap.height()) << 8 |
                           static_cast<uint64_t>(bitmap.pixelFormat());
    a.add(shape);
    b.add(~shape);
    const int rowBytes = rowByteCount(bitmap);
    const int bits = bitsPerPixel(bitmap.pixelFormat());
    const int wholeBytes = bits > 0 ? bitmap.width() * bits / 8 : rowBytes;
    const int partialBits = bits > 0 ? bitmap.width() * bits % 8 : 0;
    for (int y = 0; y < bitmap.height() && !bitmap.empty(); ++y) {
        const uint8_t* row = bitmap.scanLine(y);
        a.addBytes(row, static_cast<size_t>(wholeBytes));
        b.addBytes(row, static_cast<size_t>(wholeBytes));
        if (partialBits > 0) {
            const auto mask = static_cast<uint8_t>(0xFF << (8 - partialBits));
            a.add(row[wholeBytes] & mask);
            b.add(static_cast<uint64_t>(row[wholeBytes] & mask) << 17);
        }
    }
    return {a.done(), b.done()};
}

std::string withoutCredentials(const std::string& address) {
    const size_t scheme = address.find("://");
    const size_t hostStart = scheme == std::string::npos ? 0 : scheme + 3;
    const size_t hostEnd = address.find_first_of("/?#", hostStart);
    const size_t at = address.rfind('@', hostEnd == std::string::npos ? address.size() : hostEnd);
    if (at == std::string::npos || at < hostStart)
        return address;
    return address.substr(0, hostStart) + address.substr(at + 1);
}

LinkFetchResult LinkFetcher::fetch(const LinkFetchSettings& settings,
                                   const std::atomic<bool>& stop) {
    using Steady = std::chrono::steady_clock;
    LinkFetchResult result;
    result.time = std::time(nullptr);
    SystemClock clock;
    std::string url = link_.address;
    bool timedOut = false;
    try {
        if (!client_) {
            client_ = std::make_unique<HttpClient>();
            applyImageFetchSettings(*client_);
        }
        HttpClient& client = *client_;
        applyConnectionOptions(client, settings.connection);
        url = expandUrlMacros(link_.address, clock, defaultFormatSettings());
        // A transfer that receives nothing for the time-out is given up, as in the window.
        auto lastProgress = Steady::now();
        int32_t lastBytes = 0;
        client.setPump([&] {
            if (client.bytesReceived() != lastBytes) {
                lastBytes = client.bytesReceived();
                lastProgress = Steady::now();
            }
            if (!stop && Steady::now() - lastProgress > std::chrono::seconds(settings.timeout))
                timedOut = true;
            if (stop || timedOut)
                client.cancel();
        });
        Bitmap picture;
        downloadImage(client, url, picture, nullptr);
        result.bytes = static_cast<int64_t>(client.body().size());
        if (client.notModified()) {
            result.status = FetchStatus::Duplicate;
        } else {
            result.width = picture.width();
            result.height = picture.height();
            const PictureDigest digest = pictureDigest(picture);
            result.status = seen_ && digest == last_ ? FetchStatus::Duplicate : FetchStatus::New;
            if (result.status == FetchStatus::New) {
                result.file = archivePicture(settings.saveDir + "/" + link_.directory, result.time,
                                             pictureKind(client.body(), url), client.body());
                seen_ = true;
                last_ = digest;
            }
        }
        client.releaseBody();
    } catch (const std::exception& e) {
        result.status = FetchStatus::Error;
        result.error = timedOut ? timedOutText(settings.timeout) : e.what();
        if (client_)
            result.bytes = client_->bytesReceived();
    }
    result.url = withoutCredentials(url);
    return result;
}

} // namespace kestrix
