// The link being watched and the window caption built from it.
#pragma once

#include "core/links/LinkTree.h"

#include <cstdint>
#include <string>

namespace kestrix {

struct LinkInfo {
    std::string name;
    std::string url; // macros unexpanded
    int32_t delay = 60;
};

extern const char* const kProductName; // "Kestrix"

// The link watched before any link was taken from the tree.
LinkInfo initialCurrentLink();

// The name as the caption shows it: everything up to and including the last "\" or ":" removed.
std::string captionName(const std::string& name);
// "NAME (FRAMES) - Kestrix".
std::string mainCaption(const LinkInfo& link, int frameCount);
// What the "Current Link" field shows: the whole name and one blank.
std::string currentLinkLabel(const LinkInfo& link);

// When the selected node is a link, copies its name, address and interval into `link`.
bool takeSelectedLink(const LinkTree& tree, LinkInfo& link);

} // namespace kestrix
