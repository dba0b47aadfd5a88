// Shared by the net tests: the text and kind of the error a call raises.
#pragma once

#include "core/net/HttpClient.h"
#include "core/util/Error.h"

#include <functional>
#include <gtest/gtest.h>
#include <string>

namespace kestrix::test {

// The text and kind of the Error that `action` raises; "(no error)" when it returns.
struct Failure {
    std::string text = "(no error)";
    ErrorKind kind = ErrorKind::General;
};

inline Failure failureOf(const std::function<void()>& action) {
    Failure f;
    try {
        action();
    } catch (const Error& e) {
        f.text = e.what();
        f.kind = e.kind();
    }
    return f;
}

// The value of a request's header line, or "" when it has none.
inline std::string requestField(const std::string& request, const std::string& name) {
    const std::string key = "\r\n" + name + ": ";
    const size_t at = request.find(key);
    if (at == std::string::npos)
        return {};
    const size_t begin = at + key.size();
    return request.substr(begin, request.find("\r\n", begin) - begin);
}

} // namespace kestrix::test
