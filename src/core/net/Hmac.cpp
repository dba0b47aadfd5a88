#include "core/net/Hmac.h"

#include "core/net/DigestAuth.h"

namespace kestrix {

namespace {

constexpr size_t kBlock = 64;

std::string fromHex(const std::string& hex) {
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return bytes;
}

} // namespace

std::string hmacSha256Hex(std::string_view key, std::string_view message) {
    std::string block = key.size() > kBlock ? fromHex(sha256Hex(key)) : std::string(key);
    block.resize(kBlock, '\0');
    std::string inner(kBlock, '\0'), outer(kBlock, '\0');
    for (size_t i = 0; i < kBlock; ++i) {
        inner[i] = static_cast<char>(block[i] ^ 0x36);
        outer[i] = static_cast<char>(block[i] ^ 0x5c);
    }
    inner.append(message);
    outer += fromHex(sha256Hex(inner));
    return sha256Hex(outer);
}

} // namespace kestrix
