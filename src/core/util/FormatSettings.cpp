#include "core/util/FormatSettings.h"

namespace kestrix {

const FormatSettings& defaultFormatSettings() {
    static const FormatSettings kSettings{};
    return kSettings;
}

} // namespace kestrix
