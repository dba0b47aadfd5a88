// A body sent with "Transfer-Encoding: chunked". The client asks with HTTP/1.0, which has no
// chunks, but some servers chunk every answer (ffmpeg's own HTTP server among them); taken as
// they come, the chunks' size lines would end up inside the picture.
#pragma once

#include <cstddef>
#include <string>

namespace kestrix {

class ChunkedBody {
public:
    // Takes what `raw` holds of the chunked stream, as far as it is complete, out of it and
    // appends the data to `out`. True once the last chunk has arrived. Raises "Invalid chunked
    // body" for framing that is not chunks, and "Response too large" when `out` would pass
    // `limit`.
    bool feed(std::string& raw, std::string& out, size_t limit);
    bool done() const { return stage_ == Stage::Done; }

private:
    enum class Stage { Size, Data, DataEnd, Trailer, Done };
    Stage stage_ = Stage::Size;
    size_t remaining_ = 0;
};

} // namespace kestrix
