// The example link set that a first start shows when there is no default link file.
#pragma once

#include <string_view>

namespace kestrix {

extern const std::string_view kBuiltInLinkSet;
// The volcano camera of the set; also the address of the link watched at start.
extern const char* const kVolcanoCamAddress;

} // namespace kestrix
