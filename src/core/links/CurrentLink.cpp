#include "links/CurrentLink.h"

#include "links/BuiltInLinks.h"

namespace kestrix {

const char* const kProductName = "Kestrix";

TURLInfo initialCurrentLink() { return {"Mt. Saint Hellens", kVolcanoCamAddress, 60}; }

std::string captionName(const std::string& name) {
    size_t cut = name.find_last_of("\\:");
    return cut == std::string::npos ? name : name.substr(cut + 1);
}

std::string mainCaption(const TURLInfo& link, int frameCount) {
    return captionName(link.Name) + " (" + std::to_string(frameCount) + ") - " + kProductName;
}

std::string currentLinkLabel(const TURLInfo& link) { return link.Name + " "; }

bool takeSelectedLink(const LinkTree& tree, TURLInfo& link) {
    const LinkNode* node = tree.selected();
    if (!node || node->kind() != TLinkKind::lkLink)
        return false;
    link = {node->text(), node->data().URL, node->data().Delay};
    return true;
}

} // namespace kestrix
