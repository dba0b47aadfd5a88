#include "core/watch/LinkFetch.h"

#include "core/acquire/DownloadImage.h"
#include "core/decode/ImageDecoder.h"
#include "core/frames/BitmapList.h"
#include "core/image/Bitmap.h"
#include "core/macros/URLMacros.h"
#include "core/net/MultipartStream.h"
#include "core/net/SocketErrors.h"
#include "core/util/Clock.h"
#include "core/util/Error.h"
#include "core/util/FormatSettings.h"
#include "core/util/Text.h"
#include "core/watch/PictureArchive.h"
#include "core/watch/Thumbnails.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <malloc.h>

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

// A client's buffers beyond this are given back after the fetch, and the memory to the system.
constexpr size_t kLargeBuffers = size_t{8} << 20;
// Links fetched more often than this keep their stream open when asked to.
constexpr int kKeepStreamsBelow = 10;

// "1,234".
std::string withThousands(int64_t n) {
    const std::string digits = std::to_string(n);
    std::string text;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0 && digits[i - 1] != '-')
            text += ',';
        text += digits[i];
    }
    return text;
}

// The socket error of a process out of descriptors, said plainly.
std::string failureText(const std::exception& e) {
    std::string text = e.what();
    for (const int number : {EMFILE, ENFILE})
        if (text == socketErrorText(socketErrorNumber(number)))
            return "Too many open files";
    return text;
}

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

PictureDigest bytesDigest(std::string_view bytes) {
    Mixer a{0x6a09e667f3bcc908u}, b{0xbb67ae8584caa73bu};
    a.add(bytes.size());
    b.add(~bytes.size());
    a.addBytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    b.addBytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    return {a.done(), b.done()};
}

PictureDigest framesDigest(const BitmapList& frames) {
    Mixer a{0x9e3779b97f4a7c15u}, b{0x7f4a7c159e3779b9u};
    for (int32_t i = 0; i < frames.count(); ++i) {
        const PictureDigest frame = pictureDigest(*frames.get(i));
        a.add(frame.a);
        b.add(frame.b);
    }
    return {a.done(), b.done()};
}

PictureDigest originalDigest(std::string_view bytes, const std::string& address) {
    if (pictureKind(bytes, address) != ImageKind::Gif)
        return bytesDigest(bytes);
    Bitmap first;
    BitmapList frames;
    decodeImage(bytes, address, first, &frames);
    return framesDigest(frames);
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

std::string responseField(const std::string& header, std::string_view name) {
    size_t lineStart = header.find('\n');
    while (lineStart != std::string::npos) {
        const size_t begin = lineStart + 1;
        const size_t end = header.find('\n', begin);
        const std::string_view line(header.data() + begin,
                                    (end == std::string::npos ? header.size() : end) - begin);
        const size_t colon = line.find(':');
        if (colon != std::string_view::npos && equalsIgnoreCase(line.substr(0, colon), name))
            return trim(line.substr(colon + 1));
        lineStart = end;
    }
    return {};
}

LinkFetchResult LinkFetcher::fetch(HttpClient& client, const LinkFetchSettings& settings,
                                   const std::atomic<bool>& stop) {
    using Steady = std::chrono::steady_clock;
    LinkFetchResult result;
    SystemClock clock;
    std::string url = link_.address;
    std::string givenUp;
    client.exchangeMemory(std::move(memory_));
    try {
        applyConnectionOptions(client, settings.connection);
        client.clearBytesReceived();
        url = expandUrlMacros(link_.address, clock, defaultFormatSettings());
        const TransferLimits limits{fetchDeadline(std::chrono::seconds(link_.interval),
                                                  settings.timeout, settings.deadline),
                                    settings.timeout, settings.minBytesPerSecond,
                                    std::chrono::seconds(10)};
        TransferGuard guard(limits, Steady::now());
        client.setPump([&] {
            if (givenUp.empty() && !stop)
                givenUp =
                    guard.check(Steady::now(), client.bytesReceived(), client.contentLength());
            if (stop || !givenUp.empty())
                client.cancel();
        });
        if (settings.keepStreams && link_.interval < kKeepStreamsBelow &&
            (mjpeg_ || isStreamAddress(url))) {
            fetchKept(url, settings, stop, result);
            keepsStream_ = true;
        } else if (isStreamAddress(url)) {
            keepsStream_ = false;
            // A camera stream's picture, archived as a JPEG made from it.
            Bitmap picture;
            fetchStreamPicture(client, url, picture);
            result.time = std::time(nullptr);
            result.bytes = static_cast<int64_t>(client.body().size());
            keepIfNew(client.body(), ImageKind::Jpeg, picture, bytesDigest(client.body()), settings,
                      result);
        } else {
            keepsStream_ = false;
            client.get(url);
            result.time = std::time(nullptr);
            result.bytes = static_cast<int64_t>(client.body().size());
            mjpeg_ = multipartBoundary(client.contentType()).has_value();
            takeBody(client, url, settings, result);
        }
    } catch (const std::exception& e) {
        result.time = std::time(nullptr);
        result.status = FetchStatus::Error;
        result.error = givenUp.empty() ? failureText(e) : givenUp;
        result.bytes = client.bytesReceived();
    }
    client.setPump({});
    memory_ = client.exchangeMemory({});
    if (client.bufferBytes() > kLargeBuffers) {
        client.releaseBuffers();
        malloc_trim(0);
    } else {
        client.releaseBody();
    }
    result.url = withoutCredentials(url);
    return result;
}

void LinkFetcher::fetchKept(const std::string& url, const LinkFetchSettings& settings,
                            const std::atomic<bool>& stop, LinkFetchResult& result) {
    try {
        if (!kept_ || keptAddress_ != url) {
            kept_.reset();
            kept_ = std::make_unique<KeptStream>(url, !isStreamAddress(url), settings.connection,
                                                 settings.timeout);
            keptAddress_ = url;
        }
        const KeptPicture got =
            kept_->latest(std::chrono::seconds(link_.interval), [&stop] { return stop.load(); });
        result.time = std::time(nullptr);
        result.bytes = static_cast<int64_t>(got.bytes.size());
        if (got.repeat) {
            result.width = got.picture.width();
            result.height = got.picture.height();
            result.status = FetchStatus::Duplicate;
            return;
        }
        keepIfNew(got.bytes, pictureKind(got.bytes, url), got.picture, bytesDigest(got.bytes),
                  settings, result);
    } catch (...) {
        // A lost stream is opened anew at the next fetch, which the link's back-off delays.
        kept_.reset();
        throw;
    }
}

void LinkFetcher::takeBody(HttpClient& client, const std::string& url,
                           const LinkFetchSettings& settings, LinkFetchResult& result) {
    if (client.statusCode() >= 400)
        throw Error(httpErrorText(client));
    if (client.notModified()) {
        result.status = FetchStatus::Duplicate;
        return;
    }
    const std::string& body = client.body();
    ImageKind kind = ImageKind::Unsupported;
    try {
        kind = imageKindFromSignature(body);
    } catch (const Error&) {
        // Too short to be any picture.
    }
    if (kind == ImageKind::Unsupported) {
        const std::string type = responseField(client.header(), "Content-Type");
        throw Error("Not a picture (" + (type.empty() ? std::string("no type") : type) + ", " +
                    withThousands(static_cast<int64_t>(body.size())) + " bytes)");
    }
    Bitmap picture;
    BitmapList frames;
    decodeImage(body, url, picture, kind == ImageKind::Gif ? &frames : nullptr, true);
    keepIfNew(body, kind, picture,
              kind == ImageKind::Gif ? framesDigest(frames) : bytesDigest(body), settings, result);
}

void LinkFetcher::keepIfNew(std::string_view body, ImageKind kind, const Bitmap& picture,
                            const PictureDigest& digest, const LinkFetchSettings& settings,
                            LinkFetchResult& result) {
    result.width = picture.width();
    result.height = picture.height();
    if (last_ && *last_ == digest) {
        result.status = FetchStatus::Duplicate;
        return;
    }
    result.file = archivePicture(settings.saveDir + "/" + link_.directory, result.time, kind, body);
    result.status = FetchStatus::New;
    last_ = digest;
    if (settings.thumbnails)
        writeThumbnail(settings.saveDir, result.file.substr(settings.saveDir.size() + 1), picture);
}

} // namespace kestrix
