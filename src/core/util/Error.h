// The one exception family of the core: a message text that the user sees as written, and a kind
// that lets callers tell socket aborts, conversions and list indexes apart.
#pragma once

#include <stdexcept>
#include <string>

namespace kestrix {

enum class ErrorKind {
    General,
    Socket,
    SocketAbort,
    Conversion,
    ListIndex,
    OutOfMemory,
    StreamRead,
    FileCreate,
    FileOpen,
    InvalidImage,
};

class Error : public std::runtime_error {
public:
    explicit Error(const std::string& message, ErrorKind kind = ErrorKind::General)
        : std::runtime_error(message), kind_(kind) {}
    ErrorKind kind() const { return kind_; }

private:
    ErrorKind kind_;
};

// "Stream read error": a read ran past the end of its data.
[[noreturn]] void throwStreamRead();

} // namespace kestrix
