// The link being watched and the window caption built from it.
#pragma once

#include "links/LinkTree.h"

#include <cstdint>
#include <string>

namespace kestrix {

struct TURLInfo {
    std::string Name;
    std::string URL; // macros unexpanded
    int32_t Delay = 60;
};

extern const char* const kProductName; // "Kestrix"

// The link watched before any link was taken from the tree.
TURLInfo initialCurrentLink();

// The name as the caption shows it: everything up to and including the last "\" or ":" removed.
std::string captionName(const std::string& name);
// "NAME (FRAMES) - Kestrix".
std::string mainCaption(const TURLInfo& link, int frameCount);
// What the "Current Link" field shows: the whole name and one blank.
std::string currentLinkLabel(const TURLInfo& link);

// When the selected node is a link, copies its name, address and interval into `link`.
bool takeSelectedLink(const LinkTree& tree, TURLInfo& link);

} // namespace kestrix
