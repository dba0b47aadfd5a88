// Shared by the stream tests: the error a call raises, and the bars the test cameras draw.
#pragma once

#include "core/util/Error.h"
#include "support/StreamServers.h"

#include <functional>
#include <string>

namespace kestrix::test {

struct Failure {
    std::string text = "(no error)";
    ErrorKind kind = ErrorKind::General;
};

// The text and kind of the Error that `action` raises; "(no error)" when it returns.
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

// The 320 x 240 bars of the test cameras' still paths and of the moving path, drawn once per
// process.
inline const std::string& smallBars() {
    static const std::string bars = barsBytes("smpte-rp-219", 320, 240);
    return bars;
}

inline const std::string& movingBars() {
    static const std::string bars = barsBytes("smpte75", 320, 240);
    return bars;
}

// Decoded pictures of the bars must be this close to them, in dB.
constexpr double kFaithful = 30;

} // namespace kestrix::test
