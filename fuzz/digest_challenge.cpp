// Fuzzes the reader of WWW-Authenticate lines, which come from any server a link points at, and
// the Authorization value built from what it accepts, which must stay one header line.
#include "core/net/DigestAuth.h"
#include "core/util/Error.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto challenge = kestrix::parseDigestChallenge({reinterpret_cast<const char*>(data), size});
    if (!challenge)
        return 0;
    if (challenge->realm.size() > kestrix::kMaxDigestValueBytes ||
        challenge->nonce.size() > kestrix::kMaxDigestValueBytes ||
        (challenge->opaque && challenge->opaque->size() > kestrix::kMaxDigestValueBytes))
        std::abort();
    try {
        for (const char* user : {"Mufasa", "Mu\"fa\\sa\r\n"}) {
            std::string header = kestrix::digestAuthorization(
                *challenge, user, "Circle of Life", "GET", "/dir/index.html?a=\"b\"",
                "f2/wE4q74E6zIJEtWaHKaf5wv/H5QzzpXusqGemxURZJ", 1);
            if (header.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
                std::abort();
        }
    } catch (const kestrix::Error&) {
        std::abort(); // an accepted challenge must always be answerable
    }
    return 0;
}
