// One fetch of one watched link: the address with its macros expanded, the program's HTTP client
// and decoders. A watch keeps originals, so a picture is new when what it would store differs
// from the last picture archived for the link: its bytes, or for a GIF any of its frames. A new
// picture is archived as the bytes the server sent, named by the second its last byte arrived.
// The fetcher keeps what the link needs between fetches (the client's memory of conditional
// requests and cookies, the digest of its last picture); the client itself belongs to the thread
// that runs the fetch and serves many links, one after the other.
#pragma once

#include "core/decode/ImageDecoder.h"
#include "core/net/HttpClient.h"
#include "core/watch/StreamSessions.h"
#include "core/watch/TransferGuard.h"
#include "core/watch/WatchList.h"

#include <atomic>
#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace kestrix {

class Bitmap;
class BitmapList;

enum class FetchStatus { New, Duplicate, Error };

// "new", "duplicate", "error".
const char* fetchStatusName(FetchStatus status);

struct LinkFetchResult {
    FetchStatus status = FetchStatus::Error;
    std::time_t time = 0; // when the fetch ended: a new picture's last byte
    std::string url;      // expanded, without credentials
    int64_t bytes = 0;    // of this fetch's body
    int width = 0, height = 0;
    std::string file; // the archived picture, for new ones
    std::string error;
};

struct LinkFetchSettings {
    ConnectionOptions connection;
    std::chrono::seconds timeout{60};             // without a byte of the body
    std::optional<std::chrono::seconds> deadline; // of a whole fetch; none: see fetchDeadline
    int64_t minBytesPerSecond = 1024;
    std::string saveDir; // the archive's root
    // Links fetched more often than every 10 s keep their stream (MJPEG, RTSP, HLS) open.
    bool keepStreams = false;
    // Each new picture gets its thumbnail for the archive's pages (Thumbnails.h) at once.
    bool thumbnails = false;
};

// Size, pixel format and every pixel (row padding left out) folded into 128 bits: equal pictures
// give equal digests, and different ones differ but for a chance of 2^-128.
struct PictureDigest {
    uint64_t a = 0, b = 0;
    bool operator==(const PictureDigest&) const = default;
};
PictureDigest pictureDigest(const Bitmap& bitmap);
// The same for bytes, and for every frame of an animation in order.
PictureDigest bytesDigest(std::string_view bytes);
PictureDigest framesDigest(const BitmapList& frames);
// What the archive compares: a GIF's composited frames, else the bytes. Raises what decoding
// the GIF raises.
PictureDigest originalDigest(std::string_view bytes, const std::string& address);

// The address without a user and password ("https://cam/x.jpg" for "https://me:pw@cam/x.jpg").
std::string withoutCredentials(const std::string& address);

// The value of a response header's field (the first of that name), or "".
std::string responseField(const std::string& header, std::string_view name);

class LinkFetcher {
public:
    explicit LinkFetcher(WatchedLink link) : link_(std::move(link)) {}

    const WatchedLink& link() const { return link_; }

    // Fetches once with `client`. `stop`, when it turns true, cancels a transfer in flight
    // (reported as an error). Never raises: failures are results.
    LinkFetchResult fetch(HttpClient& client, const LinkFetchSettings& settings,
                          const std::atomic<bool>& stop);

    // The last picture archived for the link, as compared with the next one.
    const std::optional<PictureDigest>& lastDigest() const { return last_; }
    void setLastDigest(PictureDigest digest) { last_ = digest; }
    // The link's fetches take pictures from a stream kept open (--keep-streams); true from its
    // first picture until a fetch no longer keeps one, its lost stream's failures included.
    bool keepsStream() const { return keepsStream_; }

private:
    // Everything but the archive: the fetched body's check and decoding into `result`.
    void takeBody(HttpClient& client, const std::string& url, const LinkFetchSettings& settings,
                  LinkFetchResult& result);
    // Archives `body` unless its digest is the last picture's.
    void keepIfNew(std::string_view body, ImageKind kind, const Bitmap& picture,
                   const PictureDigest& digest, const LinkFetchSettings& settings,
                   LinkFetchResult& result);

    // A fetch from the stream kept open, opening it first when needed.
    void fetchKept(const std::string& url, const LinkFetchSettings& settings,
                   const std::atomic<bool>& stop, LinkFetchResult& result);

    WatchedLink link_;
    HttpClient::Memory memory_;
    std::optional<PictureDigest> last_;
    bool mjpeg_ = false; // the address answered with an MJPEG stream
    std::unique_ptr<KeptStream> kept_;
    std::string keptAddress_;
    bool keepsStream_ = false;
};

} // namespace kestrix
