// One fetch of one watched link, as the window fetches: the address with its macros expanded,
// the program's HTTP client and decoders, and the window's duplicate rule (a new picture differs
// in size, pixel format or any pixel from the link's previous one). A new picture is archived as
// the bytes the server sent. Each link keeps its own client (its conditional-request validators,
// its credentials) and the digest of its last picture; a link is fetched by one thread at a time.
#pragma once

#include "core/net/HttpClient.h"
#include "core/watch/WatchList.h"

#include <atomic>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>

namespace kestrix {

class Bitmap;

enum class FetchStatus { New, Duplicate, Error };

// "new", "duplicate", "error".
const char* fetchStatusName(FetchStatus status);

struct LinkFetchResult {
    FetchStatus status = FetchStatus::Error;
    std::time_t time = 0;
    std::string url; // expanded, without credentials
    int64_t bytes = 0;
    int width = 0, height = 0;
    std::string file; // the archived picture, for new ones
    std::string error;
};

struct LinkFetchSettings {
    ConnectionOptions connection;
    int timeout = 60;    // seconds without a byte before the transfer is given up
    std::string saveDir; // the archive's root
};

// Size, pixel format and every pixel (row padding left out) folded into 128 bits: equal pictures
// give equal digests, and different ones differ but for a chance of 2^-128.
struct PictureDigest {
    uint64_t a = 0, b = 0;
    bool operator==(const PictureDigest&) const = default;
};
PictureDigest pictureDigest(const Bitmap& bitmap);

// The address without a user and password ("https://cam/x.jpg" for "https://me:pw@cam/x.jpg").
std::string withoutCredentials(const std::string& address);

class LinkFetcher {
public:
    explicit LinkFetcher(WatchedLink link) : link_(std::move(link)) {}

    const WatchedLink& link() const { return link_; }

    // Fetches once. `stop`, when it turns true, cancels a transfer in flight (reported as an
    // error). Never raises: failures are results.
    LinkFetchResult fetch(const LinkFetchSettings& settings, const std::atomic<bool>& stop);

private:
    WatchedLink link_;
    std::unique_ptr<HttpClient> client_;
    bool seen_ = false;
    PictureDigest last_;
};

} // namespace kestrix
