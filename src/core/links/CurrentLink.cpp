#include "core/links/CurrentLink.h"

#include "core/links/BuiltInLinks.h"

namespace kestrix {

const char* const kProductName = "Kestrix";

LinkInfo initialCurrentLink() {
    return {"Mt. Saint Hellens", kVolcanoCamAddress, 60};
}

std::string captionName(const std::string& name) {
    size_t cut = name.find_last_of("\\:");
    return cut == std::string::npos ? name : name.substr(cut + 1);
}

std::string mainCaption(const LinkInfo& link, int frameCount) {
    return captionName(link.name) + " (" + std::to_string(frameCount) + ") - " + kProductName;
}

std::string currentLinkLabel(const LinkInfo& link) {
    return link.name + " ";
}

bool takeSelectedLink(const LinkTree& tree, LinkInfo& link) {
    const LinkNode* node = tree.selected();
    if (!node || node->kind() != LinkKind::Link)
        return false;
    link = {node->text(), node->data().url, node->data().delay};
    return true;
}

} // namespace kestrix
