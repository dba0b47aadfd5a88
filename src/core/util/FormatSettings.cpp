#include "util/FormatSettings.h"

namespace kestrix {

const FormatSettings& defaultFormatSettings() {
    static const FormatSettings settings{};
    return settings;
}

} // namespace kestrix
