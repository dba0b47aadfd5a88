// The first picture of a multipart/x-mixed-replace stream, as IP cameras and camera boards serve
// MJPEG: parts separated by a boundary line, each with headers of its own and then its bytes,
// its Content-Length when it gives one, else up to the next boundary. Servers differ: the
// boundary parameter quoted or not and with or without its leading dashes, CR LF or LF alone.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kestrix {

// The boundary of a Content-Type "multipart/x-mixed-replace; boundary=...", without quotes and
// leading dashes; nothing for any other type.
std::optional<std::string> multipartBoundary(std::string_view contentType);

class MultipartFirstPicture {
public:
    // `limit`: the most a part may hold; the stream's bytes before it do not count.
    MultipartFirstPicture(std::string boundary, size_t limit);

    // Looks at everything received so far (the same buffer, grown); true once it holds a
    // complete part whose bytes begin like a picture. Parts that are not pictures are passed
    // over. Raises "MJPEG part larger than N bytes" when a part outgrows the limit.
    bool complete(std::string_view received);
    // The picture part's place in the buffer, once complete.
    size_t offset() const { return partStart_; }
    size_t length() const { return partLength_; }

private:
    // The start of the next boundary line at or after `from`, and the end of that line (after its
    // line feed); npos while it has not arrived whole.
    std::pair<size_t, size_t> findDelimiter(std::string_view received, size_t from) const;
    bool readPartHeaders(std::string_view received);
    bool readPartBody(std::string_view received);

    enum class Stage { Preamble, Headers, Body };
    std::string boundary_;
    size_t limit_;
    Stage stage_ = Stage::Preamble;
    size_t at_ = 0; // where parsing goes on
    size_t partStart_ = 0;
    size_t partLength_ = 0;
    size_t searched_ = 0; // how far the part's bytes were searched for the next boundary
    std::optional<size_t> contentLength_;
};

} // namespace kestrix
