// Fuzzes macro expansion of addresses, which may come from link files others wrote.
#include "core/macros/URLMacros.h"
#include "core/util/Error.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const kestrix::FixedClock clock(46364.5876);
    try {
        (void)kestrix::expandUrlMacros({reinterpret_cast<const char*>(data), size}, clock,
                                       kestrix::defaultFormatSettings());
    } catch (const kestrix::Error&) {
    }
    return 0;
}
